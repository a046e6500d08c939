// The Android manager through the fake adb. Step by step (where adb is looked for, the listing and
// its selection rules, connecting and its failures, the capture for a comparison with and without a
// tree, disconnecting), compared with the expected transcript tests/data/golden/android-manager.txt;
// then the live loops (their pace and failures, disconnects and destruction racing them); and the
// listing with Debian's real adb.
#include "support/AndroidTranscript.h"
#include "support/Golden.h"
#include "support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

class AndroidManagerTest : public QObject {
    Q_OBJECT

    const QString kSerial = AndroidFixture::kSerial;
    static bool connects(AndroidDeviceManager &manager) { return awaitTask(manager.connectAndWait()).value == true; }

private slots:
    void managerTranscript()
    {
        AndroidFixture f;
        AndroidTranscript t(*f.adb);
        AndroidDeviceManager manager;
        manager.setAppiumPort(freeLocalPort());
        manager.setTiming({.framePause = 1h, .hierarchyInterval = 1h}); // the loops wait after their first turn
        t.watch(manager);
        const auto list = [&](const QString &title, const QString &lines, const QString &error = {}, int exit = 0) {
            t.step(title);
            f.adb->on(AndroidFixture::kList, {FakeAdb::reply(AndroidFixture::kHeading + lines, error, exit)});
            t.outcome(awaitTask(manager.listDevices()));
        };
        const auto connect = [&](const QString &title) {
            t.step(title);
            t.outcome(awaitTask(manager.connectAndWait()));
        };
        const auto loops = [&] {
            t.note(u"loops: frame %1, tree %2, live image %3"_s.arg(manager.isFrameLoopRunning()).arg(manager.isHierarchyLoopRunning()).arg(manager.liveImage().has_value()));
        };
        const auto capture = [&](const QString &title) {
            t.step(title);
            const auto outcome = awaitTask(manager.captureForComparison());
            t.outcome(outcome);
            if (outcome.value)
                t.note(u"captured %1 elements, screen %2x%3"_s.arg(outcome.value->elements.size()).arg(outcome.value->screenSize.width).arg(outcome.value->screenSize.height));
            loops();
        };

        t.step(u"connect before any listing"_s);
        manager.connect();
        list(u"an unauthorised phone, then an online one"_s, u"AAA unauthorized usb:1\nBBB device model:Pixel_7\n"_s);
        t.step(u"select AAA: kept while it is listed"_s);
        manager.setSelectedDeviceID(u"AAA"_s);
        t.outcome(awaitTask(manager.listDevices()));
        list(u"AAA gone, no phone online"_s, u"CCC offline\nDDD unauthorized\n"_s);
        list(u"one unauthorised phone"_s, u"0123 unauthorized usb:1-1 transport_id:2\n"_s);
        list(u"adb fails but lists a phone"_s, u"X device\n"_s, u"daemon not running"_s, 1);
        list(u"no phones"_s, QString());
        list(u"an online and an offline phone"_s, kSerial + u" device model:Pixel_8\nOFF1 offline\n"_s);
        t.step(u"connect OFF1"_s);
        manager.setSelectedDeviceID(u"OFF1"_s);
        manager.connect();
        manager.setSelectedDeviceID(kSerial);
        connect(u"connect"_s);
        t.note(u"live image %1x%2"_s.arg(manager.liveImage()->width()).arg(manager.liveImage()->height()));
        list(u"list while connected"_s, kSerial + u" device model:Pixel_8\n"_s);
        capture(u"capture: the tree of the connection is used"_s);
        t.step(u"disconnect"_s);
        manager.disconnect();
        loops();
        QVERIFY(waitFor([&] { return !manager.hasBackgroundWork(); })); // a screenshot in flight ends
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"unauthorized\n"_s)});
        connect(u"get-state says unauthorized"_s);
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QString(), u"  error: device still authorizing \n"_s, 1)});
        connect(u"get-state fails with adb's own text, untrimmed"_s);
        const AndroidDeviceManager::Timing timing = manager.timing();
        manager.setTiming({.adbCommandLimit = 0.5, .framePause = 1h, .hierarchyInterval = 1h});
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s, QString(), 0, 5000)});
        const int shots = f.adb->callCount(FakeAdb::screencap(kSerial));
        connect(u"get-state outlasts its limit"_s);
        QCOMPARE(f.adb->callCount(FakeAdb::screencap(kSerial)), shots); // no screenshot after a failed check
        manager.setTiming(timing);
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s)});
        f.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(4, 4, Qt::blue), u"  closed \n"_s, 1)});
        connect(u"the screenshot fails"_s);
        loops();

        f.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(108, 240, Qt::red))});
        f.adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply(u"<hierarchy rotation=\"0\"/>"_s)});
        connect(u"connect to an empty tree"_s);
        f.adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(u"ERROR: could not get idle state.\n"_s, QString(), 1)});
        capture(u"capture: the tree cannot be read"_s);
        t.note(u"prefers Appium: %1"_s.arg(manager.prefersAppiumHierarchy()));
        t.step(u"disconnect"_s);
        manager.disconnect();
        t.note(u"prefers Appium: %1"_s.arg(manager.prefersAppiumHierarchy()));

        AndroidDeviceManager unlisted;
        t.step(u"screenshot and capture on a manager that never listed"_s);
        t.outcome(awaitTask(unlisted.captureScreenshot()));
        t.outcome(awaitTask(unlisted.captureForComparison()));

        // adb is looked for in ~/Library/Android/sdk/platform-tools when that may be executed, then
        // through the login shell, whose answer is trimmed.
        qputenv("VANTREL_ADB", ""); // empty counts as unset; FakeAdb puts it back
        AndroidDeviceManager lookup;
        t.watch(lookup);
        t.step(u"no adb anywhere"_s);
        t.outcome(awaitTask(lookup.listDevices()));
        QTemporaryDir dir;
        f.environment.set("VANTREL_SHELL", writeFile(dir.filePath(u"shell"_s),
                                                     "#!/bin/sh\n[ \"$2\" = 'command -v adb' ] && printf '\\n  " + FakeAdb::programPath().toUtf8()
                                                         + "  \\n' && exit 0\nexit 1\n",
                                                     QFileDevice::ReadOwner | QFileDevice::ExeOwner).toUtf8());
        const QString sdkAdb = f.home.filePath(u"Library/Android/sdk/platform-tools/adb"_s);
        const auto resolve = [&](const QString &title) {
            t.step(title);
            t.note(awaitTask(lookup.resolveADBPath()).value.value_or(u"failed"_s).value_or(u"none"_s));
        };
        resolve(u"adb through the login shell"_s);
        QVERIFY(QDir().mkpath(QFileInfo(sdkAdb).path()) && QFile::copy(FakeAdb::programPath(), sdkAdb));
        resolve(u"adb in the home SDK"_s);
        QFile::setPermissions(sdkAdb, QFileDevice::ReadOwner);
        resolve(u"adb in the home SDK, not executable"_s);

        QVERIFY(compareWithGolden(u"android-manager.txt"_s,
                                  t.text({f.home.path(), u"<home>"_s, FakeAdb::programPath(), u"<fake adb>"_s})));
    }

    void liveLoopsAndTheirRaces()
    {
        AndroidFixture f;
        auto manager = f.listedManager();
        manager->setTiming({.hierarchyInterval = 300ms});
        QVERIFY(connects(*manager));
        // The live-frame loop takes a screenshot every 0.55 s, the tree loop reads after its interval.
        const int before = f.adb->callCount(FakeAdb::screencap(kSerial));
        spinEventLoop(1500ms);
        const int taken = f.adb->callCount(FakeAdb::screencap(kSerial)) - before;
        QVERIFY2(taken >= 1 && taken <= 3, qPrintable(QString::number(taken)));
        QVERIFY(f.adb->callCount(FakeAdb::dump(kSerial)) >= 2);

        // A picture that does not decode fails the capture; the loops go on, the live loop logs its
        // failures and keeps the last good picture.
        f.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(u"not a picture"_s)});
        const auto outcome = awaitTask(manager->captureForComparison());
        QCOMPARE(outcome.error, u"Android 截图失败"_s);
        QCOMPARE(appErrorCode(outcome.exception), 5);
        QVERIFY(manager->isFrameLoopRunning() && manager->isHierarchyLoopRunning());
        QVERIFY(waitFor([&] { return manager->logText().count(u"截图刷新失败：Android 截图失败\n"_s) >= 2; }));
        QCOMPARE(manager->connectionState(), DeviceConnectionState::connected());
        QVERIFY(manager->liveImage());

        // A disconnect while a capture waits for its screenshot: the capture ends, nothing restarts.
        QJsonObject slowShot = FakeAdb::replyBytes(pngBytes(5, 5, Qt::red));
        slowShot.insert(u"delayMs"_s, 800);
        f.adb->on(FakeAdb::screencap(kSerial), {slowShot});
        QTimer::singleShot(200ms, manager.get(), [&manager] { manager->disconnect(); });
        QVERIFY(awaitTask(manager->captureForComparison()).succeeded());
        QVERIFY(!manager->isFrameLoopRunning() && !manager->isHierarchyLoopRunning());
        spinEventLoop(1000ms); // a loop's screenshot in flight may still finish
        const int afterDisconnect = f.adb->callCount(FakeAdb::screencap(kSerial));

        // A capture while connecting fails at once; a disconnect before get-state answers wins.
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s, QString(), 0, 800)});
        manager->connect();
        QCOMPARE(appErrorCode(awaitTask(manager->captureForComparison()).exception), 3);
        spinEventLoop(200ms);
        manager->disconnect();
        spinEventLoop(1500ms);
        QCOMPARE(manager->connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager->isFrameLoopRunning() && !manager->liveImage());
        QCOMPARE(f.adb->callCount(FakeAdb::screencap(kSerial)), afterDisconnect);
        // ... and one while its first screenshot is taken.
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s)});
        manager->connect();
        spinEventLoop(300ms);
        manager->disconnect();
        spinEventLoop(1000ms);
        QVERIFY(manager->connectionState() == DeviceConnectionState::idle() && !manager->liveImage());

        // Destroyed while its loops run: they stop without touching the object.
        QVERIFY(connects(*manager));
        manager.reset();
        spinEventLoop(1000ms);
    }

    void realAdbWithoutPhones()
    {
        const QString realAdb = QStandardPaths::findExecutable(u"adb"_s);
        if (realAdb.isEmpty())
            QSKIP("Debian's adb is not installed");
        TemporaryHome home;
        EnvironmentOverride environment;
        environment.set("VANTREL_SHELL", "/bin/false");
        // A private server port so parallel runs do not share a server; the server is stopped after.
        environment.set("ANDROID_ADB_SERVER_PORT", QByteArray::number(freeLocalPort()));
        environment.set("VANTREL_ADB", realAdb.toUtf8());
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.listDevices(), 60s).succeeded());
        QVERIFY(awaitTask(manager.diagnose(), 60s).succeeded());
        QProcess stop; // a kill-server that hangs is killed with this object; the server is left to its own time-out
        stop.start(realAdb, {u"kill-server"_s});
        stop.waitForFinished(10'000);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"未发现 Android 设备，请连接 USB 并开启 USB 调试"_s));
        const EnvironmentCheck adbLine = manager.diagnostics().value(0);
        QCOMPARE(adbLine.level, EnvironmentCheck::Level::success);
        QVERIFY2(adbLine.detail.startsWith(u"Android Debug Bridge version "_s), qPrintable(adbLine.detail));
        QVERIFY(adbLine.detail.contains(u" · "_s));
    }
};

QTEST_GUILESS_MAIN(AndroidManagerTest)
#include "tst_android_manager.moc"
