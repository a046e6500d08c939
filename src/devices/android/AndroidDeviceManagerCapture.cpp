// Screenshots, the live-frame loop, connecting, disconnecting and the capture for a comparison.
#include "devices/android/AndroidDeviceManager.h"

#include "devices/android/AndroidError.h"
#include "devices/tools/BinaryProcessRunner.h"
#include "devices/tools/ProcessRunner.h"
#include "engine/ImageFileReader.h"

namespace vantrel {

QCoro::Task<QImage> AndroidDeviceManager::captureScreenshot()
{
    if (!m_adbPath || !m_selectedDeviceID)
        throw AndroidError::make(AndroidError::screenshotUnavailable, AndroidError::kScreenshotUnavailable);
    const QStringList arguments{QStringLiteral("-s"), *m_selectedDeviceID, QStringLiteral("exec-out"),
                                QStringLiteral("screencap"), QStringLiteral("-p")};
    const BinaryCommandOutput output = co_await BinaryProcessRunner::run(*m_adbPath, arguments, m_timing.adbCommandLimit);
    // No member is touched after the wait: the image goes back to the caller.
    QImage image;
    if (output.status == 0) {
        try {
            image = ImageFileReader::readBytes(output.data);
        } catch (const ImageReadError &) {
            image = QImage();
        }
    }
    if (image.isNull()) {
        throw AndroidError::make(AndroidError::screenshotFailed, output.standardError.isEmpty()
                                                                     ? AndroidError::kScreenshotFailed
                                                                     : output.standardError);
    }
    co_return image;
}

void AndroidDeviceManager::startFrameLoop()
{
    const quint64 generation = m_nextGeneration++;
    m_frameLoop = generation;
    m_framePause.cancel(); // a replaced loop waiting in its pause ends now
    frameLoop(QPointer<AndroidDeviceManager>(this), generation);
}

QCoro::Task<void> AndroidDeviceManager::frameLoop(QPointer<AndroidDeviceManager> self, quint64 generation)
{
    const BackgroundWork work(self);
    const auto running = [&] { return self && self->m_frameLoop == generation; };
    while (running()) {
        try {
            QImage image = co_await self->captureScreenshot();
            if (!running())
                co_return;
            self->setLiveImage(image);
        } catch (const std::exception &error) {
            if (!running())
                co_return;
            self->appendLog(QStringLiteral("截图刷新失败：") + AndroidError::describe(error) + u'\n');
        }
        co_await self->m_framePause.wait(self->m_timing.framePause);
    }
}

void AndroidDeviceManager::stopLoops()
{
    m_frameLoop.reset();
    m_hierarchyLoop.reset();
    m_framePause.cancel();
    m_hierarchyPause.cancel();
}

void AndroidDeviceManager::restartLoops(bool frame, bool hierarchy)
{
    if (m_connectionState.kind != DeviceConnectionState::Kind::connected)
        return;
    if (frame)
        startFrameLoop();
    if (hierarchy)
        startHierarchyLoop();
}

// --- Connecting -------------------------------------------------------------------------------

void AndroidDeviceManager::connect()
{
    connectAndWait();
}

QCoro::Task<bool> AndroidDeviceManager::connectAndWait()
{
    const auto selected = std::find_if(m_devices.begin(), m_devices.end(), [this](const AndroidDevice &device) {
        return m_selectedDeviceID && device.id == *m_selectedDeviceID;
    });
    if (selected == m_devices.end()) {
        setConnectionState(DeviceConnectionState::failed(QStringLiteral("请先连接 Android 设备")));
        co_return false;
    }
    if (selected->state != AndroidDevice::State::online) {
        setConnectionState(DeviceConnectionState::failed(stateMessage(selected->state)));
        co_return false;
    }
    const AndroidDevice device = *selected;
    QPointer<AndroidDeviceManager> self(this);
    co_await connectTask(device, m_connection);
    co_return self && m_connectionState.kind == DeviceConnectionState::Kind::connected;
}

void AndroidDeviceManager::failConnection(const QString &description)
{
    setConnectionState(DeviceConnectionState::failed(description));
    appendLog(QStringLiteral("连接失败：") + description + u'\n');
}

QCoro::Task<void> AndroidDeviceManager::connectTask(AndroidDevice device, quint64 connection)
{
    QPointer<AndroidDeviceManager> self(this);
    // A disconnect while connecting wins: the task then stops without touching anything.
    const auto current = [&] { return self && self->m_connection == connection; };

    setConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在连接 Android 设备…")));
    m_hierarchyCooldownUntil.reset();
    setLastCaptureWarning(std::nullopt);

    if (!m_adbPath) {
        const std::optional<QString> adb = co_await resolveADBPath();
        if (!current())
            co_return;
        m_adbPath = adb;
        if (!m_adbPath) {
            failConnection(AndroidError::kAdbMissing);
            co_return;
        }
    }

    const QStringList arguments{QStringLiteral("-s"), device.id, QStringLiteral("get-state")};
    const CommandOutput state = co_await ProcessRunner::run(*m_adbPath, arguments, m_timing.adbCommandLimit);
    if (!current())
        co_return;
    if (state.status != 0 || state.standardOutput.trimmed() != u"device") {
        failConnection(state.standardError.isEmpty() ? AndroidError::kNotAuthorized : state.standardError);
        co_return;
    }

    try {
        QImage image = co_await captureScreenshot();
        if (!current())
            co_return;
        setLiveImage(image);
        co_await refreshHierarchy();
        if (!current())
            co_return;
    } catch (const std::exception &error) {
        if (current())
            failConnection(AndroidError::describe(error));
        co_return;
    }

    setConnectionState(DeviceConnectionState::connected());
    startFrameLoop();
    startHierarchyLoop();
}

void AndroidDeviceManager::disconnect()
{
    ++m_connection;
    stopLoops();
    setLiveImage(std::nullopt);
    setElements({});
    setConnectionState(DeviceConnectionState::idle());

    const std::optional<QString> session = m_appiumSessionID;
    m_appiumSessionID.reset();
    m_preferAppiumHierarchy = false;
    m_hierarchyRefreshInProgress = false;
    m_hierarchyCooldownUntil.reset();
    setLastCaptureWarning(std::nullopt);

    // The server this object started is released now and asked to terminate once the session has
    // been ended (or the request has failed): stopping it first would leave the UiAutomator2
    // server on the phone running until its command time-out.
    QPointer<AppiumServerProcess> server;
    if (m_startedAppium) {
        server = m_appiumServer;
        m_appiumServer = nullptr;
        m_startedAppium = false;
    }
    m_didPrepareAppiumServer = false;
    if (session)
        endSessionThenStop(*session, server);
    else
        terminateServerProcess(server);
}

QCoro::Task<void> AndroidDeviceManager::endSessionThenStop(QString sessionID, QPointer<AppiumServerProcess> server)
{
    // Best effort; the outcome is ignored.
    QPointer<AndroidDeviceManager> self(this);
    const BackgroundWork work(this);
    co_await m_appium.deleteSession(sessionID, kAppiumDeleteLimit);
    if (self)
        terminateServerProcess(server);
}

// --- Comparison capture -----------------------------------------------------------------------

QCoro::Task<CapturedDeviceState> AndroidDeviceManager::captureForComparison()
{
    if (m_connectionState.kind != DeviceConnectionState::Kind::connected)
        throw AndroidError::make(AndroidError::notConnected, AndroidError::kNotConnected);

    QPointer<AndroidDeviceManager> self(this);
    const bool hadFrameLoop = m_frameLoop.has_value();
    const bool hadHierarchyLoop = m_hierarchyLoop.has_value();
    stopLoops();
    setLastCaptureWarning(std::nullopt);

    QImage screenshot;
    try {
        screenshot = co_await captureScreenshot();
    } catch (const std::exception &) {
        if (self)
            restartLoops(hadFrameLoop, hadHierarchyLoop);
        throw;
    }
    if (!self)
        throw AndroidError::make(AndroidError::notConnected, AndroidError::kNotConnected);

    if (!m_elements.isEmpty()) {
        appendLog(QStringLiteral("正式对比使用连接期间最近一次 Android 元素树，避免与动态页面刷新争用\n"));
    } else {
        try {
            co_await refreshHierarchy();
        } catch (const std::exception &error) {
            if (!self)
                throw AndroidError::make(AndroidError::notConnected, AndroidError::kNotConnected);
            setLastCaptureWarning(QStringLiteral("Android UI 层级暂时不可用，已自动改用截图视觉对比"));
            appendLog(QStringLiteral("正式对比读取元素树失败，已降级为视觉对比：") + AndroidError::describe(error) + u'\n');
        }
        if (!self)
            throw AndroidError::make(AndroidError::notConnected, AndroidError::kNotConnected);
    }

    setLiveImage(screenshot);
    CapturedDeviceState captured;
    captured.image = screenshot;
    captured.elements = m_elements;
    captured.screenSize = screenSize(m_elements, screenshot);
    restartLoops(hadFrameLoop, hadHierarchyLoop);
    co_return captured;
}

} // namespace vantrel
