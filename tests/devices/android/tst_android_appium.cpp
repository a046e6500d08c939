// The Appium fallback of the Android manager against the fake adb and the fake appium. The switch
// from uiautomator, the server it starts (replacing one already there), the session, the page-source
// replies and the end of it all at disconnect are compared with the expected transcript
// tests/data/golden/android-appium.txt; then each failure (android-appium-failures.txt), the
// time-out cool-down, and reads racing each other, a disconnect or the manager's end.
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

// The fake appium, the fixture with a uiautomator that cannot dump, and a manager on a free Appium port.
struct Bench {
    FakeAppium appium;
    AndroidFixture f{true};
    int port = freeLocalPort();
    std::unique_ptr<AndroidDeviceManager> manager;
    explicit Bench(const QJsonObject &replies = scenario()) : appium(replies)
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
        Bench b(scenario(FakeHttpServer::json(200, QJsonObject{{"value", QJsonObject{{"ready", true}}}, {"sessionId", kSession}}),
                         {wda::valueReply(kSource), wda::valueReply(kSource), wda::valueReply("<AppiumAUT/>"),
                          wda::valueReply("<hierarchy rotation='0'/>"), FakeHttpServer::text(200, "not json"), wda::valueReply(kSource)}));
        FakeAppium &appium = b.appium;
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

