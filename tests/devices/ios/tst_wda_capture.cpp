#include "devices/ios/DeviceManager.h"
#include "devices/ios/DeviceManagerError.h"

#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/IosManagerFixture.h"
#include "support/MjpegTestData.h"
#include "support/WdaScenario.h"

#include <QTest>

using namespace vantrel;
using test::FakeHttpServer;
using Fixture = test::IosManagerFixture;
namespace wda = test::wda;

namespace {

QString source(const QList<QSize> &sizes)
{
    QString xml = QStringLiteral("<AppiumAUT>");
    for (const QSize &size : sizes)
        xml += QStringLiteral(R"(<XCUIElementTypeOther type="XCUIElementTypeOther" x="0" y="0" width="%1" height="%2"/>)")
                   .arg(size.width())
                   .arg(size.height());
    return xml + QStringLiteral("</AppiumAUT>");
}

QImage screenImage(QSize size = QSize(131, 284))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(20, 120, 220));
    return image;
}

QJsonObject scenario(const QJsonObject &screenshot, const QJsonObject &sourceRoute, const QJsonObject &mjpeg,
                     const QJsonArray &sessions = {wda::sessionReply(QStringLiteral("S1"))})
{
    return FakeHttpServer::scenario({wda::statusRoute(), wda::sessionRoute(sessions), screenshot, sourceRoute,
                                     wda::deleteRoute(QStringLiteral("S1")), wda::deleteRoute(QStringLiteral("S2")), mjpeg});
}

QJsonObject quietStream()
{
    // Headers only, then silence: the stream neither delivers nor breaks.
    return wda::mjpegRoute({QByteArray("--BoundaryString\r\n")}, 60'000, false);
}

QJsonObject healthy(const QString &xml = source({{393, 852}, {100, 40}}))
{
    return scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()), wda::sourceRoute(QStringLiteral("S1"), xml),
                    quietStream());
}

} // namespace

class WdaCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void refreshNeedsASession()
    {
        DeviceManager manager;
        const auto outcome = test::awaitTask(manager.refreshHighQualityState(false));
        QCOMPARE(test::deviceManagerErrorCode(outcome.exception), 2);
        QCOMPARE(*outcome.error, QStringLiteral("WDA 会话不存在"));
        // The element refresh quietly does nothing without a session.
        QVERIFY(test::awaitTask(manager.refreshElements()).succeeded());
    }

    void unusableScreenshots_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<int>("code");
        QTest::newRow("not base64") << wda::valueReply(QStringLiteral("not base64!")) << 3;
        QTest::newRow("number") << wda::valueReply(42) << 3;
        QTest::newRow("base64 of text") << wda::valueReply(QString::fromLatin1(QByteArray("hello").toBase64())) << 3;
        QTest::newRow("array reply") << FakeHttpServer::json(200, QJsonArray{1, 2}) << 3;
        QTest::newRow("not json") << FakeHttpServer::text(200, QStringLiteral("<html>")) << -1;
        QTest::newRow("refused") << FakeHttpServer::text(500, QStringLiteral("{\"value\":{}}")) << 8;
    }

    void unusableScreenshots()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(int, code);
        FakeHttpServer server(healthy());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        QVERIFY(fixture.connect());
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), QJsonArray{reply}),
                                    wda::sourceRoute(QStringLiteral("S1"), source({{10, 10}})), quietStream()));
        const auto outcome = test::awaitTask(fixture.manager.refreshHighQualityState(true));
        QVERIFY(!outcome.succeeded());
        QCOMPARE(test::deviceManagerErrorCode(outcome.exception), code);
        if (code == 3)
            QCOMPARE(*outcome.error, QStringLiteral("无法解析 WDA 高清截图"));
        QCOMPARE(fixture.manager.liveImage(), std::nullopt);
    }

    void unusableSource()
    {
        FakeHttpServer server(healthy());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        QVERIFY(fixture.connect());
        const QList<DeviceElement> before = fixture.manager.elements();
        QCOMPARE(before.size(), 2);
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                    wda::sourceRoute(QStringLiteral("S1"), {wda::valueReply(QJsonObject())}), quietStream()));
        const auto outcome = test::awaitTask(fixture.manager.refreshHighQualityState(true));
        QCOMPARE(test::deviceManagerErrorCode(outcome.exception), 4);
        QCOMPARE(*outcome.error, QStringLiteral("无法解析 WDA 元素树"));
        QCOMPARE(fixture.manager.elements(), before);
        QCOMPARE(fixture.manager.liveImage(), std::nullopt);
    }

    void screenSizeFollowsTheLargestElement()
    {
        FakeHttpServer server(healthy());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        QVERIFY(fixture.connect());
        QCOMPARE(fixture.manager.liveImage(), std::nullopt); // the connect refresh keeps the image to itself
        QCOMPARE(fixture.manager.pageSource(), source({{393, 852}, {100, 40}}));

        const auto full = test::awaitTask(fixture.manager.captureForComparison());
        QVERIFY(full.succeeded());
        QCOMPARE(full.value->screenSize, (SizeValue{393, 852}));
        QCOMPARE(full.value->elements.size(), 2);
        QCOMPARE(fixture.manager.liveImage()->size(), QSize(131, 284));

        // No elements: the screenshot's pixel size.
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage(QSize(90, 200))),
                                    wda::sourceRoute(QStringLiteral("S1"), QStringLiteral("<AppiumAUT/>")), quietStream()));
        const auto empty = test::awaitTask(fixture.manager.refreshHighQualityState(false));
        QCOMPARE(empty.value->screenSize, (SizeValue{90, 200}));
        QVERIFY(fixture.manager.elements().isEmpty());
        QCOMPARE(fixture.manager.pageSource(), QStringLiteral("<AppiumAUT/>"));
        QCOMPARE(fixture.manager.liveImage()->size(), QSize(131, 284)); // updateImage false
        fixture.manager.disconnect();
        QVERIFY(fixture.manager.pageSource().isEmpty());
    }

    void captureWithoutSession()
    {
        const QByteArray frame = test::jpegFrame({50, 100}, QColor(200, 40, 40));
        FakeHttpServer server(FakeHttpServer::scenario({wda::mjpegRoute({test::mjpegPart(frame)})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        const auto none = test::awaitTask(fixture.manager.captureForComparison());
        QCOMPARE(test::deviceManagerErrorCode(none.exception), 1);
        QCOMPARE(*none.error, QStringLiteral("尚未连接 iPhone"));

        // A live image from the stream stands in.
        fixture.manager.startLiveStream();
        QTRY_VERIFY_WITH_TIMEOUT(fixture.manager.liveImage().has_value(), 10000);
        const auto live = test::awaitTask(fixture.manager.captureForComparison());
        QVERIFY(live.succeeded());
        QCOMPARE(live.value->image.size(), QSize(50, 100));
        QCOMPARE(live.value->screenSize, (SizeValue{50, 100}));
        QVERIFY(live.value->elements.isEmpty());
        fixture.manager.disconnect();
        QCOMPARE(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S1")), 0);
    }

    void pollingFailuresAreLoggedAndPollingGoesOn()
    {
        FakeHttpServer server(healthy());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(100));
        QVERIFY(fixture.connect());
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                    wda::sourceRoute(QStringLiteral("S1"), {FakeHttpServer::text(500, QStringLiteral("boom"))}),
                                    quietStream()));
        QTRY_VERIFY_WITH_TIMEOUT(fixture.manager.logText().count(QStringLiteral("元素树刷新失败：boom\n")) >= 2, 10000);
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::connected());

        // Back to a good tree: polling publishes it.
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                    wda::sourceRoute(QStringLiteral("S1"), source({{5, 5}, {6, 6}, {7, 7}})), quietStream()));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.manager.elements().size(), 3, 10000);

        // A reply of another shape changes nothing and is no error.
        const qsizetype logSize = fixture.manager.logText().size();
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                    wda::sourceRoute(QStringLiteral("S1"), {wda::valueReply(7)}), quietStream()));
        const qsizetype sources = test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source"));
        QTRY_VERIFY_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source")) >= sources + 2, 10000);
        QCOMPARE(fixture.manager.elements().size(), 3);
        QCOMPARE(fixture.manager.logText().size(), logSize);
        fixture.manager.disconnect();
    }

    void failedFirstRefreshLeavesTheSessionRunning()
    {
        const QByteArray frame = test::jpegFrame({30, 60}, QColor(40, 200, 40));
        FakeHttpServer server(scenario(wda::screenshotRoute(QStringLiteral("S1"), {wda::valueReply(QStringLiteral("%%%"))}),
                                       wda::sourceRoute(QStringLiteral("S1"), source({{10, 10}})),
                                       wda::mjpegRoute({test::mjpegPart(frame)})));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(100));
        QVERIFY(!fixture.connect());
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("无法解析 WDA 高清截图")));
        QVERIFY(fixture.manager.logText().endsWith(QStringLiteral("无法解析 WDA 高清截图")));
        QCOMPARE(fixture.manager.sessionID(), std::optional<QString>(QStringLiteral("S1")));
        QVERIFY(fixture.manager.isHierarchyPolling());
        QTRY_VERIFY_WITH_TIMEOUT(fixture.manager.liveImage().has_value(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.manager.elements().size(), 1, 10000);

        // A fresh listing reports the open session as connected; an empty one fails regardless.
        QVERIFY(test::awaitTask(fixture.manager.listDevices()).succeeded());
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::connected());
        fixture.tools.setDeviceListing(QString());
        QVERIFY(test::awaitTask(fixture.manager.listDevices()).succeeded());
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("未发现已信任的 iPhone")));
        QCOMPARE(fixture.manager.sessionID(), std::optional<QString>(QStringLiteral("S1")));
        fixture.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S1")), 1, 10000);
    }

    void lateRepliesOfAnEndedSessionPublishNothing()
    {
        FakeHttpServer server(healthy());
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port(), std::chrono::milliseconds(100));
        QVERIFY(fixture.connect());
        QJsonObject slowSource = wda::valueReply(source({{5, 5}, {6, 6}, {7, 7}}));
        slowSource.insert(QStringLiteral("delayMs"), 700);
        server.setScenario(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                    wda::sourceRoute(QStringLiteral("S1"), QJsonArray{slowSource}), quietStream()));

        // A capture and a poll are both waiting for the tree when the phone is disconnected.
        const qsizetype sources = test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source"));
        auto capture = fixture.manager.captureForComparison();
        QTRY_VERIFY_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/session/S1/source")) >= sources + 2, 10000);
        fixture.manager.disconnect();
        const auto captured = test::awaitTask(std::move(capture));
        QVERIFY(captured.succeeded());
        QCOMPARE(captured.value->elements.size(), 3); // the caller gets what it asked for
        test::spinEventLoop(std::chrono::milliseconds(1000));
        QVERIFY(fixture.manager.elements().isEmpty());
        QCOMPARE(fixture.manager.liveImage(), std::nullopt);
    }

    void brokenStreamGoesToTheLog()
    {
        FakeHttpServer server(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                       wda::sourceRoute(QStringLiteral("S1"), source({{10, 10}})),
                                       FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/"),
                                                             {FakeHttpServer::closeConnection()})));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        QVERIFY(fixture.connect());
        QTRY_VERIFY_WITH_TIMEOUT(fixture.manager.logText().contains(QStringLiteral("实时画面已断开：")), 10000);
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::connected());
        QCOMPARE(fixture.manager.logText().count(QStringLiteral("实时画面已断开：")), 1);
    }

    void reconnectReplacesTheSession()
    {
        QJsonObject routes = scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                      wda::sourceRoute(QStringLiteral("S1"), source({{10, 10}})), quietStream(),
                                      {wda::sessionReply(QStringLiteral("S1")), wda::sessionReply(QStringLiteral("S2"))});
        QJsonArray list = routes.value(QStringLiteral("routes")).toArray();
        list.append(wda::screenshotRoute(QStringLiteral("S2"), screenImage()));
        list.append(wda::sourceRoute(QStringLiteral("S2"), source({{20, 20}, {5, 5}})));
        routes.insert(QStringLiteral("routes"), list);
        FakeHttpServer server(routes);
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        QVERIFY(fixture.connect());
        QCOMPARE(fixture.manager.sessionID(), std::optional<QString>(QStringLiteral("S1")));
        QVERIFY(fixture.connect());
        QCOMPARE(fixture.manager.sessionID(), std::optional<QString>(QStringLiteral("S2")));
        QCOMPARE(fixture.manager.elements().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/")), 2, 10000); // stream restarted
        test::spinEventLoop(std::chrono::milliseconds(200));
        QCOMPARE(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S1")), 0);

        fixture.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S2")), 1, 10000);
        QCOMPARE(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S1")), 0);
    }

    void disconnectDuringConnectEndsTheAttempt()
    {
        QJsonObject slowSession = wda::sessionReply(QStringLiteral("S1"));
        slowSession.insert(QStringLiteral("delayMs"), 800);
        FakeHttpServer server(scenario(wda::screenshotRoute(QStringLiteral("S1"), screenImage()),
                                       wda::sourceRoute(QStringLiteral("S1"), source({{10, 10}})), quietStream(), {slowSession}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        Fixture fixture(server.port());
        fixture.manager.connect(QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(fixture.manager.connectionState().message,
                                  QStringLiteral("正在启动 WDA，首次连接可能需要几分钟…"), 10000);
        fixture.manager.disconnect();
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::idle());
        // The session that arrives afterwards is ended, and nothing is started for it.
        QTRY_COMPARE_WITH_TIMEOUT(test::requestCount(server, QStringLiteral("DELETE"), QStringLiteral("/session/S1")), 1, 10000);
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::idle());
        QCOMPARE(fixture.manager.sessionID(), std::nullopt);
        QVERIFY(!fixture.manager.isHierarchyPolling());
        QCOMPARE(test::requestCount(server, QStringLiteral("GET"), QStringLiteral("/")), 0);
    }
};

QTEST_MAIN(WdaCaptureTest)
#include "tst_wda_capture.moc"
