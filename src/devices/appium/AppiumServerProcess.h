#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>

namespace vantrel {

// An Appium server started by a device manager: a child process that leads a process group of its
// own, so that the helpers it starts (xcodebuild, WebDriverAgent, adb forwards) can be ended with it.
//
// Ending it (stop) sends SIGTERM to the server and gives it kShutdownGrace to shut down; when it
// has exited, or the grace has run out, SIGKILL goes to its whole process group. Its output is
// forwarded until it has exited. A stopping server deletes itself once it is over; one still
// running or stopping when the object is destroyed is ended before the destructor returns (a wait
// bounded by the grace).
class AppiumServerProcess : public QObject {
    Q_OBJECT
public:
    // Why a server could not be launched; its what() is the user-facing description.
    class StartError : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    static constexpr std::chrono::milliseconds kStartWait{5000};
    static constexpr std::chrono::milliseconds kShutdownGrace{3000};

    // Starts `appiumPath` with `arguments` as a child object of `owner`, standard input empty and
    // standard output and standard error merged. Every chunk of output that is valid, non-empty
    // UTF-8 goes to `onOutput` unchanged, on the owner's thread; other chunks are dropped.
    // `environment`: none inherits the application's own. Throws StartError when the program
    // cannot be launched.
    static AppiumServerProcess *start(QObject *owner, const QString &appiumPath, const QStringList &arguments,
                                      const std::optional<QProcessEnvironment> &environment,
                                      std::function<void(const QString &)> onOutput);
    ~AppiumServerProcess() override;

    QProcess *process() { return &m_process; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // Begins ending the server (see above) and returns at once.
    void stop();
    // Ends every server that `owner` still holds, running or stopping, before returning; for the
    // owners' destructors, so that no server outlives the application.
    static void endAll(QObject *owner);

private:
    AppiumServerProcess(QObject *owner, std::function<void(const QString &)> onOutput);
    // stop(), then a wait for what is left of the grace, then SIGKILL to the group.
    void stopAndWait();
    // Marks the server as stopping and sends SIGTERM once; false when it was stopping already.
    bool beginStop();
    void forwardOutput();
    void killGroup();
    void onFinished();

    QProcess m_process;
    std::function<void(const QString &)> m_onOutput;
    qint64 m_groupID = 0;
    bool m_stopping = false;
    QDeadlineTimer m_graceEnd;
    QTimer m_graceTimer;
};

} // namespace vantrel
