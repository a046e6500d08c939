// The iPhone manager against a fake Appium/WebDriverAgent on loopback: session, capture, element
// polling, live stream and disconnection.
#include "devices/ios/DeviceManager.h"

#include "support/FakeAppium.h"
#include "support/Golden.h"
#include "support/IosManagerFixture.h"
#include "support/MjpegTestData.h"
#include "support/TestImages.h"
#include "support/WdaScenario.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeHttpServer;
using Fixture = test::IosManagerFixture;
namespace wda = test::wda;
using std::chrono::milliseconds;

namespace {

// A page source of elements of these sizes, as WDA answers it.
QJsonObject tree(const QList<QSize> &sizes)
{
    QString xml = u"<AppiumAUT>"_s;
    for (const QSize &size : sizes)
        xml += uR"(<XCUIElementTypeOther type="XCUIElementTypeOther" x="0" y="0" width="%1" height="%2"/>)"_s.arg(size.width()).arg(size.height());
    return wda::valueReply(xml + u"</AppiumAUT>"_s);
}

QJsonObject delayed(QJsonObject reply, int ms)
{
    reply.insert(u"delayMs"_s, ms);
    return reply;
}

// Headers only, then silence: the stream neither delivers nor breaks.
const QJsonObject kQuietStream = wda::mjpegRoute({QByteArray("--BoundaryString\r\n")}, {60'000}, false);

// Sessions S1 then S2 with these tree and screenshot replies, and an MJPEG stream.
QJsonObject scenario(const QJsonArray &trees = {tree({{393, 852}, {100, 40}})}, const QJsonArray &screenshots = {wda::screenshotReply()},
                     const QJsonObject &mjpeg = kQuietStream,
                     const QJsonArray &sessions = {wda::sessionReply(u"S1"_s), wda::sessionReply(u"S2"_s)})
{
    QJsonArray routes{wda::statusRoute(), wda::sessionRoute(sessions), mjpeg};
    for (const QString &id : {u"S1"_s, u"S2"_s})
        routes << wda::screenshotRoute(id, screenshots) << wda::sourceRoute(id, trees) << wda::deleteRoute(id);
    return FakeHttpServer::scenario(routes);
}

} // namespace

class WdaSessionTest : public QObject {
    Q_OBJECT

private slots:
    // Without a session, connect, unusable replies, capture, reconnect with other settings,
    // disconnect, refused sessions. The states shown, the outcomes and the session requests are
    // compared with tests/data/golden/ios-session.txt.
    void sessionLifetime()
    {
        Fixture f(scenario());
        DeviceManager &manager = f.manager;
        FakeHttpServer &server = *f.server;
        // The states shown, and the manager's state and each outcome at every step, go to the transcript.
        QString transcript;
        QObject recording; // ends the recording before `transcript` goes, even when a check fails early
        connect(&manager, &DeviceManager::connectionStateChanged, &recording, [&] {
            static const char *kinds[] = {"idle", "preparing", "connected", "failed"};
            transcript += u"state: "_s + QLatin1String(kinds[int(manager.connectionState().kind)]) + u' '
                + manager.connectionState().message + u'\n';
        });
        const auto note = [&](const QString &step) {
            transcript += step + u": session "_s + manager.sessionID().value_or(u"none"_s) + u", "_s
                + QString::number(manager.elements().size()) + u" elements, live image "_s
                + (manager.liveImage() ? u"%1x%2"_s.arg(manager.liveImage()->width()).arg(manager.liveImage()->height()) : u"none"_s)
                + u", source "_s + manager.pageSource() + u'\n';
        };
        const auto outcome = [&](const QString &step, const auto &result) {
            note(step);
            if (result.value)
                transcript += u"  -> screen %1x%2, %3 elements\n"_s.arg(result.value->screenSize.width).arg(result.value->screenSize.height)
                                  .arg(result.value->elements.size());
            else
                transcript += u"  -> error %1: %2\n"_s.arg(test::appErrorCode(result.exception, DeviceManagerError::kDomain)).arg(result.error.value_or(u"-"_s));
        };

        // Without a session (and no live image) refreshing and capturing fail; refreshing the
        // elements quietly does nothing. None of it, nor a connection without a usable phone, asks anything.
        outcome(u"refresh without session"_s, test::awaitTask(manager.refreshHighQualityState(false)));
        outcome(u"capture without session"_s, test::awaitTask(manager.captureForComparison()));
        QVERIFY(test::awaitTask(manager.refreshElements()).succeeded());
        for (const std::optional<QString> &selection : {std::optional<QString>(Fixture::kOfflineUdid), std::optional<QString>(),
                                                         std::optional<QString>(u"unknown"_s)}) {
            manager.setSelectedDeviceID(selection);
            manager.connect(QString(), QString());
            QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"请先选择在线 iPhone"_s));
        }
        QVERIFY(server.requests().isEmpty());
        manager.setSelectedDeviceID(Fixture::kUdid);

        QCOMPARE(test::awaitTask(manager.connectAndWait(u" TEAM42\t"_s, QString())).value, true);
        QVERIFY(!manager.startedAppium());
        QCOMPARE(server.count("GET", "/session/S1/screenshot"), 1);
        note(u"connected"_s); // with the tree, but not yet the image
        // Replies that cannot be used fail the refresh and publish nothing.
        const QJsonObject good = tree({{10, 10}});
        const QList<std::pair<QJsonObject, QJsonObject>> unusable{
            {wda::valueReply("not base64!"), good}, {wda::valueReply(42), good},
            {wda::valueReply(QString::fromLatin1(QByteArray("hello").toBase64())), good},
            {FakeHttpServer::json(200, QJsonArray{1, 2}), good}, {FakeHttpServer::text(200, "<html>"), good},
            {FakeHttpServer::text(500, "{\"value\":{}}"), good}, {wda::screenshotReply(), wda::valueReply(QJsonObject())},
        };
        for (const auto &[shot, shape] : unusable) {
            server.setScenario(scenario({shape}, {shot}));
            outcome(u"unusable reply"_s, test::awaitTask(manager.refreshHighQualityState(true)));
        }
        // The screen size is the largest element's; with no elements, the screenshot's.
        server.setScenario(scenario());
        outcome(u"capture"_s, test::awaitTask(manager.captureForComparison()));
        server.setScenario(scenario({wda::valueReply("<AppiumAUT/>")}, {wda::screenshotReply(QSize(90, 200))}));
        outcome(u"refresh keeping the image"_s, test::awaitTask(manager.refreshHighQualityState(false)));

        // Connecting again replaces the session (without ending the old one) and restarts the stream.
        manager.setWdaPort(8101);
        server.setScenario(scenario({tree({{20, 20}, {5, 5}, {1, 1}})}, {wda::screenshotReply()}, kQuietStream, {wda::sessionReply(u"S2"_s)}));
        QVERIFY(test::awaitTask(manager.connectAndWait(u" \t "_s, u"\tcom.x.WDA "_s)).value.value_or(false));
        note(u"reconnected"_s);
        QTRY_COMPARE_WITH_TIMEOUT(server.count("GET", "/"), 2, 10000);
        manager.disconnect();
        note(u"disconnected"_s);
        QTRY_COMPARE_WITH_TIMEOUT(server.count("DELETE", "/session/S2"), 1, 10000);
        QCOMPARE(server.count("DELETE", "/session/S1"), 0);
        for (const QJsonObject &request : server.requests(u"/session"_s))
            if (request["method"].toString() == u"POST"_s)
                transcript += u"POST /session ("_s + request["headers"]["content-type"].toString() + u")\n"_s
                    + QString::fromUtf8(QJsonDocument::fromJson(request["body"].toString().toUtf8()).toJson());

        // Refused sessions: the state says what to do, the log gets the reply itself, as it came.
        const QStringList refusals{uR"({"value":{"error":"session not created","message":"Unknown device or simulator UDID: '0000'"}})"_s,
                                   uR"({"value":{"message":"xcodebuild failed with code 65"}})"_s,
                                   uR"({"value":{"message":"WDA STARTUP TIMEOUT after 60000ms"}})"_s, uR"({"value":{"message":"nope"}})"_s};
        QJsonArray replies;
        for (const QString &refusal : refusals)
            replies << FakeHttpServer::text(500, refusal, "application/json");
        replies << wda::valueReply(QJsonObject()) << FakeHttpServer::text(200, "not json");
        server.setScenario(FakeHttpServer::scenario(
            {wda::statusRoute(), wda::sessionRoute(replies),
             FakeHttpServer::route("GET", "/x", {FakeHttpServer::bytes(500, "\xff\xfe", "text/plain"), FakeHttpServer::text(204, "")}),
             FakeHttpServer::route("GET", "/slow", {delayed(FakeHttpServer::text(200, "late"), 3000)})}));
        for (const QString &reply : refusals) {
            QVERIFY(!f.connect());
            QVERIFY(manager.logText().endsWith(reply));
            note(u"refused"_s);
        }
        transcript.replace(QString::number(server.port()), u"<port>"_s);
        QVERIFY(test::compareWithGolden(u"ios-session.txt"_s, transcript));

        const IOSDevice device = manager.devices().at(0);
        const auto missing = test::awaitTask(manager.createSession(device, QString(), QString()));
        QCOMPARE(test::appErrorCode(missing.exception, DeviceManagerError::kDomain), 7);
        QCOMPARE(*missing.error, uR"(WDA 会话创建失败：{"value":{}})"_s);
        const auto garbage = test::awaitTask(manager.createSession(device, QString(), QString()));
        QVERIFY(garbage.exception && test::appErrorCode(garbage.exception, DeviceManagerError::kDomain) == -1); // the JSON error passes through
        const auto get = [&](const QString &path, milliseconds limit = std::chrono::seconds(5)) {
            return test::awaitTask(manager.request(path, "GET", std::nullopt, limit));
        };
        QCOMPARE(get(u"/x"_s).error, u"HTTP 请求失败"_s); // a body that is not text
        QCOMPARE(get(u"/x"_s).value, std::optional<QByteArray>(QByteArray()));
        // Past the time limit: the transport's own error, not code 8.
        const auto slowOutcome = get(u"/slow"_s, milliseconds(300));
        QVERIFY(slowOutcome.exception && test::appErrorCode(slowOutcome.exception, DeviceManagerError::kDomain) == -1);

        // Long descriptions are cut to 160 user-perceived characters: 161 flags to 160 flags.
        QCOMPARE(DeviceManager::friendlyError(QString(199, u'错') + u'!'), QString(160, u'错') + u"…"_s);
        QCOMPARE(DeviceManager::friendlyError(QString(160, u'x')), QString(160, u'x'));
        const QString flags = u"🇨🇳"_s.repeated(161);
        QCOMPARE(DeviceManager::friendlyError(flags), flags.left(160 * 4) + u"…"_s);
    }