    void failuresTranscript()
    {
        Bench b;
        FakeAppium &appium = b.appium;
        AndroidTranscript t(*b.f.adb);
        b.f.adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply("cat: /sdcard/vantrel-window.xml: No such file")});
        b.manager->setTiming({.dumpLimit = 0.4});
        // Each read starts afresh (uiautomator first): the disconnect after it ends the server. The
        // server's own output is left out, as it arrives at its own pace.
        const auto read = [&](const QString &title) {
            t.step(title);
            const qsizetype logged = b.manager->logText().size();
            // A server that died is not polled sixty times: the failsafe is shorter than that.
            t.outcome(awaitTask(b.manager->refreshHierarchy(), 10s));
            QStringList lines = b.manager->logText().mid(logged).split(u'\n');
            lines.removeIf([](const QString &line) { return line.startsWith(u"[Appium]"_s); });
            t.note(u"log: "_s + lines.join(u'\n'));
            t.note(u"cool-down %1, session %2"_s.arg(b.manager->hierarchyCooldownUntil().has_value()).arg(b.manager->appiumSessionID().value_or(u"none"_s)));
            b.manager->disconnect();
            if (!waitFor([&] { return !portAnswers(b.port); }))
                t.note(u"the server outlived the disconnect"_s);
        };
        appium.environment().unset("VANTREL_APPIUM");
        read(u"no appium"_s);
        appium.environment().set("VANTREL_APPIUM", FakeAppium::programPath().toUtf8());
        appium.environment().set("FAKE_APPIUM_FAIL", "1");
        read(u"the server exits"_s);
        appium.environment().unset("FAKE_APPIUM_FAIL");
        appium.http().setScenario(scenario(wda::valueReply(QJsonObject())));
        read(u"an empty session reply"_s);
        appium.http().setScenario(scenario(wda::valueReply(QJsonObject{{"error", "session not created"},
                                                                       {"message", "An unknown server-side error occurred: Neither ANDROID_HOME "
                                                                                   "nor ANDROID_SDK_ROOT environment variable was exported"}},
                                                           500)));
        read(u"no SDK for the server"_s);
        // No cool-down after these: they are not Appium time-outs.
        appium.http().setScenario(scenario());
        b.f.adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QString(), QString(), 0, 4000)});
        read(u"the dump outlasts its limit"_s);
        b.f.adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply("UI hierchary dumped to: /sdcard/vantrel-window.xml\n")});
        read(u"the dumped file cannot be read"_s);
        QVERIFY(compareWithGolden(u"android-appium-failures.txt"_s, t.text({QString::number(b.port), u"<port>"_s})));
    }

    // One manager through the races, in turn: a disconnect while Appium is located, a page source
    // that times out (the cool-down), reads that overlap, and the manager's end during a read.
    void races()
    {
        Bench b;
        FakeAppium &appium = b.appium;
        // Appium is found through a login shell that takes its time, and says when it was asked.
        QTemporaryDir dir;
        const QString shell = writeFile(dir.filePath(u"slow-shell"_s),
                                        "#!/bin/sh\ntouch \"$0.asked\"\nsleep 1\necho '" + FakeAppium::programPath().toUtf8() + "'\n",
                                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        b.f.environment.unset("VANTREL_APPIUM");
        b.f.environment.set("VANTREL_SHELL", shell.toUtf8());
        auto located = b.manager->refreshHierarchy();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(shell + u".asked"_s), 10'000);
        b.manager->disconnect();
        awaitTask(std::move(located));
        spinEventLoop(500ms); // room for the attempt to go on, were it to
        QVERIFY(appium.serverStarts().isEmpty());
        QCOMPARE(b.manager->connectionState(), DeviceConnectionState::idle());
        b.f.environment.set("VANTREL_APPIUM", FakeAppium::programPath().toUtf8());

        // The first page source outlasts its limit; the later ones answer at once.
        QJsonObject slow = wda::valueReply(kSource);
        slow.insert(u"delayMs"_s, 3000);
        appium.http().setScenario(scenario(wda::sessionReply(kSession), {slow, wda::valueReply(kSource)}));
        b.manager->setTiming({.appiumSourceLimit = 400ms, .hierarchyInterval = 250ms, .hierarchyCooldown = 2500ms});
        double timedOutAt = 0; // on the monotonic clock the fake server stamps requests with
        QObject::connect(b.manager.get(), &AndroidDeviceManager::logTextChanged, b.manager.get(), [&] {
            if (!timedOutAt && b.manager->logText().contains(u"元素树请求超时"_s))
                timedOutAt = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
        });
        b.manager->startHierarchyLoop();
        QVERIFY(waitFor([&] { return appium.http().requests(kSourcePath).size() >= 6; }, 20s));
        QVERIFY(b.manager->logText().contains(u"元素树请求超时，暂停后台层级读取 60 秒，防止 Appium 请求排队\n"_s));
        // No pause is ever cut short: nothing reaches the server for the whole cooldown after the
        // time-out, and the loop's reads arrive at least its interval apart. (A millisecond is
        // allowed for the server's own scheduling.)
        QList<QJsonObject> reads = appium.http().requests(kSourcePath);
        const auto gap = [&](qsizetype i) {
            return reads[i].value(QStringLiteral("time")).toDouble() - reads[i - 1].value(QStringLiteral("time")).toDouble();
        };
        const double cooldown = reads[1].value(QStringLiteral("time")).toDouble() - timedOutAt;
        QVERIFY2(timedOutAt > 0 && cooldown >= 2500 - 1, qPrintable(QString::number(cooldown)));
        for (qsizetype i = 2; i < reads.size(); ++i)
            QVERIFY2(gap(i) >= 250 - 1, qPrintable(QStringLiteral("read %1 came %2 ms after the one before").arg(i).arg(gap(i))));
        // A new connection clears the pause and reads at once.
        appium.http().setScenario(scenario());
        b.manager->disconnect();
        QVERIFY(!b.manager->hierarchyCooldownUntil());
        QVERIFY2(awaitTask(b.manager->connectAndWait()).value == true, qPrintable(b.manager->logText()));
        QCOMPARE(b.manager->elements().size(), 2);

        // A read while one is in progress returns at once instead of queueing behind it.
        b.manager->disconnect();
        b.manager->setTiming({});
        QVERIFY(waitFor([&] { return !portAnswers(b.port); }));
        slow.insert(u"delayMs"_s, 1000);
        appium.http().setScenario(scenario(wda::sessionReply(kSession), {slow}));
        const qsizetype asked = appium.http().requests(kSourcePath).size();
        auto first = b.manager->refreshHierarchy();
        QVERIFY(awaitTask(b.manager->refreshHierarchy()).succeeded());
        QVERIFY(!first.isReady() && b.manager->elements().isEmpty());
        QVERIFY(awaitTask(std::move(first), 20s).succeeded());
        QCOMPARE(b.manager->elements().size(), 2);
        QCOMPARE(appium.http().requests(kSourcePath).size(), asked + 1);

        // Destroyed while a page-source request waits for its reply: the read ends all the same.
        auto last = b.manager->refreshHierarchy();
        QVERIFY(waitFor([&] { return appium.http().requests(kSourcePath).size() == asked + 2; }));
        b.manager = std::make_unique<AndroidDeviceManager>();
        QVERIFY(!awaitTask(std::move(last), 10s).timedOut);
    }
};

QTEST_GUILESS_MAIN(AndroidAppiumTest)
#include "tst_android_appium.moc"
