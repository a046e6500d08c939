#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace vantrel {

// Runs one child process on a background thread and hands back its raw outcome. Shared by
// ProcessRunner and BinaryProcessRunner, which turn it into their output records.
//
// The child gets ToolProcessEnvironment::value(), an empty standard input, and separate pipes for
// standard output and standard error, both drained while it runs, so a child writing megabytes to
// either stream never stalls. A child that outlives its time limit is sent SIGTERM and the result
// is delivered at once; the background thread then keeps waiting for the child (SIGKILL after
// kTerminateGrace) so that it is reaped, not left behind.
class BackgroundProcess {
public:
    struct Result {
        enum class Outcome { finished, failedToStart, timedOut };
        Outcome outcome = Outcome::finished;
        int status = 0;
        QByteArray standardOutput;
        QByteArray standardError;
        QString startError; // for failedToStart
    };

    static constexpr std::chrono::milliseconds kTerminateGrace{3000};

    // A limit given in seconds (a runner's argument); anything not finite or negative is none.
    static std::chrono::milliseconds limitFromSeconds(double seconds);

    // `limit` none: no time limit.
    static QFuture<Result> start(const QString &executable, const QStringList &arguments,
                                 std::optional<std::chrono::milliseconds> limit);

    // Why `executable` cannot be started, checked before any child is created; none when it looks
    // runnable (an absolute or relative path to an executable file).
    static std::optional<QString> launchProblem(const QString &executable);

private:
    BackgroundProcess() = delete;
};

} // namespace vantrel
