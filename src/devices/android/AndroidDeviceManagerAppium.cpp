// The Appium UiAutomator2 fallback: locating appium, the dedicated server, the session and the
// page source.
#include "devices/android/AndroidDeviceManager.h"

#include "devices/android/AndroidElementXMLParser.h"
#include "devices/android/AndroidError.h"
#include "devices/appium/AppiumServerProcess.h"
#include "devices/GraphemeText.h"
#include "devices/tools/LoginShellLookup.h"
#include "devices/tools/ProcessRunner.h"
#include "devices/tools/StrictUtf8.h"
#include "devices/tools/ToolPaths.h"
#include "devices/tools/ToolProcessEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include "engine/PreciseSleep.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <limits>

namespace vantrel {

namespace {

constexpr qsizetype kMessageLimit = 500;
const QString kSdkProblem = QStringLiteral("Neither ANDROID_HOME nor ANDROID_SDK_ROOT");

} // namespace

QStringList AndroidDeviceManager::appiumCandidatePaths()
{
    const QString home = QDir::homePath();
    return {home + QStringLiteral("/.local/npm-global/bin/appium"), home + QStringLiteral("/.npm-global/bin/appium"),
            home + QStringLiteral("/.nvm/current/bin/appium"), QStringLiteral("/opt/homebrew/bin/appium"),
            QStringLiteral("/usr/local/bin/appium")};
}

QCoro::Task<std::optional<QString>> AndroidDeviceManager::resolveAppiumPath()
{
    // An explicit override is used alone: a wrong one shows up as "no appium".
    if (auto path = ToolPaths::appiumOverride())
        co_return ToolPaths::isExecutableFile(*path) ? path : std::nullopt;
    for (const QString &candidate : appiumCandidatePaths()) {
        if (ToolPaths::isExecutableFile(candidate))
            co_return candidate;
    }
    co_return co_await LoginShellLookup::find(QStringLiteral("appium"));
}

QJsonObject AndroidDeviceManager::sessionCapabilities(const QString &serial, int systemPort)
{
    return {{QStringLiteral("platformName"), QStringLiteral("Android")},
            {QStringLiteral("appium:automationName"), QStringLiteral("UiAutomator2")},
            {QStringLiteral("appium:udid"), serial},
            {QStringLiteral("appium:autoLaunch"), false},
            {QStringLiteral("appium:noReset"), true},
            {QStringLiteral("appium:newCommandTimeout"), 3600},
            {QStringLiteral("appium:systemPort"), systemPort},
            {QStringLiteral("appium:ignoreHiddenApiPolicyError"), true},
            {QStringLiteral("appium:settings[waitForIdleTimeout]"), 0}};
}

QString AndroidDeviceManager::appiumErrorMessage(const QByteArray &body)
{
    const QString fallback = decodeStrictUtf8(body).value_or(QStringLiteral("Appium HTTP 请求失败"));
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return fallback;
    const QJsonValue value = document.object().value(QStringLiteral("value"));
    if (!value.isObject())
        return fallback;
    const QJsonValue message = value.toObject().value(QStringLiteral("message"));
    if (!message.isString())
        return fallback;
    const QString text = message.toString();
    if (text.contains(kSdkProblem))
        return QStringLiteral("Appium 未获得 Android SDK 路径，请安装新版工具并重新连接");
    const QString cut = GraphemeText::left(text, kMessageLimit);
    return cut.size() == text.size() ? text : cut + QStringLiteral("…");
}

QCoro::Task<QByteArray> AndroidDeviceManager::appiumRequest(QString path, QByteArray method,
                                                            std::optional<QJsonObject> body,
                                                            std::chrono::milliseconds limit)
{
    const AppiumReply reply = co_await m_appium.send(method, path, body, limit);
    if (!reply.isSuccess())
        throw AndroidError::make(AndroidError::appiumRequestFailed, appiumErrorMessage(reply.body));
    co_return reply.body;
}

// --- The dedicated server ---------------------------------------------------------------------

QStringList AndroidDeviceManager::killTargets(const QString &lsofOutput)
{
    // kill takes "-1" as every process of the user and "0" as our own group: only plain positive
    // process ids count, and never this process's own.
    static const QRegularExpression plainId(QStringLiteral("^[1-9][0-9]{0,9}$"));
    const QString own = QString::number(QCoreApplication::applicationPid());
    QStringList targets;
    for (const QString &line : lsofOutput.split(u'\n', Qt::SkipEmptyParts)) {
        const QString pid = line.trimmed();
        if (plainId.match(pid).hasMatch() && pid.toLongLong() <= std::numeric_limits<int>::max() && pid != own &&
            !targets.contains(pid))
            targets.append(pid);
    }
    return targets;
}

QCoro::Task<void> AndroidDeviceManager::stopStaleAppiumServer()
{
    QPointer<AndroidDeviceManager> self(this);
    const QStringList lsofArguments{QStringLiteral("-tiTCP:") + QString::number(m_appium.port()),
                                    QStringLiteral("-sTCP:LISTEN")};
    const CommandOutput listeners = co_await ProcessRunner::run(ToolPaths::lsof(), lsofArguments, kProcessToolTimeout);
    for (const QString &pid : killTargets(listeners.standardOutput)) {
        const QStringList killArguments{QStringLiteral("-TERM"), pid};
        co_await ProcessRunner::run(ToolPaths::kill(), killArguments, kProcessToolTimeout);
    }
    if (!self)
        co_return;
    co_await PreciseSleep::atLeast(m_timing.staleServerSettle);
}

void AndroidDeviceManager::startAppiumServer(const QString &appiumPath)
{
    // Runs in the tool environment with the Android SDK variables (the iPhone server inherits the
    // application's own).
    QPointer<AndroidDeviceManager> self(this);
    m_appiumServer = AppiumServerProcess::start(this, appiumPath, AppiumClient::androidServerArguments(m_appium.port()),
                                                ToolProcessEnvironment::value(), [self](const QString &text) {
                                                    if (self)
                                                        self->appendLog(text);
                                                });
    m_startedAppium = true;
}

void AndroidDeviceManager::terminateAppiumServer()
{
    QPointer<AppiumServerProcess> server = m_appiumServer;
    m_appiumServer = nullptr;
    terminateServerProcess(server);
}

void AndroidDeviceManager::terminateServerProcess(QPointer<AppiumServerProcess> server)
{
    if (server)
        server->stop(); // it keeps logging until it has exited, then goes away by itself
}

QCoro::Task<void> AndroidDeviceManager::ensureAppiumRunning()
{
    QPointer<AndroidDeviceManager> self(this);
    // A disconnect meanwhile ends this quietly: no server is started for a connection that is gone
    // (the state would read idle while it ran).
    const quint64 connection = m_connection;
    const auto current = [&] { return self && m_connection == connection; };
    const bool answering = co_await m_appium.isServerReady(kAppiumStatusLimit);
    if (!current())
        co_return;
    if (answering) {
        if (m_didPrepareAppiumServer || m_appiumServer) {
            m_didPrepareAppiumServer = true;
            co_return;
        }
        appendLog(QStringLiteral("发现上次遗留的专用 Appium 服务，正在使用完整 Android SDK 环境重新启动\n"));
        co_await stopStaleAppiumServer();
        if (!current())
            co_return;
    }

    const std::optional<QString> appium = co_await resolveAppiumPath();
    if (!current())
        co_return;
    if (!appium)
        throw AndroidError::make(AndroidError::appiumMissing, AndroidError::kAppiumMissing);
    startAppiumServer(*appium);
    const QPointer<QProcess> process = appiumProcess();

    for (int check = 1; check <= kAppiumStartChecks; ++check) {
        co_await PreciseSleep::atLeast(m_timing.appiumStartPoll);
        if (!current())
            co_return;
        const bool ready = co_await m_appium.isServerReady(kAppiumStatusLimit);
        if (!current())
            co_return;
        if (ready) {
            m_didPrepareAppiumServer = true;
            co_return;
        }
        if (!process || process->state() == QProcess::NotRunning)
            break;
    }
    throw AndroidError::make(AndroidError::appiumStartFailed, AndroidError::kAppiumStartFailed);
}

// --- Session and page source ------------------------------------------------------------------

QCoro::Task<void> AndroidDeviceManager::ensureAppiumSession()
{
    if (m_appiumSessionID)
        co_return;
    QPointer<AndroidDeviceManager> self(this);
    co_await ensureAppiumRunning();
    if (!self || !m_selectedDeviceID)
        co_return;

    const QJsonObject body = AppiumClient::sessionRequestBody(sessionCapabilities(*m_selectedDeviceID));
    const QByteArray reply = co_await appiumRequest(QStringLiteral("/session"), QByteArrayLiteral("POST"), body,
                                                    kAppiumSessionLimit);
    if (!self)
        co_return;
    const std::optional<QString> sessionID = AppiumClient::sessionIdFrom(AppiumClient::parseJson(reply));
    if (!sessionID) {
        throw AndroidError::make(AndroidError::appiumSessionFailed,
                                 AndroidError::kAppiumSessionFailedPrefix
                                     + decodeStrictUtf8(reply).value_or(QStringLiteral("未知响应")));
    }
    m_appiumSessionID = sessionID;
}

QCoro::Task<void> AndroidDeviceManager::refreshHierarchyViaAppium()
{
    QPointer<AndroidDeviceManager> self(this);
    co_await ensureAppiumSession();
    if (!self)
        co_return;
    if (!m_appiumSessionID)
        throw AndroidError::make(AndroidError::appiumSessionMissing, AndroidError::kAppiumSessionMissing);

    const QByteArray reply = co_await appiumRequest(AppiumClient::sourcePath(*m_appiumSessionID),
                                                    QByteArrayLiteral("GET"), std::nullopt, m_timing.appiumSourceLimit);
    if (!self)
        co_return;
    const QJsonDocument document = AppiumClient::parseJson(reply);
    const QJsonValue value = document.isObject() ? document.object().value(QStringLiteral("value")) : QJsonValue();
    if (!value.isString() || !value.toString().contains(QStringLiteral("<hierarchy")))
        throw AndroidError::make(AndroidError::appiumNoHierarchy, AndroidError::kAppiumNoHierarchy);
    const QString source = value.toString();
    const QList<DeviceElement> parsed = AndroidElementXMLParser::parse(source);
    if (parsed.isEmpty())
        throw AndroidError::make(AndroidError::appiumEmptyHierarchy, AndroidError::kAppiumEmptyHierarchy);
    setElements(parsed, source);
}

} // namespace vantrel
