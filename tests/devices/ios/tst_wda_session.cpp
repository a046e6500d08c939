#include "devices/ios/DeviceManager.h"
#include "devices/ios/DeviceManagerError.h"

#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/IosManagerFixture.h"
#include "support/MjpegTestData.h"
#include "support/WdaScenario.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace vantrel;
using test::FakeHttpServer;
using test::FakeIosTools;
using Fixture = test::IosManagerFixture;
namespace wda = test::wda;

namespace {

const QString kUdid = Fixture::kUdid;
const QString kOfflineUdid = Fixture::kOfflineUdid;

const QString kSource = QStringLiteral(
    R"(<?xml version="1.0" encoding="UTF-8"?><AppiumAUT>)"
    R"(<XCUIElementTypeApplication type="XCUIElementTypeApplication" name="Demo" x="0" y="0" width="393" height="852">)"
    R"(<XCUIElementTypeButton type="XCUIElementTypeButton" name="buy" label="购买" x="16" y="780" width="361" height="50"/>)"
    R"(</XCUIElementTypeApplication></AppiumAUT>)");

QImage screenImage(QColor color = QColor(20, 120, 220), QSize size = QSize(1179 / 9, 2556 / 9))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QJsonObject healthyScenario(const QString &sessionID = QStringLiteral("S1"))
{
    return FakeHttpServer::scenario(
        {wda::statusRoute(), wda::sessionRoute({wda::sessionReply(sessionID)}),
         wda::screenshotRoute(sessionID, screenImage()), wda::sourceRoute(sessionID, kSource), wda::deleteRoute(sessionID),
         wda::mjpegRoute({test::mjpegPart(test::jpegFrame({60, 120}, QColor(200, 40, 40)))})});
}

QJsonObject expectedCapabilities()
{
    return QJsonObject{
        {QStringLiteral("platformName"), QStringLiteral("iOS")},
        {QStringLiteral("appium:automationName"), QStringLiteral("XCUITest")},
        {QStringLiteral("appium:udid"), kUdid},
        {QStringLiteral("appium:autoLaunch"), false},
        {QStringLiteral("appium:noReset"), true},
        {QStringLiteral("appium:useNewWDA"), false},
        {QStringLiteral("appium:wdaLocalPort"), 8100},
        {QStringLiteral("appium:mjpegServerPort"), 9100},
        {QStringLiteral("appium:newCommandTimeout"), 3600},
        {QStringLiteral("appium:settings[mjpegServerFramerate]"), 12},
        {QStringLiteral("appium:settings[mjpegScalingFactor]"), 75},
        {QStringLiteral("appium:settings[mjpegServerScreenshotQuality]"), 50},
        {QStringLiteral("appium:settings[defaultActiveApplication]"), QStringLiteral("auto")},
    };
}

} // namespace

