#include "devices/ios/DeviceManager.h"

#include "devices/appium/AppiumServerProcess.h"
#include "devices/ios/DeviceManagerError.h"
#include "devices/GraphemeText.h"
#include "devices/tools/LoginShellLookup.h"
#include "devices/tools/StrictUtf8.h"
#include "devices/tools/ToolPaths.h"

#include "engine/PreciseSleep.h"

namespace vantrel {

// --- Connection ---------------------------------------------------------------------------------

void DeviceManager::connect(const QString &teamID, const QString &wdaBundleID)
{
    connectAndWait(teamID, wdaBundleID);
}

QCoro::Task<bool> DeviceManager::connectAndWait(QString teamID, QString wdaBundleID)
{
    const auto selected = std::find_if(m_devices.cbegin(), m_devices.cend(), [this](const IOSDevice &device) {
        return m_selectedDeviceID && device.id == *m_selectedDeviceID;
    });
    if (selected == m_devices.cend() || selected->isOffline) {
        setConnectionState(DeviceConnectionState::failed(QStringLiteral("请先选择在线 iPhone")));
        co_return false;
    }
    const IOSDevice device = *selected;
    QPointer<DeviceManager> self(this);
    co_await connectTask(device, teamID, wdaBundleID, m_connection);
    co_return self && m_connectionState.kind == DeviceConnectionState::Kind::connected;
}

QCoro::Task<void> DeviceManager::connectTask(IOSDevice device, QString teamID, QString wdaBundleID, quint64 connection)
{
    QPointer<DeviceManager> self(this);
    // A disconnect while this runs ends the attempt quietly.
    const auto current = [&] { return self && m_connection == connection; };
    try {
        setConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在启动 Appium…")));
        co_await ensureAppiumRunning();
        if (!current())
            co_return;
        setConnectionState(DeviceConnectionState::preparing(QStringLiteral("正在启动 WDA，首次连接可能需要几分钟…")));
        const QString sessionID = co_await createSession(device, teamID, wdaBundleID);
        if (!current()) {
            // The session was made for a connection that no longer exists: end it.
            if (self)
                endSession(sessionID);
            co_return;
        }
        m_sessionID = sessionID;
        setConnectionState(DeviceConnectionState::connected());
        startLiveStream();
        startHierarchyPolling();
        co_await refreshHighQualityState(false);
    } catch (const std::exception &error) {
        if (!current())
            co_return;
        const QString description = DeviceManagerError::describe(error);
        setConnectionState(DeviceConnectionState::failed(friendlyError(description)));
        appendLog(description);
    }
}

void DeviceManager::disconnect()
{
    m_stream.stop();
    stopHierarchyPolling();
    ++m_connection;
    const std::optional<QString> sessionID = m_sessionID;
    m_sessionID.reset();
    setLiveImage(std::nullopt);
    setElements({});
    setConnectionState(DeviceConnectionState::idle());
    // The server we started is told to end before the session's deletion is sent.
    if (m_startedAppium)
        terminateAppiumServer();
    if (sessionID)
        endSession(*sessionID);
}

QCoro::Task<void> DeviceManager::endSession(QString sessionID)
{
    try {
        co_await request(AppiumClient::sessionPath(sessionID), QByteArrayLiteral("DELETE"), std::nullopt, kDeleteLimit);
    } catch (const std::exception &) {
        // Ending a session is best effort: a server that is gone has ended it too.
    }
}

QString DeviceManager::friendlyError(const QString &description)
{
    const auto mentions = [&](const char *word) {
        return description.contains(QLatin1StringView(word), Qt::CaseInsensitive);
    };
    if (mentions("unknown device") || mentions("simulator udid"))
        return QStringLiteral("Appium 未识别该 iPhone：iOS 18+ 请先启动 RemoteXPC 隧道；iOS 26 还需 Xcode 26");
    if (mentions("xcodebuild") || mentions("code 65"))
        return QStringLiteral("WDA 构建失败：请检查 Xcode 版本、开发团队和签名");
    if (mentions("timeout"))
        return QStringLiteral("连接超时，请保持 iPhone 解锁并检查 WDA 签名");
    if (GraphemeText::count(description) <= kFriendlyLimit)
        return description;
    return GraphemeText::left(description, kFriendlyLimit) + QStringLiteral("…");
}

// --- Appium server ------------------------------------------------------------------------------

QCoro::Task<std::optional<QString>> DeviceManager::resolveAppiumPath()
{
    // An explicit override is used alone: a wrong one shows up as "no appium".
    if (auto path = ToolPaths::appiumOverride())
        co_return ToolPaths::isExecutableFile(*path) ? path : std::nullopt;
    co_return co_await LoginShellLookup::find(QStringLiteral("appium"));
}

QCoro::Task<void> DeviceManager::ensureAppiumRunning()
{
    QPointer<DeviceManager> self(this);
    // A disconnect meanwhile ends this quietly: no server is started for a connection that is gone
    // (the state would read idle while it ran), and probing one that disconnect has stopped ends.
    const quint64 connection = m_connection;
    const auto current = [&] { return self && m_connection == connection; };
    if (co_await m_appium.isServerReady(kStatusLimit))
        co_return; // a server someone else started is used as it is
    if (!current())
        co_return;
    const std::optional<QString> appium = co_await resolveAppiumPath();
    if (!current())
        co_return;
    if (!appium)
        throw DeviceManagerError::make(DeviceManagerError::appiumMissing, DeviceManagerError::kAppiumMissing);
    startAppiumServer(*appium);
    const QPointer<QProcess> process = appiumProcess();

    for (int attempt = 0;; ++attempt) {
        co_await PreciseSleep::atLeast(m_timing.readinessPause);
        if (!current())
            co_return;
        const bool ready = co_await m_appium.isServerReady(kStatusLimit);
        if (!current())
            co_return;
        if (ready)
            co_return;
        const bool running = process && process->state() != QProcess::NotRunning;
        if (!running || attempt == kReadinessProbes - 1)
            break;
    }
    throw DeviceManagerError::make(DeviceManagerError::appiumStartFailed, DeviceManagerError::kAppiumStartFailed);
}

void DeviceManager::startAppiumServer(const QString &appiumPath)
{
    // The application's own environment, as inherited (the Android server gets the tool environment).
    QPointer<DeviceManager> self(this);
    m_appiumServer = AppiumServerProcess::start(this, appiumPath, AppiumClient::iosServerArguments(m_appium.port()),
                                                std::nullopt, [self](const QString &text) {
                                                    if (self)
                                                        self->appendLog(text);
                                                });
    m_startedAppium = true;
}

void DeviceManager::terminateAppiumServer()
{
    AppiumServerProcess *server = m_appiumServer;
    m_appiumServer = nullptr;
    m_startedAppium = false;
    if (server)
        server->stop(); // it keeps logging until it has exited, then goes away by itself
}

// --- WebDriver calls ----------------------------------------------------------------------------

QCoro::Task<QByteArray> DeviceManager::request(QString path, QByteArray method, std::optional<QJsonObject> json,
                                               std::chrono::milliseconds timeout)
{
    // Counted while waiting, so that an owner (or a test) can let the replies come in before this
    // object goes away.
    QPointer<DeviceManager> self(this);
    ++m_requestsInFlight;
    AppiumReply reply;
    try {
        reply = co_await m_appium.send(method, path, json, timeout);
    } catch (...) {
        if (self)
            --m_requestsInFlight;
        throw;
    }
    if (self)
        --m_requestsInFlight;
    if (!reply.isSuccess()) {
        throw DeviceManagerError::make(DeviceManagerError::requestFailed,
                                       decodeStrictUtf8(reply.body).value_or(DeviceManagerError::kRequestFailed));
    }
    co_return reply.body;
}

QJsonObject DeviceManager::sessionCapabilities(const IOSDevice &device, const QString &teamID,
                                               const QString &wdaBundleID, int wdaPort, int mjpegPort)
{
    QJsonObject capabilities{
        {QStringLiteral("platformName"), QStringLiteral("iOS")},
        {QStringLiteral("appium:automationName"), QStringLiteral("XCUITest")},
        {QStringLiteral("appium:udid"), device.id},
        {QStringLiteral("appium:autoLaunch"), false},
        {QStringLiteral("appium:noReset"), true},
        {QStringLiteral("appium:useNewWDA"), false},
        {QStringLiteral("appium:wdaLocalPort"), wdaPort},
        {QStringLiteral("appium:mjpegServerPort"), mjpegPort},
        {QStringLiteral("appium:newCommandTimeout"), 3600},
        {QStringLiteral("appium:settings[mjpegServerFramerate]"), 12},
        {QStringLiteral("appium:settings[mjpegScalingFactor]"), 75},
        {QStringLiteral("appium:settings[mjpegServerScreenshotQuality]"), 50},
        {QStringLiteral("appium:settings[defaultActiveApplication]"), QStringLiteral("auto")},
    };
    const QString team = trimSpacesAndTabs(teamID);
    if (!team.isEmpty()) {
        capabilities.insert(QStringLiteral("appium:xcodeOrgId"), team);
        capabilities.insert(QStringLiteral("appium:xcodeSigningId"), QStringLiteral("Apple Development"));
    }
    const QString bundle = trimSpacesAndTabs(wdaBundleID);
    if (!bundle.isEmpty())
        capabilities.insert(QStringLiteral("appium:updatedWDABundleId"), bundle);
    return capabilities;
}

QCoro::Task<QString> DeviceManager::createSession(IOSDevice device, QString teamID, QString wdaBundleID)
{
    const QJsonObject body =
        AppiumClient::sessionRequestBody(sessionCapabilities(device, teamID, wdaBundleID, m_wdaPort, m_mjpegPort));
    const QByteArray reply = co_await request(QStringLiteral("/session"), QByteArrayLiteral("POST"), body, kSessionLimit);
    if (auto sessionID = AppiumClient::sessionIdFrom(AppiumClient::parseJson(reply)))
        co_return *sessionID;
    throw DeviceManagerError::make(DeviceManagerError::sessionFailed,
                                   DeviceManagerError::kSessionFailedPrefix
                                       + decodeStrictUtf8(reply).value_or(DeviceManagerError::kUnknownReply));
}

} // namespace vantrel