    // Without a session a live image stands in for a capture; a disconnection during a connection
    // attempt ends it. Then a first refresh that fails, polling through failures, a broken stream,
    // and a disconnection while requests are under way.
    void streamAndPolling()
    {
        Fixture f(scenario({tree({{10, 10}})}, {wda::screenshotReply()}, wda::mjpegRoute({test::mjpegPart(test::jpegFrame({50, 100}, Qt::red))}),
                           {delayed(wda::sessionReply(u"S1"_s), 800)}),
                  milliseconds(100));
        f.manager.startLiveStream();
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.liveImage().has_value(), 10000);
        const auto live = test::awaitTask(f.manager.captureForComparison());
        QCOMPARE(live.value->image.size(), QSize(50, 100));
        QCOMPARE(live.value->screenSize, (SizeValue{50, 100}));
        QVERIFY(live.value->elements.isEmpty());

        QSignalSpy images(&f.manager, &DeviceManager::liveImageChanged);
        f.manager.disconnect();
        const qsizetype imageChanges = images.size();
        test::spinEventLoop(milliseconds(500));
        QCOMPARE(images.size(), imageChanges); // no frame of the stopped stream comes back
        QCOMPARE(f.manager.liveImage(), std::nullopt);
        QCOMPARE(f.server->count("DELETE", "/session/S1"), 0);

