#include "devices/ios/DeviceManager.h"
#include "devices/ios/DeviceManagerError.h"

#include "support/AwaitTask.h"
#include "support/FakeHttpServer.h"
#include "support/IosManagerFixture.h"
#include "support/MjpegTestData.h"
#include "support/WdaScenario.h"

#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeHttpServer;
using Fixture = test::IosManagerFixture;
namespace wda = test::wda;
using std::chrono::milliseconds;

namespace {

QString source(const QList<QSize> &sizes)
{
    QString xml = u"<AppiumAUT>"_s;
    for (const QSize &size : sizes)
        xml += uR"(<XCUIElementTypeOther type="XCUIElementTypeOther" x="0" y="0" width="%1" height="%2"/>)"_s.arg(size.width()).arg(size.height());
    return xml + u"</AppiumAUT>"_s;
}

QJsonObject tree(const QList<QSize> &sizes) { return wda::valueReply(source(sizes)); }

QJsonObject screenshot(QSize size = QSize(131, 284))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(20, 120, 220));
    return wda::valueReply(QString::fromLatin1(test::pngBytes(image).toBase64()));
}

// Headers only, then silence: the stream neither delivers nor breaks.
const QJsonObject kQuietStream = wda::mjpegRoute({QByteArray("--BoundaryString\r\n")}, {60'000}, false);

// Session S1 (then S2) with these tree and screenshot replies, and an MJPEG stream.
QJsonObject scenario(const QJsonArray &trees = {tree({{393, 852}, {100, 40}})}, const QJsonArray &screenshots = {screenshot()},
                     const QJsonObject &mjpeg = kQuietStream,
                     const QJsonArray &sessions = {wda::sessionReply(u"S1"_s), wda::sessionReply(u"S2"_s)})
{
    QJsonArray routes{wda::statusRoute(), wda::sessionRoute(sessions), mjpeg};
    for (const QString &id : {u"S1"_s, u"S2"_s})
        routes << wda::screenshotRoute(id, screenshots) << wda::sourceRoute(id, trees) << wda::deleteRoute(id);
    return FakeHttpServer::scenario(routes);
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
        QCOMPARE(*outcome.error, u"WDA 会话不存在"_s);
        // The element refresh quietly does nothing without a session.
        QVERIFY(test::awaitTask(manager.refreshElements()).succeeded());
    }

    void unusableReplies_data()
    {
        QTest::addColumn<QJsonObject>("shot");
        QTest::addColumn<QJsonObject>("tree");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString shotText = u"无法解析 WDA 高清截图"_s;
        const QJsonObject good = tree({{10, 10}});
        QTest::newRow("not base64") << wda::valueReply("not base64!") << good << 3 << shotText;
        QTest::newRow("number") << wda::valueReply(42) << good << 3 << shotText;
        QTest::newRow("base64 of text") << wda::valueReply(QString::fromLatin1(QByteArray("hello").toBase64())) << good << 3 << shotText;
        QTest::newRow("array reply") << FakeHttpServer::json(200, QJsonArray{1, 2}) << good << 3 << shotText;
        QTest::newRow("not json") << FakeHttpServer::text(200, "<html>") << good << -1 << QString();
        QTest::newRow("refused") << FakeHttpServer::text(500, "{\"value\":{}}") << good << 8 << QString();
        QTest::newRow("tree of another shape") << screenshot() << wda::valueReply(QJsonObject()) << 4 << u"无法解析 WDA 元素树"_s;
    }
    void unusableReplies()
    {
        QFETCH(QJsonObject, shot);
        QFETCH(QJsonObject, tree);
        QFETCH(int, code);
        QFETCH(QString, message);
        Fixture f(scenario());
        QVERIFY(f.connect());
        const QList<DeviceElement> before = f.manager.elements();
        QCOMPARE(before.size(), 2);
        f.server->setScenario(scenario({tree}, {shot}));
        const auto outcome = test::awaitTask(f.manager.refreshHighQualityState(true));
        QCOMPARE(test::deviceManagerErrorCode(outcome.exception), code);
        if (!message.isEmpty())
            QCOMPARE(*outcome.error, message);
        QCOMPARE(f.manager.liveImage(), std::nullopt);
        if (code == 4)
            QCOMPARE(f.manager.elements(), before);
    }

    void screenSizeFollowsTheLargestElement()
    {
        Fixture f(scenario());
        QVERIFY(f.connect());
        QCOMPARE(f.manager.liveImage(), std::nullopt); // the connect refresh keeps the image to itself
        QCOMPARE(f.manager.pageSource(), source({{393, 852}, {100, 40}}));

        const auto full = test::awaitTask(f.manager.captureForComparison());
        QCOMPARE(full.value->screenSize, (SizeValue{393, 852}));
        QCOMPARE(full.value->elements.size(), 2);
        QCOMPARE(f.manager.liveImage()->size(), QSize(131, 284));

        // No elements: the screenshot's pixel size.
        f.server->setScenario(scenario({wda::valueReply("<AppiumAUT/>")}, {screenshot(QSize(90, 200))}));
        const auto empty = test::awaitTask(f.manager.refreshHighQualityState(false));
        QCOMPARE(empty.value->screenSize, (SizeValue{90, 200}));
        QVERIFY(f.manager.elements().isEmpty());
        QCOMPARE(f.manager.pageSource(), u"<AppiumAUT/>"_s);
        QCOMPARE(f.manager.liveImage()->size(), QSize(131, 284)); // updateImage false
        f.manager.disconnect();
        QVERIFY(f.manager.pageSource().isEmpty());
    }

    void captureWithoutSession()
    {
        const QByteArray frame = test::jpegFrame({50, 100}, QColor(200, 40, 40));
        Fixture f(FakeHttpServer::scenario({wda::mjpegRoute({test::mjpegPart(frame)})}));
        const auto none = test::awaitTask(f.manager.captureForComparison());
        QCOMPARE(test::deviceManagerErrorCode(none.exception), 1);
        QCOMPARE(*none.error, u"尚未连接 iPhone"_s);

        // A live image from the stream stands in.
        f.manager.startLiveStream();
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.liveImage().has_value(), 10000);
        const auto live = test::awaitTask(f.manager.captureForComparison());
        QCOMPARE(live.value->image.size(), QSize(50, 100));
        QCOMPARE(live.value->screenSize, (SizeValue{50, 100}));
        QVERIFY(live.value->elements.isEmpty());
        f.manager.disconnect();
        QCOMPARE(f.server->count("DELETE", "/session/S1"), 0);
    }

    void pollingFailuresAreLoggedAndPollingGoesOn()
    {
        Fixture f(scenario(), milliseconds(100));
        QVERIFY(f.connect());
        f.server->setScenario(scenario({FakeHttpServer::text(500, "boom")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().count(u"元素树刷新失败：boom\n"_s) >= 2, 10000);
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::connected());

        // Back to a good tree: polling publishes it.
        f.server->setScenario(scenario({tree({{5, 5}, {6, 6}, {7, 7}})}));
        QTRY_COMPARE_WITH_TIMEOUT(f.manager.elements().size(), 3, 10000);

        // A reply of another shape changes nothing and is no error.
        const qsizetype logSize = f.manager.logText().size();
        f.server->setScenario(scenario({wda::valueReply(7)}));
        const qsizetype sources = f.server->count("GET", "/session/S1/source");
        QTRY_VERIFY_WITH_TIMEOUT(f.server->count("GET", "/session/S1/source") >= sources + 2, 10000);
        QCOMPARE(f.manager.elements().size(), 3);
        QCOMPARE(f.manager.logText().size(), logSize);
    }

    void failedFirstRefreshLeavesTheSessionRunning()
    {
        const QByteArray frame = test::jpegFrame({30, 60}, QColor(40, 200, 40));
        Fixture f(scenario({tree({{10, 10}})}, {wda::valueReply("%%%")}, wda::mjpegRoute({test::mjpegPart(frame)})), milliseconds(100));
        QVERIFY(!f.connect());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::failed(u"无法解析 WDA 高清截图"_s));
        QVERIFY(f.manager.logText().endsWith(u"无法解析 WDA 高清截图"_s));
        QCOMPARE(f.manager.sessionID(), u"S1"_s);
        QVERIFY(f.manager.isHierarchyPolling());
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.liveImage().has_value(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.manager.elements().size(), 1, 10000);

        // A fresh listing reports the open session as connected; an empty one fails regardless.
        QVERIFY(test::awaitTask(f.manager.listDevices()).succeeded());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::connected());
        f.tools.setDeviceListing(QString());
        QVERIFY(test::awaitTask(f.manager.listDevices()).succeeded());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::failed(u"未发现已信任的 iPhone"_s));
        QCOMPARE(f.manager.sessionID(), u"S1"_s);
        f.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(f.server->count("DELETE", "/session/S1"), 1, 10000);
    }

    void lateRepliesOfAnEndedSessionPublishNothing()
    {
        Fixture f(scenario(), milliseconds(100));
        QVERIFY(f.connect());
        QJsonObject slowTree = tree({{5, 5}, {6, 6}, {7, 7}});
        slowTree.insert(u"delayMs"_s, 700);
        f.server->setScenario(scenario({slowTree}));

        // A capture and a poll are both waiting for the tree when the phone is disconnected.
        const qsizetype sources = f.server->count("GET", "/session/S1/source");
        auto capture = f.manager.captureForComparison();
        QTRY_VERIFY_WITH_TIMEOUT(f.server->count("GET", "/session/S1/source") >= sources + 2, 10000);
        f.manager.disconnect();
        const auto captured = test::awaitTask(std::move(capture));
        QCOMPARE(captured.value->elements.size(), 3); // the caller gets what it asked for
        test::spinEventLoop(milliseconds(1000));
        QVERIFY(f.manager.elements().isEmpty());
        QCOMPARE(f.manager.liveImage(), std::nullopt);
    }

    void brokenStreamGoesToTheLog()
    {
        Fixture f(scenario({tree({{10, 10}})}, {screenshot()}, FakeHttpServer::route("GET", "/", {FakeHttpServer::closeConnection()})));
        QVERIFY(f.connect());
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().contains(u"实时画面已断开："_s), 10000);
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::connected());
        QCOMPARE(f.manager.logText().count(u"实时画面已断开："_s), 1);
    }

    void reconnectReplacesTheSession()
    {
        Fixture f(scenario());
        QVERIFY(f.connect());
        QCOMPARE(f.manager.sessionID(), u"S1"_s);
        f.server->setScenario(scenario({tree({{20, 20}, {5, 5}, {1, 1}})}, {screenshot()}, kQuietStream, {wda::sessionReply(u"S2"_s)}));
        QVERIFY(f.connect());
        QCOMPARE(f.manager.sessionID(), u"S2"_s);
        QCOMPARE(f.manager.elements().size(), 3);
        QVERIFY(f.server->count("GET", "/session/S2/source") >= 1);
        QTRY_COMPARE_WITH_TIMEOUT(f.server->count("GET", "/"), 2, 10000); // stream restarted
        test::spinEventLoop(milliseconds(200));
        f.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(f.server->count("DELETE", "/session/S2"), 1, 10000);
        QCOMPARE(f.server->count("DELETE", "/session/S1"), 0);
    }

    void disconnectDuringConnectEndsTheAttempt()
    {
        QJsonObject slowSession = wda::sessionReply(u"S1"_s);
        slowSession.insert(u"delayMs"_s, 800);
        Fixture f(scenario({tree({{10, 10}})}, {screenshot()}, kQuietStream, {slowSession}));
        f.manager.connect(QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(f.manager.connectionState().message, u"正在启动 WDA，首次连接可能需要几分钟…"_s, 10000);
        f.manager.disconnect();
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::idle());
        // The session that arrives afterwards is ended, and nothing is started for it.
        QTRY_COMPARE_WITH_TIMEOUT(f.server->count("DELETE", "/session/S1"), 1, 10000);
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::idle());
        QCOMPARE(f.manager.sessionID(), std::nullopt);
        QVERIFY(!f.manager.isHierarchyPolling());
        QCOMPARE(f.server->count("GET", "/"), 0);
    }
};

QTEST_MAIN(WdaCaptureTest)
#include "tst_wda_capture.moc"
