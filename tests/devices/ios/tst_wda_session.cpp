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
using namespace Qt::StringLiterals;
using test::FakeHttpServer;
using test::FakeIosTools;
using Fixture = test::IosManagerFixture;
namespace wda = test::wda;

namespace {

const QString kUdid = Fixture::kUdid;
const QString kOfflineUdid = Fixture::kOfflineUdid;

const QString kSource = uR"(<?xml version="1.0" encoding="UTF-8"?><AppiumAUT>)"
    R"(<XCUIElementTypeApplication type="XCUIElementTypeApplication" name="Demo" x="0" y="0" width="393" height="852">)"
    R"(<XCUIElementTypeButton type="XCUIElementTypeButton" name="buy" label="购买" x="16" y="780" width="361" height="50"/>)"
    R"(</XCUIElementTypeApplication></AppiumAUT>)"_s;

QImage screenImage(QColor color = QColor(20, 120, 220), QSize size = QSize(1179 / 9, 2556 / 9))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QJsonObject healthyScenario(const QString &sessionID = u"S1"_s)
{
    return FakeHttpServer::scenario(
        {wda::statusRoute(), wda::sessionRoute({wda::sessionReply(sessionID)}),
         wda::screenshotRoute(sessionID, screenImage()), wda::sourceRoute(sessionID, kSource), wda::deleteRoute(sessionID),
         wda::mjpegRoute({test::mjpegPart(test::jpegFrame({60, 120}, QColor(200, 40, 40)))})});
}

QJsonObject expectedCapabilities()
{
    return QJsonObject{{"platformName", "iOS"}, {"appium:automationName", "XCUITest"}, {"appium:udid", kUdid},
                       {"appium:autoLaunch", false}, {"appium:noReset", true}, {"appium:useNewWDA", false},
                       {"appium:wdaLocalPort", 8100}, {"appium:mjpegServerPort", 9100}, {"appium:newCommandTimeout", 3600},
                       {"appium:settings[mjpegServerFramerate]", 12}, {"appium:settings[mjpegScalingFactor]", 75},
                       {"appium:settings[mjpegServerScreenshotQuality]", 50},
                       {"appium:settings[defaultActiveApplication]", "auto"}};
}

} // namespace

