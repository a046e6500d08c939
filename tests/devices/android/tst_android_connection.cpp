// Connecting to an Android phone through the fake adb: the checks, the screenshot and tree, the
// live loops, the capture for a comparison and the failures of each step.
#include "support/AndroidFixture.h"
#include "support/TestImages.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString kSerial = AndroidFixture::kSerial;

bool connects(AndroidDeviceManager &manager, bool expected = true)
{
    return awaitTask(manager.connectAndWait()).value == std::optional<bool>(expected);
}

} // namespace

class AndroidConnectionTest : public QObject {
    Q_OBJECT

private slots:
    void selectionChecksAreSynchronous()
    {
        AndroidFixture f;
        AndroidDeviceManager manager;
        manager.connect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"请先连接 Android 设备"_s));
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        manager.setSelectedDeviceID(u"OFF1"_s);
        manager.connect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"Android 设备离线，请重新插拔 USB"_s));
        QCOMPARE(f.adb->callCount(FakeAdb::getState(u"OFF1"_s)), 0);
    }

    void connectTakesAScreenshotAndATreeThenStartsTheLoops()
    {
        AndroidFixture f;
        auto manager = f.listedManager();
        manager->setTiming({.hierarchyInterval = 300ms});
        manager->connect();
        QCOMPARE(manager->connectionState(), DeviceConnectionState::preparing(u"正在连接 Android 设备…"_s));
        QVERIFY(waitFor([&] { return manager->connectionState() == DeviceConnectionState::connected(); }));
        QCOMPARE(manager->liveImage()->size(), QSize(108, 240));
        QCOMPARE(manager->elements().size(), 2);
        QCOMPARE(manager->elements()[1].id, u"app:id/title"_s);

        // The live-frame loop takes a screenshot every 0.55 s, the tree loop reads after its interval.
        const int before = f.adb->callCount(FakeAdb::screencap(kSerial));
        spinEventLoop(1500ms);
        const int taken = f.adb->callCount(FakeAdb::screencap(kSerial)) - before;
        QVERIFY2(taken >= 1 && taken <= 3, qPrintable(QString::number(taken)));
        QVERIFY(f.adb->callCount(FakeAdb::dump(kSerial)) >= 2);
        // Every dump starts from no file, so a failed dump never reads back an earlier screen.
        const QList<QStringList> calls = f.adb->calls();
        const QStringList remove{"-s", kSerial, "shell", "rm", "-f", "/sdcard/vantrel-window.xml"};
        bool removed = false;
        for (const QStringList &call : calls) {
            if (call == remove)
                removed = true;
            if (call == FakeAdb::dump(kSerial)) {
                QVERIFY(removed);
                removed = false;
            }
        }
        QVERIFY(awaitTask(manager->listDevices()).succeeded()); // listing keeps the connection
        QCOMPARE(manager->connectionState(), DeviceConnectionState::connected());

        manager->disconnect();
        QCOMPARE(manager->connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager->liveImage() && manager->elements().isEmpty());
        QVERIFY(!manager->isFrameLoopRunning() && !manager->isHierarchyLoopRunning());
        spinEventLoop(300ms); // one screenshot in flight may still finish
        const int afterDisconnect = f.adb->callCount(FakeAdb::screencap(kSerial));
        spinEventLoop(1200ms);
        QCOMPARE(f.adb->callCount(FakeAdb::screencap(kSerial)), afterDisconnect);
    }

    void connectFailures()
    {
        AndroidFixture f;
        auto manager = f.listedManager();
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"unauthorized\n"_s)});
        QVERIFY(connects(*manager, false));
        QCOMPARE(manager->connectionState(), DeviceConnectionState::failed(u"Android 设备未授权"_s));
        QCOMPARE(manager->logText(), u"连接失败：Android 设备未授权\n"_s);

        // Past its limit the runner's time-out text is the failure, and no screenshot is taken.
        manager->setTiming({.adbCommandLimit = 0.5});
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s, QString(), 0, 5000)});
        QVERIFY(connects(*manager, false));
        QCOMPARE(manager->connectionState(), DeviceConnectionState::failed(u"命令执行超时"_s));
        QCOMPARE(f.adb->callCount(FakeAdb::screencap(kSerial)), 0);

        // A screenshot failure fails the connection with adb's own text.
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s)});
        f.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(4, 4, Qt::blue), u"  closed \n"_s, 1)});
        QVERIFY(connects(*manager, false));
        QCOMPARE(manager->connectionState(), DeviceConnectionState::failed(u"  closed \n"_s));
        QVERIFY(!manager->isFrameLoopRunning());
    }

    void screenshotAndCaptureFailures()
    {
        AndroidFixture f;
        AndroidDeviceManager unlisted;
        const auto shot = awaitTask(unlisted.captureScreenshot());
        QCOMPARE(shot.error, u"ADB 或设备序列号不可用"_s);
        QCOMPARE(appErrorCode(shot.exception), 4);
        auto outcome = awaitTask(unlisted.captureForComparison());
        QCOMPARE(outcome.error, u"Android 设备尚未连接"_s);
        QCOMPARE(appErrorCode(outcome.exception), 3);

        auto manager = f.listedManager();
        QVERIFY(connects(*manager));
        f.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(u"not a picture"_s)});
        outcome = awaitTask(manager->captureForComparison());
        QCOMPARE(outcome.error, u"Android 截图失败"_s);
        QCOMPARE(appErrorCode(outcome.exception), 5);
        QVERIFY(manager->isFrameLoopRunning() && manager->isHierarchyLoopRunning());
        // The live loop logs its failures and keeps the last good picture.
        QVERIFY(waitFor([&] { return manager->logText().count(u"截图刷新失败：Android 截图失败\n"_s) >= 2; }));
        QCOMPARE(manager->connectionState(), DeviceConnectionState::connected());
        QVERIFY(manager->liveImage());

        // A capture while connecting fails at once.
        manager->disconnect();
        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s, QString(), 0, 1500)});
        manager->connect();
        QCOMPARE(appErrorCode(awaitTask(manager->captureForComparison()).exception), 3);
        manager->disconnect();
    }

    void captureReusesTheTree()
    {
        AndroidFixture f;
        auto manager = f.listedManager();
        QVERIFY(connects(*manager));
        const int dumps = f.adb->callCount(FakeAdb::dump(kSerial));
        f.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(1080, 2400, Qt::green))});
        const auto outcome = awaitTask(manager->captureForComparison());
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));
        QCOMPARE(outcome.value->elements.size(), 2);
        QCOMPARE(outcome.value->screenSize, (SizeValue{1080, 2400}));
        QVERIFY(manager->logText().contains(u"正式对比使用连接期间最近一次 Android 元素树，避免与动态页面刷新争用\n"_s));
        QCOMPARE(f.adb->callCount(FakeAdb::dump(kSerial)), dumps);
        QVERIFY(manager->isFrameLoopRunning() && manager->isHierarchyLoopRunning());
        QVERIFY(!manager->lastCaptureWarning());
    }

    void captureWithAFailingTreeFallsBackToTheScreenshot()
    {
        AndroidFixture f;
        f.adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply(u"<hierarchy rotation=\"0\"/>"_s)});
        auto manager = f.listedManager();
        QVERIFY(connects(*manager));
        QVERIFY(manager->elements().isEmpty()); // so the capture reads the tree again
        f.adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(u"ERROR: could not get idle state.\n"_s, QString(), 1)});
        const auto outcome = awaitTask(manager->captureForComparison());
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));
        QCOMPARE(outcome.value->screenSize, (SizeValue{108, 240}));
        QCOMPARE(manager->lastCaptureWarning(), u"Android UI 层级暂时不可用，已自动改用截图视觉对比"_s);
        QVERIFY(manager->logText().contains(u"正式对比读取元素树失败，已降级为视觉对比：当前页面持续刷新，需要安装 Appium 与 UiAutomator2"_s));
        QVERIFY(manager->prefersAppiumHierarchy());
        manager->disconnect();
        QVERIFY(!manager->prefersAppiumHierarchy() && !manager->lastCaptureWarning());
    }

    void disconnectWins()
    {
        AndroidFixture f;
        auto manager = f.listedManager();
        QVERIFY(connects(*manager));
        QJsonObject slowShot = FakeAdb::replyBytes(pngBytes(5, 5, Qt::red));
        slowShot.insert(u"delayMs"_s, 800);
        f.adb->on(FakeAdb::screencap(kSerial), {slowShot});
        QTimer::singleShot(200ms, manager.get(), [&manager] { manager->disconnect(); });
        QVERIFY(awaitTask(manager->captureForComparison()).succeeded());
        QVERIFY(!manager->isFrameLoopRunning() && !manager->isHierarchyLoopRunning()); // nothing restarted

        f.adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(u"device\n"_s, QString(), 0, 800)});
        manager->connect();
        spinEventLoop(200ms);
        manager->disconnect();
        spinEventLoop(1500ms);
        QCOMPARE(manager->connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager->isFrameLoopRunning() && !manager->liveImage());

        // Destroyed while its loops run: they stop without touching the object.
        QVERIFY(connects(*manager));
        manager.reset();
        spinEventLoop(1000ms);
    }
};

QTEST_GUILESS_MAIN(AndroidConnectionTest)
#include "tst_android_connection.moc"
