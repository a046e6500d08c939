#include "devices/appium/AppiumServerProcess.h"

#include "devices/tools/BackgroundProcess.h"
#include "devices/tools/StrictUtf8.h"

#include <QFileInfo>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace vantrel {

namespace {
// After SIGKILL, how long to wait for the server to be reaped.
constexpr int kReapWaitMs = 1000;
} // namespace

AppiumServerProcess::AppiumServerProcess(QObject *owner, std::function<void(const QString &)> onOutput)
    : QObject(owner)
    , m_onOutput(std::move(onOutput))
{
    m_graceTimer.setSingleShot(true);
    m_graceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_graceTimer, &QTimer::timeout, this, &AppiumServerProcess::killGroup);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &AppiumServerProcess::forwardOutput);
    connect(&m_process, &QProcess::finished, this, &AppiumServerProcess::onFinished);
}

AppiumServerProcess *AppiumServerProcess::start(QObject *owner, const QString &appiumPath,
                                                const QStringList &arguments,
                                                const std::optional<QProcessEnvironment> &environment,
                                                std::function<void(const QString &)> onOutput)
{
    if (auto problem = BackgroundProcess::launchProblem(appiumPath))
        throw StartError(problem->toStdString());

    auto *server = new AppiumServerProcess(owner, std::move(onOutput));
    QProcess &process = server->m_process;
    process.setProgram(QFileInfo(appiumPath).absoluteFilePath());
    process.setArguments(arguments);
    if (environment)
        process.setProcessEnvironment(*environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    // A session (and so a process group) of its own: its helpers can be killed along with it, and
    // a terminal's signals meant for us do not reach it.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(int(kStartWait.count()))) {
        const QString description = QStringLiteral("无法启动 Appium：") + process.errorString();
        delete server; // kills what may have started
        throw StartError(description.toStdString());
    }
    server->m_groupID = process.processId();
    return server;
}

AppiumServerProcess::~AppiumServerProcess()
{
    disconnect(&m_process, &QProcess::finished, this, nullptr);
    stopAndWait();
    m_process.disconnect(this);
}

void AppiumServerProcess::forwardOutput()
{
    const QByteArray chunk = m_process.readAllStandardOutput();
    if (chunk.isEmpty() || !m_onOutput)
        return;
    if (auto text = decodeStrictUtf8(chunk); text && !text->isEmpty())
        m_onOutput(*text);
}

bool AppiumServerProcess::beginStop()
{
    if (m_stopping)
        return false;
    m_stopping = true;
    if (isRunning()) {
        m_graceEnd = QDeadlineTimer(kShutdownGrace, Qt::PreciseTimer);
        m_process.terminate();
    }
    return true;
}

void AppiumServerProcess::stop()
{
    if (!beginStop())
        return;
    if (isRunning())
        m_graceTimer.start(kShutdownGrace);
    else
        onFinished();
}

void AppiumServerProcess::stopAndWait()
{
    beginStop();
    m_graceTimer.stop();
    // Waiting reads the output as it comes, so the last lines still reach the log.
    if (isRunning() && !m_process.waitForFinished(int(m_graceEnd.remainingTime())))
        killGroup();
    if (isRunning())
        m_process.waitForFinished(kReapWaitMs);
    forwardOutput();
    killGroup(); // helpers the server left behind
}

void AppiumServerProcess::endAll(QObject *owner)
{
    for (AppiumServerProcess *server : owner->findChildren<AppiumServerProcess *>(Qt::FindDirectChildrenOnly))
        delete server;
}

void AppiumServerProcess::killGroup()
{
    // The group exists only while one of its members does; a group ID of 1 or less would mean
    // something else to kill().
    if (m_groupID > 1)
        ::kill(-pid_t(m_groupID), SIGKILL);
    if (isRunning())
        m_process.kill();
}

void AppiumServerProcess::onFinished()
{
    if (!m_stopping)
        return; // exited by itself: its owner notices and stops it later
    m_graceTimer.stop();
    forwardOutput();
    killGroup();
    deleteLater();
}

} // namespace vantrel
