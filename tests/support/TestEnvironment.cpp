#include "support/TestEnvironment.h"

#include <QDir>
#include <QStandardPaths>
#include <QTcpServer>

namespace vantrel::test {

namespace {
const char *const kVariables[] = {"HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"};
}

TemporaryHome::TemporaryHome()
{
    for (const char *name : kVariables)
        m_saved.append({name, qgetenv(name)});
    const QString root = m_dir.path();
    QDir(root).mkpath(QStringLiteral(".local/share"));
    QDir(root).mkpath(QStringLiteral(".cache"));
    QDir(root).mkpath(QStringLiteral(".config"));
    qputenv("HOME", root.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/.cache")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toLocal8Bit());
}

TemporaryHome::~TemporaryHome()
{
    for (const auto &[name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
}

QString dataPath(const QString &name)
{
    return QStringLiteral(VANTREL_TEST_DATA_DIR "/") + name;
}

QString cliPath()
{
    const QByteArray fromEnv = qgetenv("VANTREL_CLI");
    if (!fromEnv.isEmpty())
        return QString::fromLocal8Bit(fromEnv);
    return QStringLiteral(VANTREL_BINARY_DIR "/src/cli/vantrel-cli");
}

quint16 freeLocalPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace vantrel::test
