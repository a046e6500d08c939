// The Appium fallback of the Android manager against the fake adb and the fake appium: the switch
// from uiautomator, the server it starts, the session, the page-source replies, time-outs and the
// cool-down, and the end of it all at disconnect.
#include "support/AndroidFixture.h"
#include "support/FakeAppium.h"
#include "support/WdaScenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString kSerial = AndroidFixture::kSerial;
const QString kSession = u"a1b2-session"_s;
const QString kSourcePath = u"/session/a1b2-session/source"_s;
const QString kSource =
    u"<hierarchy rotation='0' width='1080' height='2400'><android.widget.FrameLayout class='android.widget.FrameLayout' "
    "bounds='[0,0][1080,2400]'><android.widget.TextView class='android.widget.TextView' text='动态' "
    "resource-id='app:id/live' bounds='[10,20][300,90]'/></android.widget.FrameLayout></hierarchy>"_s;

QJsonObject scenario(const QJsonObject &session = wda::sessionReply(kSession), int sourceDelayMs = 0)
{
    QJsonObject source = wda::valueReply(kSource);
    source.insert(u"delayMs"_s, sourceDelayMs);
    return FakeHttpServer::scenario(
        {wda::statusRoute(), wda::sessionRoute({session}), wda::sourceRoute(kSession, {source}), wda::deleteRoute(kSession)});
}

// The fixture with a uiautomator that cannot dump, and a manager on a free Appium port.
struct Bench {
    AndroidFixture f{true};
    int port = freeLocalPort();
    std::unique_ptr<AndroidDeviceManager> manager;
    Bench()
    {
        f.adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(u"ERROR: could not get idle state.\n"_s, u"Killed\n"_s, 137)});
        manager = f.listedManager();
        manager->setAppiumPort(port);
    }
    ~Bench()
    {
        manager->disconnect();
        if (!waitFor([&] { return !portAnswers(port); }))
            qWarning("the Appium server outlived its manager");
    }
};

} // namespace

class AndroidAppiumTest : public QObject {
    Q_OBJECT

private slots:
    void fallbackEndToEnd()
    {
        FakeAppium appium(scenario());
        Bench b;
        auto &manager = *b.manager;
        const auto read = awaitTask(manager.refreshHierarchy());
        QVERIFY2(read.succeeded(), qPrintable(read.error.value_or(QString())));
        QCOMPARE(manager.elements().size(), 2);
        QCOMPARE(manager.elements()[1].id, u"app:id/live"_s);
        QCOMPARE(manager.appiumSessionID(), kSession);
        QVERIFY(manager.logText().contains(u"系统 uiautomator 不可用，切换到 Appium 无等待模式：ERROR: could not get idle state.\nKilled\n\n"_s));
        QVERIFY(waitFor([&] { return manager.logText().contains(u"[Appium] fake diagnostics on stderr"_s); }));
        QVERIFY(manager.logText().contains(u"[Appium] Welcome to fake Appium on port "_s));

        // The server's exact command line and the tool environment.
        const QList<QJsonObject> starts = appium.serverStarts();
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts[0]["args"].toArray(),
                 QJsonArray::fromStringList({"--address", "127.0.0.1", "--port", QString::number(b.port), "--base-path", "/",
                                             "--session-override", "--log-no-colors"}));
        QVERIFY(starts[0]["env"]["PATH"].toString().startsWith(b.f.home.path() + u"/.local/npm-global/bin:"_s));

