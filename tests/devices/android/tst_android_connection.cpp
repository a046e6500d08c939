#include "devices/android/AndroidDeviceManager.h"
#include "devices/android/AndroidError.h"
#include "engine/AppError.h"
#include "support/AwaitTask.h"
#include "support/FakeAdb.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

const QString kSerial = QStringLiteral("R58N12");
const QString kDump = QStringLiteral(
    "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">"
    "<node class=\"android.widget.FrameLayout\" bounds=\"[0,0][1080,2400]\">"
    "<node resource-id=\"app:id/title\" text=\"结算\" class=\"android.widget.TextView\" bounds=\"[42,96][300,177]\"/>"
    "</node></hierarchy>");

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit = 10s)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limit.count())
            return false;
        spinEventLoop(20ms);
    }
    return true;
}

int errorCode(const std::exception_ptr &exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const AppError &error) {
        return error.domain == AndroidDeviceManager::kErrorDomain ? error.code : -1;
    } catch (...) {
        return -1;
    }
}

} // namespace

class AndroidConnectionTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        qputenv("VANTREL_SHELL", "/bin/false");
        qunsetenv("VANTREL_APPIUM");
        m_adb = std::make_unique<FakeAdb>();
        m_adb->on({QStringLiteral("devices"), QStringLiteral("-l")},
                  {FakeAdb::reply(QStringLiteral("List of devices attached\n") + kSerial
                                  + QStringLiteral(" device model:Pixel_8\nOFF1 offline\n"))});
        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"))});
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(108, 240, Qt::red))});
        m_adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("UI hierchary dumped to: /sdcard/vantrel-window.xml\n"))});
        m_adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply(kDump)});
    }

    void cleanup()
    {
        m_adb.reset();
        qunsetenv("VANTREL_SHELL");
        m_home.reset();
    }

    void selectionChecksAreSynchronous()
    {
        AndroidDeviceManager manager;
        manager.connect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("请先连接 Android 设备")));
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        manager.setSelectedDeviceID(QStringLiteral("OFF1"));
        manager.connect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("Android 设备离线，请重新插拔 USB")));
        manager.setSelectedDeviceID(QStringLiteral("GONE"));
        manager.connect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("请先连接 Android 设备")));
        QVERIFY(manager.logText().isEmpty());
        QCOMPARE(m_adb->callCount(FakeAdb::getState(QStringLiteral("OFF1"))), 0);
    }

    void connectTakesAScreenshotAndATreeThenStartsTheLoops()
    {
        AndroidDeviceManager manager;
        AndroidDeviceManager::Timing timing;
        timing.hierarchyInterval = 300ms;
        manager.setTiming(timing);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QSignalSpy states(&manager, &AndroidDeviceManager::connectionStateChanged);
        QSignalSpy images(&manager, &AndroidDeviceManager::liveImageChanged);
        manager.connect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::preparing(QStringLiteral("正在连接 Android 设备…")));
        QVERIFY(waitFor([&] { return manager.connectionState().kind == DeviceConnectionState::Kind::connected; }));
        QVERIFY(manager.isFrameLoopRunning());
        QVERIFY(manager.isHierarchyLoopRunning());
        QVERIFY(manager.liveImage());
        QCOMPARE(manager.liveImage()->size(), QSize(108, 240));
        QCOMPARE(manager.elements().size(), 2);
        QCOMPARE(manager.elements()[1].id, QStringLiteral("app:id/title"));
        QVERIFY(images.size() >= 1);

        // The live-frame loop keeps taking screenshots, one at a time, 0.55 s apart.
        const int before = m_adb->callCount(FakeAdb::screencap(kSerial));
        spinEventLoop(1500ms);
        const int taken = m_adb->callCount(FakeAdb::screencap(kSerial)) - before;
        QVERIFY2(taken >= 1 && taken <= 3, qPrintable(QString::number(taken)));
        // The tree loop reads again after its interval.
        QVERIFY(m_adb->callCount(FakeAdb::dump(kSerial)) >= 2);

        // A listing while connected keeps the state connected and the loops running.
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QCOMPARE(manager.connectionState(), DeviceConnectionState::connected());
        QVERIFY(manager.isFrameLoopRunning());

        manager.disconnect();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager.liveImage());
        QVERIFY(manager.elements().isEmpty());
        QVERIFY(!manager.isFrameLoopRunning() && !manager.isHierarchyLoopRunning());
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(kSerial));
        QVERIFY(manager.adbPath());
        // After the disconnect, no more screenshots are taken (one in flight may still finish).
        spinEventLoop(300ms);
        const int afterDisconnect = m_adb->callCount(FakeAdb::screencap(kSerial));
        spinEventLoop(1500ms);
        QCOMPARE(m_adb->callCount(FakeAdb::screencap(kSerial)), afterDisconnect);
        QVERIFY(!manager.liveImage());
    }

    void getStateFailures()
    {
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.listDevices()).succeeded());

        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("unauthorized\n"))});
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(false));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("Android 设备未授权")));
        QCOMPARE(manager.logText(), QStringLiteral("连接失败：Android 设备未授权\n"));

        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QString(), QStringLiteral("error: device unauthorized.\n"), 1)});
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(false));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("error: device unauthorized.\n")));

        // Past its limit: the runner's time-out text is the failure.
        AndroidDeviceManager::Timing timing;
        timing.adbCommandLimit = 0.5;
        manager.setTiming(timing);
        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"), QString(), 0, 5000)});
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(false));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("命令执行超时")));
        QVERIFY(manager.logText().endsWith(QStringLiteral("连接失败：命令执行超时\n")));
        QCOMPARE(m_adb->callCount(FakeAdb::screencap(kSerial)), 0);
        QVERIFY(!manager.isFrameLoopRunning());
    }

    void screenshotFailures()
    {
        AndroidDeviceManager manager;
        // No adb path and no selection yet.
        auto outcome = awaitTask(manager.captureScreenshot());
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("ADB 或设备序列号不可用")));
        QCOMPARE(errorCode(outcome.exception), 4);

        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(QStringLiteral("not a picture"))});
        outcome = awaitTask(manager.captureScreenshot());
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Android 截图失败")));
        QCOMPARE(errorCode(outcome.exception), 5);

        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(4, 4, Qt::blue), QStringLiteral("  closed \n"), 1)});
        outcome = awaitTask(manager.captureScreenshot());
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("  closed \n")));

        // During connect a screenshot failure fails the connection, with the log line.
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(false));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("  closed \n")));
        QCOMPARE(manager.logText(), QStringLiteral("连接失败：  closed \n\n"));
    }

    void liveFrameFailuresAreLoggedAndRetried()
    {
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(false)); // nothing listed yet
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(true));
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(QString(), QStringLiteral("device offline"), 1)});
        QVERIFY(waitFor([&] { return manager.logText().contains(QStringLiteral("截图刷新失败：device offline\n")); }));
        QVERIFY(waitFor([&] { return manager.logText().count(QStringLiteral("截图刷新失败")) >= 2; }));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::connected());
        QVERIFY(manager.liveImage()); // the last good picture stays
        manager.disconnect();
    }

    void captureReusesTheTreeAndRestartsTheLoops()
    {
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(true));
        const int dumps = m_adb->callCount(FakeAdb::dump(kSerial));
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(1080, 2400, Qt::green))});

        const auto outcome = awaitTask(manager.captureForComparison());
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));
        QCOMPARE(outcome.value->image.size(), QSize(1080, 2400));
        QCOMPARE(outcome.value->elements.size(), 2);
        QCOMPARE(outcome.value->screenSize, (SizeValue{1080, 2400}));
        QVERIFY(manager.logText().contains(QStringLiteral("正式对比使用连接期间最近一次 Android 元素树，避免与动态页面刷新争用\n")));
        QCOMPARE(m_adb->callCount(FakeAdb::dump(kSerial)), dumps);
        QCOMPARE(manager.liveImage()->size(), QSize(1080, 2400));
        QVERIFY(manager.isFrameLoopRunning());
        QVERIFY(manager.isHierarchyLoopRunning());
        QVERIFY(!manager.lastCaptureWarning());
        manager.disconnect();
    }

    void captureWithAFailingTreeFallsBackToTheScreenshot()
    {
        // Connected with a tree that holds no element, so the capture reads the tree again.
        m_adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply(QStringLiteral("<hierarchy rotation=\"0\"/>"))});
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(true));
        QVERIFY(manager.elements().isEmpty());
        QVERIFY(!manager.prefersAppiumHierarchy());

        // The dump now fails and no Appium exists: the read fails, the capture goes on without it.
        m_adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("ERROR: could not get idle state.\n"), QString(), 1)});
        QSignalSpy warnings(&manager, &AndroidDeviceManager::lastCaptureWarningChanged);
        const auto outcome = awaitTask(manager.captureForComparison());
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.error.value_or(QString())));
        QVERIFY(outcome.value->elements.isEmpty());
        QCOMPARE(outcome.value->screenSize, (SizeValue{108, 240}));
        QCOMPARE(manager.lastCaptureWarning(), std::optional<QString>(QStringLiteral("Android UI 层级暂时不可用，已自动改用截图视觉对比")));
        QCOMPARE(warnings.size(), 1);
        QVERIFY(manager.logText().contains(
            QStringLiteral("系统 uiautomator 不可用，切换到 Appium 无等待模式：ERROR: could not get idle state.\n\n")));
        QVERIFY(manager.logText().contains(QStringLiteral("正式对比读取元素树失败，已降级为视觉对比：当前页面持续刷新，需要安装 Appium 与 UiAutomator2")));
        QVERIFY(manager.prefersAppiumHierarchy());
        QVERIFY(manager.isFrameLoopRunning() && manager.isHierarchyLoopRunning());

        manager.disconnect();
        QVERIFY(!manager.prefersAppiumHierarchy());
        QVERIFY(!manager.lastCaptureWarning());
    }

    void captureFailures()
    {
        AndroidDeviceManager manager;
        auto outcome = awaitTask(manager.captureForComparison());
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Android 设备尚未连接")));
        QCOMPARE(errorCode(outcome.exception), 3);

        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(true));
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(QString(), QStringLiteral("protocol fault"), 1)});
        outcome = awaitTask(manager.captureForComparison());
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("protocol fault")));
        QCOMPARE(errorCode(outcome.exception), 5);
        QVERIFY(manager.isFrameLoopRunning() && manager.isHierarchyLoopRunning());

        // A capture while connecting fails at once and leaves things alone.
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(10, 10, Qt::red))});
        manager.disconnect();
        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"), QString(), 0, 1500)});
        manager.connect();
        QCOMPARE(manager.connectionState().kind, DeviceConnectionState::Kind::preparing);
        outcome = awaitTask(manager.captureForComparison());
        QCOMPARE(errorCode(outcome.exception), 3);
        QVERIFY(waitFor([&] { return manager.connectionState().kind == DeviceConnectionState::Kind::connected; }));
        manager.disconnect();
    }

    void disconnectDuringCaptureRestartsNothing()
    {
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.connectAndWait()).value == std::optional<bool>(true));
        QJsonObject slowShot = FakeAdb::replyBytes(pngBytes(5, 5, Qt::red));
        slowShot.insert(QStringLiteral("delayMs"), 800);
        m_adb->on(FakeAdb::screencap(kSerial), {slowShot});
        QTimer::singleShot(200ms, &manager, [&manager] { manager.disconnect(); });
        const auto outcome = awaitTask(manager.captureForComparison());
        QVERIFY(outcome.succeeded());
        QVERIFY(!manager.isFrameLoopRunning());
        QVERIFY(!manager.isHierarchyLoopRunning());
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());
    }

    void disconnectWhileConnectingWins()
    {
        AndroidDeviceManager manager;
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"), QString(), 0, 800)});
        manager.connect();
        spinEventLoop(200ms);
        manager.disconnect();
        spinEventLoop(2000ms);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());
        QVERIFY(!manager.isFrameLoopRunning());
        QVERIFY(!manager.liveImage());
    }

    void managerDestroyedWhileLoopsRun()
    {
        auto manager = std::make_unique<AndroidDeviceManager>();
        QVERIFY(awaitTask(manager->listDevices()).succeeded());
        QVERIFY(awaitTask(manager->connectAndWait()).value == std::optional<bool>(true));
        spinEventLoop(300ms);
        manager.reset();
        // The loops notice on their next step and stop without touching the destroyed object.
        spinEventLoop(1500ms);
    }

private:
    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<FakeAdb> m_adb;
};

QTEST_GUILESS_MAIN(AndroidConnectionTest)
#include "tst_android_connection.moc"
