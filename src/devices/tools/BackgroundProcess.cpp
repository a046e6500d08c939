#include "devices/tools/BackgroundProcess.h"

#include "devices/tools/ToolProcessEnvironment.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPromise>
#include <QThreadPool>

#include <memory>

#include <algorithm>
#include <cmath>

namespace vantrel {

std::chrono::milliseconds BackgroundProcess::limitFromSeconds(double seconds)
{
    const double milliseconds = std::isfinite(seconds) ? std::max(0.0, seconds * 1000.0) : 0.0;
    return std::chrono::milliseconds(qint64(std::ceil(std::min(milliseconds, 1e15))));
}

namespace {

// Child runs block their thread while they wait, so they get a pool of their own that is large
// enough for every run in flight (the global pool is sized to the number of cores).
QThreadPool *processPool()
{
    static QThreadPool *pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(256);
        created->setExpiryTimeout(30'000);
        return created;
    }();
    return pool;
}

using Result = BackgroundProcess::Result;

Result failedToStart(const QString &description)
{
    Result result;
    result.outcome = Result::Outcome::failedToStart;
    result.status = -1;
    result.startError = description;
    return result;
}

int terminationStatus(const QProcess &process)
{
    // For a crash QProcess reports the signal number as the exit code, like a termination status.
    return process.exitCode();
}

void runChild(QPromise<Result> &promise, const QString &executable, const QStringList &arguments,
              std::optional<std::chrono::milliseconds> limit)
{
    const QDeadlineTimer deadline = limit ? QDeadlineTimer(*limit) : QDeadlineTimer(QDeadlineTimer::Forever);
    if (auto problem = BackgroundProcess::launchProblem(executable)) {
        promise.addResult(failedToStart(*problem));
        return;
    }

    QProcess process;
    process.setProgram(QFileInfo(executable).absoluteFilePath());
    process.setArguments(arguments);
    process.setProcessEnvironment(ToolProcessEnvironment::value());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        promise.addResult(failedToStart(QStringLiteral("无法启动“%1”：%2").arg(executable, process.errorString())));
        return;
    }

    // waitForFinished keeps reading both pipes into QProcess's buffers while it waits.
    bool finished = false;
    while (!finished) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0)
            break;
        finished = process.waitForFinished(remaining < 0 ? -1 : int(std::min<qint64>(remaining, 60'000)));
        if (!finished && process.state() == QProcess::NotRunning)
            finished = true;
    }

    if (!finished) {
        process.terminate();
        Result result;
        result.outcome = Result::Outcome::timedOut;
        result.status = -2;
        promise.addResult(result);
        promise.finish();
        // Reap the child so that it does not linger; escalate if it ignores SIGTERM.
        if (!process.waitForFinished(int(BackgroundProcess::kTerminateGrace.count()))) {
            process.kill();
            process.waitForFinished(-1);
        }
        return;
    }

    Result result;
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    result.status = terminationStatus(process);
    promise.addResult(result);
}

} // namespace

std::optional<QString> BackgroundProcess::launchProblem(const QString &executable)
{
    if (executable.isEmpty())
        return QStringLiteral("未指定要运行的程序。");
    const QFileInfo info(executable);
    if (!info.exists())
        return QStringLiteral("文件“%1”不存在。").arg(executable);
    if (!info.isFile() || !info.isExecutable())
        return QStringLiteral("无法运行“%1”：它不是可执行文件。").arg(executable);
    return std::nullopt;
}

QFuture<Result> BackgroundProcess::start(const QString &executable, const QStringList &arguments,
                                         std::optional<std::chrono::milliseconds> limit)
{
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    processPool()->start([promise, executable, arguments, limit] {
        runChild(*promise, executable, arguments, limit);
        promise->finish();
    });
    return future;
}

} // namespace vantrel
