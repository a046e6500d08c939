#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace vantrel::cli {

// Exit codes of every command.
enum ExitCode { kExitSuccess = 0, kExitDifferences = 1, kExitFailure = 2 };

// A failure of a command: its message is printed as one line on stderr and the exit code is 2.
class CliError : public std::runtime_error {
public:
    explicit CliError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

// One sub-command of vantrel-cli. `run` gets the arguments after the command's name and returns
// the exit code; it may throw any std::exception, whose what() is the user-facing message.
// `drawsNoText`, when given, says whether a run with these arguments draws no text; such a run
// starts without the GUI platform and its fonts.
struct CliCommand {
    QString name;
    QString usage;
    std::function<int(const QStringList &arguments)> run;
    std::function<bool(const QStringList &arguments)> drawsNoText = {};
};

// Commands register themselves at start-up from their own source files.
class CliCommandRegistry {
public:
    static QList<CliCommand> &commands();
    static const CliCommand *find(const QString &name);
};

struct CliCommandRegistration {
    explicit CliCommandRegistration(CliCommand command)
    {
        CliCommandRegistry::commands().append(std::move(command));
    }
};

} // namespace vantrel::cli