class WdaSessionTest : public QObject {
    Q_OBJECT

private slots:
    void connectNeedsAnOnlineSelection()
    {
        Fixture fixture(healthyScenario(), std::chrono::milliseconds(150));
        DeviceManager &manager = fixture.manager;
        for (const std::optional<QString> &selection : {std::optional<QString>(kOfflineUdid), std::optional<QString>(),
                                                         std::optional<QString>(u"unknown"_s)}) {
            manager.setSelectedDeviceID(selection);
            manager.connect(QString(), QString());
            QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"请先选择在线 iPhone"_s));
        }
        test::spinEventLoop(std::chrono::milliseconds(200));
        QVERIFY(fixture.server->requests().isEmpty());
    }

    void connectWithARunningServer()
    {
        Fixture fixture(healthyScenario(), std::chrono::milliseconds(150));
        DeviceManager &manager = fixture.manager;
        FakeHttpServer &server = *fixture.server;
        QList<DeviceConnectionState> states;
        QObject recording; // ends the recording before `states` goes, even when a check fails early
        connect(&manager, &DeviceManager::connectionStateChanged, &recording, [&] { states.append(manager.connectionState()); });

        const auto connected = test::awaitTask(manager.connectAndWait(u" TEAM42\t"_s, QString()));
        QCOMPARE(connected.value, true);
        QCOMPARE(states,
                 (QList<DeviceConnectionState>{DeviceConnectionState::preparing(u"正在启动 Appium…"_s),
                                               DeviceConnectionState::preparing(u"正在启动 WDA，首次连接可能需要几分钟…"_s),
                                               DeviceConnectionState::connected()}));
        QCOMPARE(manager.sessionID(), u"S1"_s);
        QVERIFY(!manager.startedAppium());

        // The first refresh published the element tree but not its screenshot.
        QCOMPARE(manager.elements().size(), 2);
        QCOMPARE(manager.elements().at(1).label, u"购买"_s);
        QCOMPARE(server.count("GET", "/session/S1/screenshot"), 1);

        // The session request: exact capabilities, the team ID trimmed, no bundle ID.
        const QJsonObject create = server.requests(u"/session"_s).at(0);
        QCOMPARE(server.count("POST", "/session"), 1);
        QCOMPARE(create["headers"]["content-type"].toString(), u"application/json"_s);
        QJsonObject capabilities = expectedCapabilities();
        capabilities.insert("appium:xcodeOrgId", "TEAM42");
        capabilities.insert("appium:xcodeSigningId", "Apple Development");
        capabilities.insert("appium:mjpegServerPort", int(server.port())); // follows the port in use
        QCOMPARE(QJsonDocument::fromJson(create["body"].toString().toUtf8()).object(),
                 (QJsonObject{{"capabilities", QJsonObject{{"alwaysMatch", capabilities}, {"firstMatch", QJsonArray{QJsonObject()}}}}}));

        // The live stream shows the phone; the polling loop keeps reading the tree.
        QTRY_VERIFY_WITH_TIMEOUT(manager.liveImage().has_value(), 10000);
        QCOMPARE(manager.liveImage()->size(), QSize(60, 120));
        QTRY_VERIFY_WITH_TIMEOUT(server.count("GET", "/session/S1/source") >= 3, 10000);
        QVERIFY(manager.isHierarchyPolling());

        // Disconnect: everything stops, the session is deleted, the foreign server stays.
        QSignalSpy images(&manager, &DeviceManager::liveImageChanged);
        manager.disconnect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager.sessionID() && manager.elements().isEmpty() && !manager.isHierarchyPolling());
        QTRY_COMPARE_WITH_TIMEOUT(server.count("DELETE", "/session/S1"), 1, 10000);
        const qsizetype sourcesAfterDisconnect = server.count("GET", "/session/S1/source");
        const qsizetype imageChanges = images.size();
        test::spinEventLoop(std::chrono::milliseconds(600));
        QCOMPARE(server.count("GET", "/session/S1/source"), sourcesAfterDisconnect);
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
        expected.insert("appium:updatedWDABundleId", "com.x.WDA");
        expected.insert("appium:wdaLocalPort", 8101);
        expected.insert("appium:mjpegServerPort", 9101);
        QCOMPARE(DeviceManager::sessionCapabilities(device, u" \t "_s, u"\tcom.x.WDA "_s, 8101, 9101), expected);
    }

    void sessionReplyWithoutAnId()
    {
        Fixture fixture(FakeHttpServer::scenario(
            {wda::statusRoute(), wda::sessionRoute({wda::valueReply(QJsonObject()), FakeHttpServer::text(200, "not json")})}));
        IOSDevice device = fixture.manager.devices().at(0);
        const auto missing = test::awaitTask(fixture.manager.createSession(device, QString(), QString()));
        QCOMPARE(test::deviceManagerErrorCode(missing.exception), 7);
        QCOMPARE(*missing.error, uR"(WDA 会话创建失败：{"value":{}})"_s);

        const auto garbage = test::awaitTask(fixture.manager.createSession(device, QString(), QString()));
        QVERIFY(garbage.exception);
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
    }

    void refusedSessionShowsTheFriendlyMessage()
    {
        QFETCH(QString, reply);
        QFETCH(QString, shown);
        Fixture fixture(FakeHttpServer::scenario({wda::statusRoute(), wda::sessionRoute({FakeHttpServer::text(500, reply, "application/json")})}));
        QVERIFY(!fixture.connect());
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::failed(shown));
        // The state shows the short form, the log gets the reply itself, as it came.
        QVERIFY(fixture.manager.logText().endsWith(reply));
        QCOMPARE(fixture.manager.sessionID(), std::nullopt);
    }

    void friendlyMessageShortensLongDescriptions()
    {
        const QString long200 = QString(199, u'错') + u'!';
        QCOMPARE(DeviceManager::friendlyError(long200), QString(160, u'错') + u"…"_s);
        QCOMPARE(DeviceManager::friendlyError(QString(160, u'x')), QString(160, u'x'));
        // User-perceived characters: 161 flags are cut to 160 flags.
        QString flags;
        for (int i = 0; i < 161; ++i)
            flags += u"🇨🇳"_s;
        QCOMPARE(DeviceManager::friendlyError(flags), flags.left(160 * 4) + u"…"_s);
    }

    void requestFailuresAndTimeLimit()
    {
        QJsonObject slow = FakeHttpServer::text(200, "late");
        slow.insert("delayMs", 3000);
        Fixture fixture(FakeHttpServer::scenario(
            {FakeHttpServer::route("GET", "/x", {FakeHttpServer::bytes(500, "\xff\xfe", "text/plain"), FakeHttpServer::text(204, "")}),
             FakeHttpServer::route("GET", "/slow", {slow})}));
        const auto get = [&](const QString &path, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
            return test::awaitTask(fixture.manager.request(path, "GET", std::nullopt, limit));
        };
        // (A refusal's body as the message, with code 8: tst_wda_capture and the refused-session table.)
        QCOMPARE(get(u"/x"_s).error, u"HTTP 请求失败"_s);
        QCOMPARE(get(u"/x"_s).value, std::optional<QByteArray>(QByteArray()));
        // Past the time limit: the transport's own error, not code 8.
        const auto slowOutcome = get(u"/slow"_s, std::chrono::milliseconds(300));
        QVERIFY(slowOutcome.exception);
        QCOMPARE(test::deviceManagerErrorCode(slowOutcome.exception), -1);
    }
};

QTEST_MAIN(WdaSessionTest)
#include "tst_wda_session.moc"