        // The session request: the capabilities as JSON.
        const QJsonObject create = appium.http().requests(u"/session"_s).first();
        QCOMPARE(create["headers"]["content-type"].toString(), u"application/json"_s);
        QCOMPARE(QJsonDocument::fromJson(create["body"].toString().toUtf8()).object(), QJsonDocument::fromJson(R"({"capabilities":{"alwaysMatch":{
            "platformName":"Android","appium:automationName":"UiAutomator2","appium:udid":"R58N12",
            "appium:autoLaunch":false,"appium:noReset":true,"appium:newCommandTimeout":3600,
            "appium:systemPort":8231,"appium:ignoreHiddenApiPolicyError":true,
            "appium:settings[waitForIdleTimeout]":0},"firstMatch":[{}]}})").object());

        // From now on every read goes through Appium; uiautomator is not asked again.
        const int dumps = b.f.adb->callCount(FakeAdb::dump(kSerial));
        QVERIFY(awaitTask(manager.refreshHierarchy()).succeeded());
        QCOMPARE(b.f.adb->callCount(FakeAdb::dump(kSerial)), dumps);
        QCOMPARE(appium.http().requests(kSourcePath).size(), 2);

        // Disconnect deletes the session and ends the server this object started.
        manager.disconnect();
        QVERIFY(!manager.appiumSessionID() && !manager.startedAppium() && !manager.prefersAppiumHierarchy());
        QVERIFY(waitFor([&] { return appium.http().count(u"DELETE"_s, u"/session/"_s + kSession) == 1; }));
    }

    void leftoverServerIsReplaced()
    {
        FakeAppium appium(scenario());
        Bench b;
        QVERIFY(appium.startLeftoverServer(b.port));
        QVERIFY(awaitTask(b.manager->ensureAppiumRunning()).succeeded());
        QVERIFY(b.manager->logText().contains(u"发现上次遗留的专用 Appium 服务，正在使用完整 Android SDK 环境重新启动\n"_s));
        QVERIFY(appium.leftoverServer().state() == QProcess::NotRunning || appium.leftoverServer().waitForFinished(5000));
        QCOMPARE(appium.serverStarts().size(), 2); // the leftover, then ours
        // Once prepared, a server that answers is simply used.
        QVERIFY(awaitTask(b.manager->ensureAppiumRunning()).succeeded());
        QCOMPARE(appium.serverStarts().size(), 2);
    }

    void failures_data()
    {
        QTest::addColumn<QJsonObject>("session");
        QTest::addColumn<QByteArray>("appiumFailure"); // FAKE_APPIUM_FAIL, or "none" for no appium at all
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("no appium") << wda::sessionReply(kSession) << QByteArray("none") << 12
                                   << "当前页面持续刷新，需要安装 Appium 与 UiAutomator2：npm install -g appium && appium driver install uiautomator2";
        QTest::newRow("server exits") << wda::sessionReply(kSession) << QByteArray("1") << 13 << "Appium 启动失败，请查看 Android 环境诊断";
        QTest::newRow("empty session") << wda::valueReply(QJsonObject()) << QByteArray() << 11 << "Appium Android 会话创建失败：{\"value\":{}}";
        QTest::newRow("no SDK") << wda::valueReply(QJsonObject{{"error", "session not created"},
                                                               {"message", "An unknown server-side error occurred: Neither ANDROID_HOME "
                                                                           "nor ANDROID_SDK_ROOT environment variable was exported"}},
                                                   500)
                                << QByteArray() << 14 << "Appium 未获得 Android SDK 路径，请安装新版工具并重新连接";
    }
    void failures()
    {
        QFETCH(QJsonObject, session);
        QFETCH(QByteArray, appiumFailure);
        QFETCH(int, code);
        QFETCH(QString, message);
        FakeAppium appium(scenario(session));
        Bench b;
        if (appiumFailure == "none")
            appium.environment().unset("VANTREL_APPIUM");
        else if (!appiumFailure.isEmpty())
            appium.environment().set("FAKE_APPIUM_FAIL", appiumFailure);
        QElapsedTimer timer;
        timer.start();
        const auto outcome = awaitTask(b.manager->refreshHierarchyViaAppium());
        QCOMPARE(outcome.error, message);
        QCOMPARE(appErrorCode(outcome.exception), code);
        QVERIFY(!b.manager->appiumSessionID());
        QVERIFY2(timer.elapsed() < 10'000, "a server that died must not be polled sixty times");
    }

    void pageSourceReplies()
    {
        // The session ID at the top level of the reply, not inside "value".
        FakeAppium appium(FakeHttpServer::scenario(
            {wda::statusRoute(), wda::sessionRoute({FakeHttpServer::json(200, QJsonObject{{"value", QJsonObject{{"ready", true}}}, {"sessionId", kSession}})}),
             wda::sourceRoute(kSession, {wda::valueReply("<AppiumAUT/>"), wda::valueReply("<hierarchy rotation='0'/>"),
                                         FakeHttpServer::text(200, "not json"), wda::valueReply(kSource)}),
             wda::deleteRoute(kSession)}));
        Bench b;
        AndroidDeviceManager unlisted;
        unlisted.setAppiumPort(b.port);
        const auto fails = [](AndroidDeviceManager &manager, const QString &message, int code) {
            const auto outcome = awaitTask(manager.refreshHierarchyViaAppium());
            return outcome.error == message && appErrorCode(outcome.exception) == code;
        };
        QVERIFY(fails(unlisted, u"Appium Android 会话未建立"_s, 8));
        QVERIFY(fails(*b.manager, u"Appium 未返回 Android UI 层级"_s, 9));
        QCOMPARE(b.manager->appiumSessionID(), kSession);
        QVERIFY(fails(*b.manager, u"Android UI 层级为空"_s, 10));
        QVERIFY(awaitTask(b.manager->refreshHierarchyViaAppium()).error); // a body that is not JSON
        QCOMPARE(b.manager->appiumSessionID(), kSession); // failures keep the session
        QVERIFY(awaitTask(b.manager->refreshHierarchyViaAppium()).succeeded());
        QCOMPARE(b.manager->elements().size(), 2);
    }

    void timeoutStartsTheCooldown()
    {
        // The first page source outlasts its limit; the later ones answer at once.
        QJsonObject slow = wda::valueReply(kSource);
        slow.insert(u"delayMs"_s, 3000);
        FakeAppium appium(FakeHttpServer::scenario({wda::statusRoute(), wda::sessionRoute({wda::sessionReply(kSession)}),
                                                    wda::sourceRoute(kSession, {slow, wda::valueReply(kSource)}),
                                                    wda::deleteRoute(kSession)}));
        Bench b;
        b.manager->setTiming({.appiumSourceLimit = 400ms, .hierarchyInterval = 250ms, .hierarchyCooldown = 2500ms});
        b.manager->startHierarchyLoop();
        QVERIFY(waitFor([&] { return appium.http().requests(kSourcePath).size() >= 6; }, 20s));
        QVERIFY(b.manager->logText().contains(u"元素树请求超时，暂停后台层级读取 60 秒，防止 Appium 请求排队\n"_s));

        // Seen from the server, no pause is ever cut short: after the time-out nothing is asked
        // for the whole cooldown, and the loop's reads are at least its interval apart. (A
        // millisecond is allowed for the server's own scheduling.)
        const QList<QJsonObject> reads = appium.http().requests(kSourcePath);
        const auto gap = [&](qsizetype i) {
            return reads[i].value(QStringLiteral("time")).toDouble() - reads[i - 1].value(QStringLiteral("time")).toDouble();
        };
        QVERIFY2(gap(1) >= 400 + 2500 - 1, qPrintable(QString::number(gap(1))));
        for (qsizetype i = 2; i < reads.size(); ++i)
            QVERIFY2(gap(i) >= 250 - 1, qPrintable(QStringLiteral("read %1 came %2 ms after the one before").arg(i).arg(gap(i))));

        // A new connection clears the pause and reads at once.
        appium.http().setScenario(scenario());
        b.manager->disconnect();
        QVERIFY(!b.manager->hierarchyCooldownUntil());
        QVERIFY2(awaitTask(b.manager->connectAndWait()).value == true, qPrintable(b.manager->logText()));
        QCOMPARE(b.manager->elements().size(), 2);
    }

    void uiautomatorFailuresSwitchWithoutCooldown_data()
    {
        QTest::addColumn<QJsonObject>("dump");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("dump time-out") << FakeAdb::reply(QString(), QString(), 0, 4000)
                                       << "系统 uiautomator 不可用，切换到 Appium 无等待模式：命令执行超时\n";
        QTest::newRow("unreadable file") << FakeAdb::reply("UI hierchary dumped to: /sdcard/vantrel-window.xml\n")
                                         << "系统 UI 层级文件不可读，切换到 Appium 无等待模式\n";
    }
    void uiautomatorFailuresSwitchWithoutCooldown()
    {
        QFETCH(QJsonObject, dump);
        QFETCH(QString, logLine);
        FakeAppium appium(scenario());
        Bench b;
        b.f.adb->on(FakeAdb::dump(kSerial), {dump});
        b.f.adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply("cat: /sdcard/vantrel-window.xml: No such file")});
        b.manager->setTiming({.dumpLimit = 0.4});
        QVERIFY(awaitTask(b.manager->refreshHierarchy()).succeeded());
        QVERIFY2(b.manager->logText().contains(logLine), qPrintable(b.manager->logText()));
        QVERIFY(!b.manager->hierarchyCooldownUntil());
        QCOMPARE(b.manager->elements().size(), 2);
    }

    void readsInProgressAreNotQueuedAndSurviveTheManager()
    {
        FakeAppium appium(scenario(wda::sessionReply(kSession), 1000));
        Bench b;
        auto read = [](AndroidDeviceManager *target, bool *done) -> QCoro::Task<void> {
            try {
                co_await target->refreshHierarchy();
            } catch (...) {
            }
            *done = true;
        };
        bool firstDone = false;
        read(b.manager.get(), &firstDone);
        QVERIFY(awaitTask(b.manager->refreshHierarchy()).succeeded()); // returns at once
        QVERIFY(!firstDone && b.manager->elements().isEmpty());
        QVERIFY(waitFor([&] { return firstDone; }, 20s));
        QCOMPARE(b.manager->elements().size(), 2);
        QCOMPARE(appium.http().requests(kSourcePath).size(), 1);

        // Destroyed while a page-source request waits for its reply.
        bool ended = false;
        read(b.manager.get(), &ended);
        QVERIFY(waitFor([&] { return appium.http().requests(kSourcePath).size() == 2; }));
        b.manager = std::make_unique<AndroidDeviceManager>();
        QVERIFY(waitFor([&] { return ended; }));
    }

    void disconnectWhileAppiumIsLocatedStartsNoServer()
    {
        FakeAppium appium(scenario());
        Bench b;
        // Appium is found through a login shell that takes its time, and says when it was asked.
        QTemporaryDir dir;
        const QString shell = writeFile(dir.filePath(u"slow-shell"_s),
                                        "#!/bin/sh\ntouch \"$0.asked\"\nsleep 1\necho '" + FakeAppium::programPath().toUtf8() + "'\n",
                                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        b.f.environment.unset("VANTREL_APPIUM");
        b.f.environment.set("VANTREL_SHELL", shell.toUtf8());

        auto read = b.manager->refreshHierarchy();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(shell + u".asked"_s), 10'000);
        b.manager->disconnect();
        awaitTask(std::move(read));
        spinEventLoop(500ms); // room for the attempt to go on, were it to
        QVERIFY(appium.serverStarts().isEmpty());
        QCOMPARE(b.manager->connectionState(), DeviceConnectionState::idle());
    }
};

QTEST_GUILESS_MAIN(AndroidAppiumTest)
#include "tst_android_appium.moc"
