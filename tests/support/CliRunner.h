#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

namespace vantrel::test {

// The outcome of one run of the built vantrel-cli.
struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString errText() const { return QString::fromUtf8(err); }
    QString outText() const { return QString::fromUtf8(out); }
};

// Runs vantrel-cli with the arguments in the current environment plus `extra`, and waits for it
// (at most two minutes).
CliRun runCli(const QStringList &arguments, const QProcessEnvironment &extra = QProcessEnvironment());

} // namespace vantrel::test
