// The Appium fallback of the Android manager against the fake adb and the fake appium. The switch
// from uiautomator, the server it starts (replacing one already there), the session, the page-source
// replies and the end of it all at disconnect are compared with the expected transcript
// tests/data/golden/android-appium.txt; then each failure, the time-out cool-down, and reads racing
// each other, a disconnect or the manager's end.
#include "support/AndroidTranscript.h"
#include "support/FakeAppium.h"
#include "support/Golden.h"
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

QJsonObject scenario(const QJsonObject &session = wda::sessionReply(kSession), const QJsonArray &sources = {wda::valueReply(kSource)})
{
    return FakeHttpServer::scenario(
        {wda::statusRoute(), wda::sessionRoute({session}), wda::sourceRoute(kSession, sources), wda::deleteRoute(kSession)});
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
    void fallbackTranscript()
    {
        // The session ID at the top level of the reply; after two trees, page sources that are not one.
        FakeAppium appium(scenario(FakeHttpServer::json(200, QJsonObject{{"value", QJsonObject{{"ready", true}}}, {"sessionId", kSession}}),
                                   {wda::valueReply(kSource), wda::valueReply(kSource), wda::valueReply("<AppiumAUT/>"),
                                    wda::valueReply("<hierarchy rotation='0'/>"), FakeHttpServer::text(200, "not json"), wda::valueReply(kSource)}));
        Bench b;
        AndroidTranscript t(*b.f.adb);
        t.watch(*b.manager);
        AndroidDeviceManager unlisted; // starts a server, and then has no phone for a session
        unlisted.setAppiumPort(b.port);
        t.step(u"a manager without a phone"_s);
        t.outcome(awaitTask(unlisted.refreshHierarchyViaAppium()));
        t.step(u"read the tree: uiautomator fails, the server already there is replaced"_s);
        t.outcome(awaitTask(b.manager->refreshHierarchy()));
        QVERIFY(waitFor([&] { return b.manager->logText().contains(u"[Appium] fake diagnostics on stderr"_s); }));
        t.step(u"read again: through Appium only"_s);
        t.outcome(awaitTask(b.manager->refreshHierarchy()));
        t.step(u"the server answers: used as it is"_s);
        t.outcome(awaitTask(b.manager->ensureAppiumRunning()));
        for (const QString &title : {u"a page source without a tree"_s, u"an empty tree"_s, u"a body that is not JSON"_s, u"a tree again"_s}) {
            t.step(title);
            t.outcome(awaitTask(b.manager->refreshHierarchyViaAppium()));
        }
        t.note(u"session "_s + b.manager->appiumSessionID().value_or(u"none"_s));
        t.step(u"disconnect: the session is deleted, the server this object started ends"_s);
        b.manager->disconnect();
        QVERIFY(waitFor([&] { return appium.http().count(u"DELETE"_s, u"/session/"_s + kSession) == 1; }));
        t.note(u"session %1, started %2, prefers Appium %3"_s.arg(b.manager->appiumSessionID().value_or(u"none"_s)).arg(b.manager->startedAppium()).arg(b.manager->prefersAppiumHierarchy()));
        for (const QJsonObject &start : appium.serverStarts())
            t.note(u"server started: "_s + start["args"].toVariant().toStringList().join(u' ') + u", PATH starts "_s
                   + start["env"]["PATH"].toString().section(u':', 0, 0));
        for (const QJsonObject &request : appium.http().requests()) {
            t.note((request["method"].toString() + u' ' + request["path"].toString() + u' ' + request["headers"]["content-type"].toString()
                    + u' ' + QJsonDocument::fromJson(request["body"].toString().toUtf8()).toJson(QJsonDocument::Compact)).trimmed());
        }
        QVERIFY(compareWithGolden(u"android-appium.txt"_s, t.text({b.f.home.path(), u"<home>"_s, QString::number(b.port), u"<port>"_s})));
    }

    void failures_data()
    {
        QTest::addColumn<QJsonObject>("dump");
        QTest::addColumn<QJsonObject>("session");
        QTest::addColumn<QByteArray>("appiumFailure"); // FAKE_APPIUM_FAIL, or "none" for no appium at all
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("logLine");
        const QJsonObject failing = FakeAdb::reply(u"ERROR: could not get idle state.\n"_s, u"Killed\n"_s, 137);
        const QString switched = u"系统 uiautomator 不可用，切换到 Appium 无等待模式：ERROR: could not get idle state.\nKilled\n\n"_s;
        const QJsonObject session = wda::sessionReply(kSession);
        QTest::newRow("no appium") << failing << session << QByteArray("none")
                                   << "error 12: 当前页面持续刷新，需要安装 Appium 与 UiAutomator2：npm install -g appium && appium driver install uiautomator2" << switched;
        QTest::newRow("server exits") << failing << session << QByteArray("1") << "error 13: Appium 启动失败，请查看 Android 环境诊断" << switched;
        QTest::newRow("empty session") << failing << wda::valueReply(QJsonObject()) << QByteArray()
                                       << "error 11: Appium Android 会话创建失败：{\"value\":{}}" << switched;
        QTest::newRow("no SDK") << failing
                                << wda::valueReply(QJsonObject{{"error", "session not created"},
                                                               {"message", "An unknown server-side error occurred: Neither ANDROID_HOME "
                                                                           "nor ANDROID_SDK_ROOT environment variable was exported"}},
                                                   500)
                                << QByteArray() << "error 14: Appium 未获得 Android SDK 路径，请安装新版工具并重新连接" << switched;
        // No cool-down after these: they are not Appium time-outs.
        QTest::newRow("dump time-out") << FakeAdb::reply(QString(), QString(), 0, 4000) << session << QByteArray() << "ok"
                                       << "系统 uiautomator 不可用，切换到 Appium 无等待模式：命令执行超时\n";
        QTest::newRow("unreadable file") << FakeAdb::reply("UI hierchary dumped to: /sdcard/vantrel-window.xml\n") << session << QByteArray()
                                         << "ok" << "系统 UI 层级文件不可读，切换到 Appium 无等待模式\n";
    }
    void failures()
    {
        QFETCH(QJsonObject, dump);
        QFETCH(QJsonObject, session);
        QFETCH(QByteArray, appiumFailure);
        QFETCH(QString, outcome);
        QFETCH(QString, logLine);
        FakeAppium appium(scenario(session));
        Bench b;
        if (appiumFailure == "none")
            appium.environment().unset("VANTREL_APPIUM");
        else if (!appiumFailure.isEmpty())
            appium.environment().set("FAKE_APPIUM_FAIL", appiumFailure);
        b.f.adb->on(FakeAdb::dump(kSerial), {dump});
        b.f.adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply("cat: /sdcard/vantrel-window.xml: No such file")});
        b.manager->setTiming({.dumpLimit = 0.4});
        // A server that died is not polled sixty times: the failsafe is shorter than that.
        QCOMPARE(AndroidTranscript::describe(awaitTask(b.manager->refreshHierarchy(), 10s)), outcome);
        QVERIFY2(b.manager->logText().contains(logLine), qPrintable(b.manager->logText()));
        QVERIFY(!b.manager->hierarchyCooldownUntil());
        QCOMPARE(b.manager->appiumSessionID().has_value(), outcome == u"ok"_s);
    }

    void timeoutStartsTheCooldown()
    {
        // The first page source outlasts its limit; the later ones answer at once.
        QJsonObject slow = wda::valueReply(kSource);
        slow.insert(u"delayMs"_s, 3000);
        FakeAppium appium(scenario(wda::sessionReply(kSession), {slow, wda::valueReply(kSource)}));
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

    void readsInProgressAreNotQueuedAndSurviveTheManager()
    {
        QJsonObject slow = wda::valueReply(kSource);
        slow.insert(u"delayMs"_s, 1000);
        FakeAppium appium(scenario(wda::sessionReply(kSession), {slow}));
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