class WdaSessionTest : public QObject {
    Q_OBJECT

private slots:
    void connectNeedsAnOnlineSelection()
    {
        FakeHttpServer server(healthyScenario());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(150));
        DeviceManager &manager = fixture.manager;
        for (const std::optional<QString> &selection : {std::optional<QString>(kOfflineUdid), std::optional<QString>(),
                                                         std::optional<QString>(QStringLiteral("unknown"))}) {
            manager.setSelectedDeviceID(selection);
            manager.connect(QString(), QString());
            QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("请先选择在线 iPhone")));
        }
        test::spinEventLoop(std::chrono::milliseconds(200));
        QVERIFY(server.requests().isEmpty());
    }

    void connectWithARunningServer()
    {
        FakeHttpServer server(healthyScenario());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(150));
        DeviceManager &manager = fixture.manager;
        QList<DeviceConnectionState> states;
        connect(&manager, &DeviceManager::connectionStateChanged, this,
                [&] { states.append(manager.connectionState()); });

        const auto connected = test::awaitTask(manager.connectAndWait(QStringLiteral(" TEAM42\t"), QString()));
        QVERIFY(connected.succeeded());
        QVERIFY(*connected.value);
        QCOMPARE(states,
                 (QList<DeviceConnectionState>{DeviceConnectionState::preparing(QStringLiteral("正在启动 Appium…")),
                                               DeviceConnectionState::preparing(QStringLiteral("正在启动 WDA，首次连接可能需要几分钟…")),
                                               DeviceConnectionState::connected()}));
        QCOMPARE(manager.sessionID(), std::optional<QString>(QStringLiteral("S1")));
        QVERIFY(!manager.startedAppium());

        // The first refresh published the element tree but not its screenshot.
        QCOMPARE(manager.elements().size(), 2);
        QCOMPARE(manager.elements().at(1).label, std::optional<QString>(QStringLiteral("购买")));
        QCOMPARE(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/screenshot")), 1);

        // The session request: exact capabilities, the team ID trimmed, no bundle ID.
        const QList<QJsonObject> sessions = server.requests(QStringLiteral("/session"));
        QCOMPARE(test::requestCount(server, QStringLiteral("POST"), QStringLiteral("/session")), 1);
        QCOMPARE(sessions.at(0).value(QStringLiteral("headers")).toObject().value(QStringLiteral("content-type")).toString(),
                 QStringLiteral("application/json"));
        const QJsonObject body =
            QJsonDocument::fromJson(sessions.at(0).value(QStringLiteral("body")).toString().toUtf8()).object();
        QJsonObject capabilities = expectedCapabilities();
        capabilities.insert(QStringLiteral("appium:xcodeOrgId"), QStringLiteral("TEAM42"));
        capabilities.insert(QStringLiteral("appium:xcodeSigningId"), QStringLiteral("Apple Development"));
        capabilities.insert(QStringLiteral("appium:mjpegServerPort"), int(server.port())); // follows the port in use
        QCOMPARE(body, (QJsonObject{{QStringLiteral("capabilities"),
                                     QJsonObject{{QStringLiteral("alwaysMatch"), capabilities},
                                                 {QStringLiteral("firstMatch"), QJsonArray{QJsonObject()}}}}}));

        // The live stream shows the phone; the polling loop keeps reading the tree.
        QTRY_VERIFY_WITH_TIMEOUT(manager.liveImage().has_value(), 10000);
        QCOMPARE(manager.liveImage()->size(), QSize(60, 120));
        QTRY_VERIFY_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source")) >= 3, 10000);
        QVERIFY(manager.isHierarchyPolling());

        // Disconnect: everything stops, the session is deleted, the foreign server stays.
        QSignalSpy images(&manager, &DeviceManager::liveImageChanged);
        manager.disconnect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager.sessionID() && manager.elements().isEmpty() && !manager.isHierarchyPolling());
        QTRY_COMPARE_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S1")), 1, 10000);
        const qsizetype sourcesAfterDisconnect = test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source"));
        const qsizetype imageChanges = images.size();
        test::spinEventLoop(std::chrono::milliseconds(600));
        QCOMPARE(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source")), sourcesAfterDisconnect);
        QCOMPARE(images.size(), imageChanges); // no frame of the stopped stream comes back
        QCOMPARE(manager.liveImage(), std::nullopt);
        AppiumClient probe(server.port());
        QVERIFY(test::awaitTask(probe.isServerReady(std::chrono::seconds(5))).value.value_or(false));
    }

    void capabilitiesLeaveOutBlankTeamAndTrimBundle()
    {
        IOSDevice device;
        device.id = kUdid;
        QJsonObject expected = expectedCapabilities();
        expected.insert(QStringLiteral("appium:updatedWDABundleId"), QStringLiteral("com.x.WDA"));
        expected.insert(QStringLiteral("appium:wdaLocalPort"), 8101);
        expected.insert(QStringLiteral("appium:mjpegServerPort"), 9101);
        QCOMPARE(DeviceManager::sessionCapabilities(device, QStringLiteral(" \t "), QStringLiteral("\tcom.x.WDA "), 8101, 9101), expected);
    }

    void sessionIdFromTheTopLevelAndMissing()
    {
        FakeHttpServer server(FakeHttpServer::scenario(
            {wda::statusRoute(),
             wda::sessionRoute({FakeHttpServer::json(200, QJsonObject{{QStringLiteral("sessionId"), QStringLiteral("TOP")},
                                                                      {QStringLiteral("value"), QJsonObject()}}),
                                FakeHttpServer::json(200, QJsonObject{{QStringLiteral("value"), QJsonObject()}}),
                                FakeHttpServer::text(200, QStringLiteral("not json"))})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(150));
        IOSDevice device = fixture.manager.devices().at(0);

        const auto top = test::awaitTask(fixture.manager.createSession(device, QString(), QString()));
        QCOMPARE(top.value, std::optional<QString>(QStringLiteral("TOP")));

        const auto missing = test::awaitTask(fixture.manager.createSession(device, QString(), QString()));
        QVERIFY(!missing.succeeded());
        QCOMPARE(test::deviceManagerErrorCode(missing.exception), 7);
        QCOMPARE(*missing.error, QStringLiteral(R"(WDA 会话创建失败：{"value":{}})"));

        const auto garbage = test::awaitTask(fixture.manager.createSession(device, QString(), QString()));
        QVERIFY(!garbage.succeeded());
        QCOMPARE(test::deviceManagerErrorCode(garbage.exception), -1); // the JSON syntax error passes through
    }

    void refusedSessionShowsTheFriendlyMessage_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("shown");
        QTest::newRow("unknown device")
            << R"({"value":{"error":"session not created","message":"Unknown device or simulator UDID: '0000'"}})"
            << "Appium 未识别该 iPhone：iOS 18+ 请先启动 RemoteXPC 隧道；iOS 26 还需 Xcode 26";
        QTest::newRow("build failure")
            << R"({"value":{"message":"xcodebuild failed with code 65"}})"
            << "WDA 构建失败：请检查 Xcode 版本、开发团队和签名";
        QTest::newRow("timeout in capitals")
            << R"({"value":{"message":"WDA STARTUP TIMEOUT after 60000ms"}})"
            << "连接超时，请保持 iPhone 解锁并检查 WDA 签名";
        QTest::newRow("other") << R"({"value":{"message":"nope"}})" << R"({"value":{"message":"nope"}})";
        QTest::newRow("long") << QString(200, u'e') << QString(160, u'e') + QStringLiteral("…");
    }

    void refusedSessionShowsTheFriendlyMessage()
    {
        QFETCH(QString, reply);
        QFETCH(QString, shown);
        FakeHttpServer server(FakeHttpServer::scenario(
            {wda::statusRoute(), wda::sessionRoute({FakeHttpServer::text(500, reply, QStringLiteral("application/json"))})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(150));
        const auto connected = test::awaitTask(fixture.manager.connectAndWait(QString(), QString()));
        QCOMPARE(connected.value, std::optional<bool>(false));
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::failed(shown));
        // The state shows the short form, the log gets the reply itself, as it came.
        QVERIFY(fixture.manager.logText().endsWith(reply));
        QCOMPARE(fixture.manager.sessionID(), std::nullopt);
    }

    void friendlyMessageShortensLongDescriptions()
    {
        const QString long200 = QString(199, u'错') + u'!';
        QCOMPARE(DeviceManager::friendlyError(long200), QString(160, u'错') + QStringLiteral("…"));
        QCOMPARE(DeviceManager::friendlyError(QString(160, u'x')), QString(160, u'x'));
        // User-perceived characters: 161 flags are cut to 160 flags.
        QString flags;
        for (int i = 0; i < 161; ++i)
            flags += QStringLiteral("🇨🇳");
        QCOMPARE(DeviceManager::friendlyError(flags), flags.left(160 * 4) + QStringLiteral("…"));
    }

    void requestFailuresAndTimeLimit()
    {
        QJsonObject slow = FakeHttpServer::text(200, QStringLiteral("late"));
        slow.insert(QStringLiteral("delayMs"), 3000);
        FakeHttpServer server(FakeHttpServer::scenario(
            {FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/x"),
                                   {FakeHttpServer::text(404, QStringLiteral("没有")),
                                    FakeHttpServer::bytes(500, QByteArray("\xff\xfe", 2), QStringLiteral("text/plain")),
                                    FakeHttpServer::text(204, QString())}),
             FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/slow"), {slow})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(150));
        const auto get = [&](const QString &path, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
            return test::awaitTask(fixture.manager.request(path, "GET", std::nullopt, limit));
        };
        const auto notFound = get(QStringLiteral("/x"));
        QCOMPARE(test::deviceManagerErrorCode(notFound.exception), 8);
        QCOMPARE(*notFound.error, QStringLiteral("没有"));
        QCOMPARE(get(QStringLiteral("/x")).error, std::optional<QString>(QStringLiteral("HTTP 请求失败")));
        QCOMPARE(get(QStringLiteral("/x")).value, std::optional<QByteArray>(QByteArray()));
        // Past the time limit: the transport's own error, not code 8.
        const auto slowOutcome = get(QStringLiteral("/slow"), std::chrono::milliseconds(300));
        QVERIFY(slowOutcome.exception);
        QCOMPARE(test::deviceManagerErrorCode(slowOutcome.exception), -1);
    }
};

QTEST_MAIN(WdaSessionTest)
#include "tst_wda_session.moc"
