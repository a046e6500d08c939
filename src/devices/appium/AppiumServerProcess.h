#pragma once

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>

namespace vantrel {

// An Appium server started by a device manager as its own child process.
class AppiumServerProcess {
public:
    // Why a server could not be launched; its what() is the user-facing description.
    class StartError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    static constexpr std::chrono::milliseconds kStartWait{5000};

    // Starts `appiumPath` with `arguments` as a child of `owner`, standard input empty and standard
    // output and standard error merged. Every chunk of output that is valid, non-empty UTF-8 goes
    // to `onOutput` unchanged, on the owner's thread; other chunks are dropped. `environment`:
    // none inherits the application's own. Throws StartError when the program cannot be launched.
    static QProcess *start(QObject *owner, const QString &appiumPath, const QStringList &arguments,
                           const std::optional<QProcessEnvironment> &environment,
                           std::function<void(const QString &)> onOutput);

    // Sends the terminate signal (SIGTERM) and stops forwarding output; the handle is released
    // once the child has ended, so it is reaped rather than left behind.
    static void terminate(QProcess *process);

private:
    AppiumServerProcess() = delete;
};

} // namespace vantrel