        const qsizetype streams = f.server->count("GET", "/");
        f.manager.connect(QString(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(f.manager.connectionState().message, u"正在启动 WDA，首次连接可能需要几分钟…"_s, 10000);
        f.manager.disconnect();
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::idle());
        // The session that arrives afterwards is ended, and nothing is started for it.
        QTRY_COMPARE_WITH_TIMEOUT(f.server->count("DELETE", "/session/S1"), 1, 10000);
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::idle());
        QCOMPARE(f.manager.sessionID(), std::nullopt);
        QVERIFY(!f.manager.isHierarchyPolling());
        QCOMPARE(f.server->count("GET", "/"), streams);

        // A first refresh that fails, polling through failures, a broken stream.
        f.server->setScenario(
            scenario({tree({{10, 10}})}, {wda::valueReply("%%%")}, FakeHttpServer::route("GET", "/", {FakeHttpServer::closeConnection()})));
        QVERIFY(!f.connect());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::failed(u"无法解析 WDA 高清截图"_s));
        QVERIFY(f.manager.logText().endsWith(u"无法解析 WDA 高清截图"_s));
        // The session stays, and so do polling and the stream.
        QCOMPARE(f.manager.sessionID(), u"S1"_s);
        QVERIFY(f.manager.isHierarchyPolling());
        QTRY_COMPARE_WITH_TIMEOUT(f.manager.elements().size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().contains(u"实时画面已断开："_s), 10000);
        // A fresh listing reports the open session as connected.
        QVERIFY(test::awaitTask(f.manager.listDevices()).succeeded());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::connected());

        f.server->setScenario(scenario({FakeHttpServer::text(500, "boom")}));
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().count(u"元素树刷新失败：boom\n"_s) >= 2, 10000);
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::connected());
        QCOMPARE(f.manager.logText().count(u"实时画面已断开："_s), 1); // reported once, never retried

        // Back to a good tree: polling publishes it.
        f.server->setScenario(scenario({tree({{5, 5}, {6, 6}, {7, 7}})}));
        QTRY_COMPARE_WITH_TIMEOUT(f.manager.elements().size(), 3, 10000);

        // A reply of another shape changes nothing and is no error.
        const qsizetype logSize = f.manager.logText().size();
        f.server->setScenario(scenario({wda::valueReply(7)}));
        qsizetype sources = f.server->count("GET", "/session/S1/source");
        QTRY_VERIFY_WITH_TIMEOUT(f.server->count("GET", "/session/S1/source") >= sources + 2, 10000);
        QCOMPARE(f.manager.elements().size(), 3);
        QCOMPARE(f.manager.logText().size(), logSize);
        // An empty listing fails the state even with a session open.
        f.tools.setDeviceListing(QString());
        QVERIFY(test::awaitTask(f.manager.listDevices()).succeeded());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::failed(u"未发现已信任的 iPhone"_s));
        QCOMPARE(f.manager.sessionID(), u"S1"_s);

        // A capture and a poll both wait for a slow tree when the phone is disconnected: the
        // caller gets its capture, the manager publishes nothing, polling stops.
        f.server->setScenario(scenario({delayed(tree({{5, 5}, {6, 6}, {7, 7}, {8, 8}}), 700)}));
        sources = f.server->count("GET", "/session/S1/source");
        auto capture = f.manager.captureForComparison();
        QTRY_VERIFY_WITH_TIMEOUT(f.server->count("GET", "/session/S1/source") >= sources + 2, 10000);
        f.manager.disconnect();
        QVERIFY(!f.manager.isHierarchyPolling());
        QCOMPARE(test::awaitTask(std::move(capture)).value->elements.size(), 4);
        sources = f.server->count("GET", "/session/S1/source");
        test::spinEventLoop(milliseconds(1000));
        QVERIFY(f.manager.elements().isEmpty());
        QCOMPARE(f.manager.liveImage(), std::nullopt);
        QCOMPARE(f.server->count("GET", "/session/S1/source"), sources);
        QTRY_COMPARE_WITH_TIMEOUT(f.server->count("DELETE", "/session/S1"), 2, 10000);
    }

    // No server on the port, and an appium that is missing, cannot be started, or exits at once;
    // a disconnection while appium is looked up; then a server the manager starts and ends itself,
    // and one left running by someone else, which it uses and leaves running.
    void appiumServers()
    {
        test::FakeAppium appium(scenario());
        const int port = test::freeLocalPort();
        Fixture f(port);
        QVERIFY(!f.connect());
        const QString text = u"未找到 Appium。请先运行 npm install -g appium，并安装 xcuitest 驱动。"_s;
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::failed(text));
        QVERIFY(f.manager.logText().endsWith(text));
        QCOMPARE(f.tools.calls(u"shell"_s), QStringList{u"-lc command -v appium"_s});

        QTemporaryDir dir;
        f.tools.setAppiumPath(test::writeFile(dir.filePath(u"appium"_s), "#!/bin/sh\n")); // not executable
        QVERIFY(!f.connect());
        const DeviceConnectionState failed = f.manager.connectionState();
        QVERIFY(failed.kind == DeviceConnectionState::Kind::failed && failed.message != text && !failed.message.isEmpty());
        QVERIFY(f.manager.logText().endsWith(failed.message) && !f.manager.startedAppium());

        f.tools.setAppiumPath(test::FakeIosTools::fakePath(u"appium"_s));
        // Slow probes would show: the loop must stop after the first failed probe once the child is gone.
        f.manager.setTiming({std::chrono::hours(1), std::chrono::milliseconds(400)});
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(test::awaitTask(f.manager.ensureAppiumRunning()).error, u"Appium 启动失败，请在环境诊断中查看详情"_s);
        QVERIFY2(timer.elapsed() < 10'000, "the readiness loop went on after the server child had exited");
        QVERIFY(f.manager.startedAppium());
        // The child's output went to the log, and it was started with the server arguments.
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().contains(u"fake appium: cannot serve\n"_s), 5000);
        QCOMPARE(f.tools.calls(u"appium"_s), QStringList{u"--address 127.0.0.1 --port %1 --base-path /"_s.arg(port)});
        f.manager.disconnect();
        QVERIFY(!f.manager.startedAppium());
        f.manager.setTiming({std::chrono::hours(1), std::chrono::milliseconds(50)});

        // A login shell that takes its time, and says when it has been asked; the user disconnects meanwhile.
        f.tools.setAppiumPath(test::FakeAppium::programPath());
        const QString shell = test::writeFile(dir.filePath(u"slow-shell"_s),
                                              "#!/bin/sh\ntouch \"$0.asked\"\nsleep 1\nexec '"
                                                  + test::FakeIosTools::fakePath(u"login-shell"_s).toUtf8() + "' \"$@\"\n",
                                              QFile::ReadOwner | QFile::ExeOwner);
        qputenv("VANTREL_SHELL", shell.toUtf8()); // restored by the fixture
        f.manager.connect(QString(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(shell + u".asked"_s), 10'000);
        f.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(f.tools.calls(u"shell"_s).size(), 4, 10'000);
        test::spinEventLoop(milliseconds(500)); // room for the attempt to go on, were it to
        QVERIFY(!f.manager.startedAppium());
        QVERIFY(appium.serverStarts().isEmpty());
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::idle());

        qputenv("VANTREL_SHELL", test::FakeIosTools::fakePath(u"login-shell"_s).toUtf8());
        f.manager.setMjpegPort(test::freeLocalPort());
        QVERIFY(f.connect());
        QVERIFY(f.manager.startedAppium() && f.manager.appiumProcess());
        const QList<QJsonObject> starts = appium.serverStarts();
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts[0]["args"].toArray(),
                 QJsonArray::fromStringList({"--address", "127.0.0.1", "--port", QString::number(port), "--base-path", "/"}));
        // The application's own environment, not the tool environment.
        QCOMPARE(starts[0]["env"]["PATH"].toString(), qEnvironmentVariable("PATH"));
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().contains(u"[Appium] Welcome to fake Appium"_s), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().contains(u"fake diagnostics on stderr"_s), 5000);

        // A second connection reuses the running server.
        QVERIFY(f.connect());
        QCOMPARE(appium.serverStarts().size(), 1);

        QPointer<QProcess> child = f.manager.appiumProcess();
        f.manager.disconnect();
        QVERIFY(!f.manager.startedAppium() && !f.manager.appiumProcess());
        QTRY_VERIFY_WITH_TIMEOUT(!child, 10000); // ended and released
        QVERIFY(!test::portAnswers(port));

        QVERIFY(appium.startLeftoverServer(port));
        QVERIFY(f.connect());
        QVERIFY(!f.manager.startedAppium());
        QCOMPARE(f.tools.calls(u"shell"_s).size(), 5); // no lookup was needed this time
        f.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(appium.http().count("DELETE", "/session/S2"), 1, 10000);
        QVERIFY(test::portAnswers(port));
        QCOMPARE(appium.leftoverServer().state(), QProcess::Running);
    }

    void stoppedServerEndsWithItsWholeGroup_data()
    {
        QTest::addColumn<int>("shutdownMs");
        QTest::addColumn<bool>("managerGoesAtOnce"); // as in the command line, which ends right after
        QTest::newRow("shuts down in time") << 800 << false;
        QTest::newRow("shuts down in time, manager destroyed") << 800 << true;
        QTest::newRow("ignores SIGTERM, manager destroyed") << 60'000 << true;
    }
    void stoppedServerEndsWithItsWholeGroup()
    {
        QFETCH(int, shutdownMs);
        QFETCH(bool, managerGoesAtOnce);
        // Live members of a process group, from /proc/PID/stat: " state ppid pgrp ..." after "pid (name)"; a zombie counts as gone.
        const auto members = [](qint64 group) {
            int count = 0;
            for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                QFile file(QStringLiteral("/proc/%1/stat").arg(entry));
                const QStringList stat = file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u')', -1).split(u' ', Qt::SkipEmptyParts)
                                                                        : QStringList();
                count += stat.value(2).toLongLong() == group && stat.value(0) != u"Z";
            }
            return count;
        };
        test::FakeAppium appium(scenario());
        test::EnvironmentOverride environment;
        environment.set("FAKE_APPIUM_TERM_DELAY_MS", QByteArray::number(shutdownMs));
        environment.set("FAKE_APPIUM_CHILD", "1");
        auto manager = std::make_unique<DeviceManager>();
        manager->setAppiumPort(test::freeLocalPort());
        QString log;
        connect(manager.get(), &DeviceManagerBase::logTextChanged, this, [&log, raw = manager.get()] { log = raw->logText(); });
        QVERIFY(test::awaitTask(manager->ensureAppiumRunning()).succeeded());
        const qint64 server = manager->appiumProcess()->processId();
        QTRY_COMPARE_WITH_TIMEOUT(members(server), 2, 5000); // it leads a group of its own, with its helper
        manager->disconnect();
        if (managerGoesAtOnce)
            manager.reset(); // ends the server (a wait within its grace): nothing is left to do it later
        QTRY_COMPARE_WITH_TIMEOUT(members(server), 0, 10'000);
        QVERIFY2(log.contains(QStringLiteral("[Appium] Received SIGTERM - shutting down\n")), qPrintable(log));
        QCOMPARE(log.contains(QStringLiteral("[Appium] Closed the server\n")),
                 shutdownMs < AppiumServerProcess::kShutdownGrace.count());
    }
};

QTEST_MAIN(WdaSessionTest)
#include "tst_wda_session.moc"
