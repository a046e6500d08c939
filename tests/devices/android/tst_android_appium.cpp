#include "devices/android/AndroidDeviceManager.h"
#include "devices/appium/AppiumClient.h"
#include "engine/AppError.h"
#include "support/AwaitTask.h"
#include "support/FakeAdb.h"
#include "support/FakeAppium.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTest>

#include <functional>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

const QString kSerial = QStringLiteral("emulator-5554");
const QString kSession = QStringLiteral("a1b2-session");
const QString kSource = QStringLiteral(
    "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<hierarchy index='0' class='hierarchy' rotation='0' "
    "width='1080' height='2400'><android.widget.FrameLayout class='android.widget.FrameLayout' bounds='[0,0][1080,2400]' "
    "displayed='true'><android.widget.TextView class='android.widget.TextView' text='动态' resource-id='app:id/live' "
    "bounds='[10,20][300,90]' displayed='true'/></android.widget.FrameLayout></hierarchy>");

QJsonObject standardScenario(const QJsonObject &sessionReply = {{QStringLiteral("value"),
                                                                 QJsonObject{{QStringLiteral("sessionId"), kSession},
                                                                             {QStringLiteral("capabilities"), QJsonObject()}}}},
                             int sessionStatus = 200)
{
    return FakeHttpServer::scenario({FakeAppium::statusRoute(), FakeAppium::sessionRoute(sessionReply, sessionStatus),
                                     FakeAppium::sourceRoute(kSession, {{QStringLiteral("value"), kSource}}),
                                     FakeAppium::deleteRoute(kSession)});
}

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

bool portAnswers(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    return socket.waitForConnected(300);
}

bool isTimeoutError(const std::exception_ptr &exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception &error) {
        return AndroidDeviceManager::isTimeout(error);
    } catch (...) {
        return false;
    }
}

int errorCode(const std::exception_ptr &exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const AppError &error) {
        return error.code;
    } catch (...) {
        return -1;
    }
}

} // namespace

class AndroidAppiumTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        qputenv("VANTREL_SHELL", "/bin/false");
        m_adb = std::make_unique<FakeAdb>();
        m_adb->on({QStringLiteral("devices"), QStringLiteral("-l")},
                  {FakeAdb::reply(QStringLiteral("List of devices attached\n") + kSerial + QStringLiteral(" device\n"))});
        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device"))});
        m_adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("ERROR: could not get idle state.\n"),
                                                          QStringLiteral("Killed\n"), 137)});
        m_port = FakeAppium::freePort();
        QVERIFY(m_port > 0);
    }

    void cleanup()
    {
        m_adb.reset();
        qunsetenv("VANTREL_SHELL");
        m_home.reset();
    }

    void fallbackEndToEnd()
    {
        FakeAppium appium(standardScenario());
        QVERIFY2(appium.http().isRunning(), qPrintable(appium.http().errorString()));
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());

        const auto read = awaitTask(manager.refreshHierarchy());
        QVERIFY2(read.succeeded(), qPrintable(read.error.value_or(QString())));
        QCOMPARE(manager.elements().size(), 2);
        QCOMPARE(manager.elements()[1].id, QStringLiteral("app:id/live"));
        QVERIFY(manager.prefersAppiumHierarchy());
        QCOMPARE(manager.appiumSessionID(), std::optional<QString>(kSession));
        QVERIFY(manager.startedAppium() && manager.didPrepareAppiumServer());
        QVERIFY(!manager.isHierarchyRefreshInProgress());
        QVERIFY(manager.logText().contains(
            QStringLiteral("系统 uiautomator 不可用，切换到 Appium 无等待模式：ERROR: could not get idle state.\nKilled\n\n")));
        // Both streams of the server reach the log.
        QVERIFY(waitFor([&] { return manager.logText().contains(QStringLiteral("[Appium] fake diagnostics on stderr")); }));
        QVERIFY(manager.logText().contains(QStringLiteral("[Appium] Welcome to fake Appium on port ")));

        // The server ran with the exact command line and the tool environment.
        const QList<QJsonObject> starts = appium.serverStarts();
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts[0].value(QStringLiteral("args")).toArray(),
                 QJsonArray::fromStringList(AppiumClient::androidServerArguments(m_port)));
        QVERIFY(starts[0].value(QStringLiteral("env")).toObject().value(QStringLiteral("PATH")).toString().startsWith(
            m_home->path() + QStringLiteral("/.local/npm-global/bin:")));

        // The session request: the capabilities, as JSON.
        const QList<QJsonObject> sessions = appium.http().requests(QStringLiteral("/session"));
        const auto create = std::find_if(sessions.begin(), sessions.end(), [](const QJsonObject &r) {
            return r.value(QStringLiteral("method")).toString() == u"POST";
        });
        QVERIFY(create != sessions.end());
        QCOMPARE(create->value(QStringLiteral("headers")).toObject().value(QStringLiteral("content-type")).toString(),
                 QStringLiteral("application/json"));
        QCOMPARE(QJsonDocument::fromJson(create->value(QStringLiteral("body")).toString().toUtf8()).object(),
                 AppiumClient::sessionRequestBody(AndroidDeviceManager::sessionCapabilities(kSerial)));

        // From now on every read goes through Appium without trying uiautomator again.
        const int dumps = m_adb->callCount(FakeAdb::dump(kSerial));
        QVERIFY(awaitTask(manager.refreshHierarchy()).succeeded());
        QCOMPARE(m_adb->callCount(FakeAdb::dump(kSerial)), dumps);
        QCOMPARE(appium.http().requests(QStringLiteral("/session/") + kSession + QStringLiteral("/source")).size(), 2);
        QCOMPARE(appium.serverStarts().size(), 1);

        // Disconnect ends the session and the server this object started.
        QProcess *server = manager.appiumProcess();
        QVERIFY(server);
        manager.disconnect();
        QVERIFY(!manager.appiumSessionID() && !manager.startedAppium() && !manager.didPrepareAppiumServer());
        QVERIFY(!manager.prefersAppiumHierarchy());
        QVERIFY(waitFor([&] {
            const QList<QJsonObject> all = appium.http().requests(QStringLiteral("/session/") + kSession);
            return std::any_of(all.begin(), all.end(), [](const QJsonObject &r) { return r.value(QStringLiteral("method")).toString() == u"DELETE"; });
        }));
        QVERIFY(waitFor([&] { return !portAnswers(m_port); }));
    }

    void leftoverServerIsReplaced()
    {
        FakeAppium appium(standardScenario());
        QVERIFY(appium.startLeftoverServer(m_port));
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());

        const auto running = awaitTask(manager.ensureAppiumRunning());
        QVERIFY2(running.succeeded(), qPrintable(running.error.value_or(QString())));
        QVERIFY(manager.logText().contains(
            QStringLiteral("发现上次遗留的专用 Appium 服务，正在使用完整 Android SDK 环境重新启动\n")));
        QVERIFY2(appium.leftoverServer().state() == QProcess::NotRunning || appium.leftoverServer().waitForFinished(5000),
                 "the leftover server was not stopped");
        QCOMPARE(appium.leftoverServer().exitStatus(), QProcess::CrashExit); // ended by SIGTERM
        QCOMPARE(appium.serverStarts().size(), 2);                          // the leftover, then ours
        QVERIFY(manager.startedAppium() && manager.didPrepareAppiumServer());

        // Once prepared, a server answering is simply used.
        const QString log = manager.logText();
        QVERIFY(awaitTask(manager.ensureAppiumRunning()).succeeded());
        QCOMPARE(appium.serverStarts().size(), 2);
        QVERIFY(!manager.logText().mid(log.size()).contains(QStringLiteral("遗留")));
        manager.disconnect();
    }

    void startFailures()
    {
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());

        // No appium anywhere.
        qunsetenv("VANTREL_APPIUM");
        auto outcome = awaitTask(manager.refreshHierarchyViaAppium());
        QCOMPARE(errorCode(outcome.exception), 12);
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral(
                                    "当前页面持续刷新，需要安装 Appium 与 UiAutomator2：npm install -g appium && appium driver install uiautomator2")));

        // A server that exits at once.
        FakeAppium appium(standardScenario());
        qputenv("FAKE_APPIUM_FAIL", "1");
        QElapsedTimer timer;
        timer.start();
        outcome = awaitTask(manager.refreshHierarchyViaAppium());
        qunsetenv("FAKE_APPIUM_FAIL");
        QCOMPARE(errorCode(outcome.exception), 13);
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Appium 启动失败，请查看 Android 环境诊断")));
        QVERIFY2(timer.elapsed() < 10'000, "a server that died must not be polled sixty times");
        QVERIFY(manager.startedAppium());
        QVERIFY(!manager.didPrepareAppiumServer());
        manager.disconnect();
        QVERIFY(!manager.startedAppium());
    }

    void sessionReplies()
    {
        // Top-level sessionId only.
        {
            FakeAppium appium(standardScenario({{QStringLiteral("value"), QJsonObject{{QStringLiteral("ready"), true}}},
                                                {QStringLiteral("sessionId"), kSession}}));
            AndroidDeviceManager manager;
            manager.setAppiumPort(m_port);
            QVERIFY(awaitTask(manager.listDevices()).succeeded());
            QVERIFY(awaitTask(manager.ensureAppiumSession()).succeeded());
            QCOMPARE(manager.appiumSessionID(), std::optional<QString>(kSession));
            manager.disconnect();
            QVERIFY(waitFor([&] { return !portAnswers(m_port); }));
        }
        // 200 with an empty value.
        {
            FakeAppium appium(standardScenario({{QStringLiteral("value"), QJsonObject()}}));
            AndroidDeviceManager manager;
            manager.setAppiumPort(m_port);
            QVERIFY(awaitTask(manager.listDevices()).succeeded());
            const auto outcome = awaitTask(manager.ensureAppiumSession());
            QCOMPARE(errorCode(outcome.exception), 11);
            QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Appium Android 会话创建失败：{\"value\":{}}")));
            manager.disconnect();
            QVERIFY(waitFor([&] { return !portAnswers(m_port); }));
        }
        // 500 naming the missing SDK.
        {
            FakeAppium appium(standardScenario(
                {{QStringLiteral("value"),
                  QJsonObject{{QStringLiteral("error"), QStringLiteral("session not created")},
                              {QStringLiteral("message"), QStringLiteral("An unknown server-side error occurred: Neither "
                                                                         "ANDROID_HOME nor ANDROID_SDK_ROOT environment variable was exported")}}}},
                500));
            AndroidDeviceManager manager;
            manager.setAppiumPort(m_port);
            QVERIFY(awaitTask(manager.listDevices()).succeeded());
            const auto outcome = awaitTask(manager.refreshHierarchyViaAppium());
            QCOMPARE(errorCode(outcome.exception), 14);
            QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Appium 未获得 Android SDK 路径，请安装新版工具并重新连接")));
            QVERIFY(!manager.appiumSessionID());
            manager.disconnect();
            QVERIFY(waitFor([&] { return !portAnswers(m_port); }));
        }
    }

    void pageSourceReplies()
    {
        FakeAppium appium(FakeHttpServer::scenario(
            {FakeAppium::statusRoute(),
             FakeAppium::sessionRoute({{QStringLiteral("value"), QJsonObject{{QStringLiteral("sessionId"), kSession}}}}),
             FakeHttpServer::route(QStringLiteral("GET"), QStringLiteral("/session/") + kSession + QStringLiteral("/source"),
                                   {FakeHttpServer::json(200, QJsonObject{{QStringLiteral("value"), QStringLiteral("<AppiumAUT/>")}}),
                                    FakeHttpServer::json(200, QJsonObject{{QStringLiteral("value"), QStringLiteral("<hierarchy rotation='0'/>")}}),
                                    FakeHttpServer::text(200, QStringLiteral("not json")),
                                    FakeHttpServer::json(200, QJsonObject{{QStringLiteral("value"), kSource}})}),
             FakeAppium::deleteRoute(kSession)}));
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);

        // No phone selected: no session.
        auto outcome = awaitTask(manager.refreshHierarchyViaAppium());
        QCOMPARE(errorCode(outcome.exception), 8);
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Appium Android 会话未建立")));

        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        outcome = awaitTask(manager.refreshHierarchyViaAppium());
        QCOMPARE(errorCode(outcome.exception), 9);
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Appium 未返回 Android UI 层级")));
        outcome = awaitTask(manager.refreshHierarchyViaAppium());
        QCOMPARE(errorCode(outcome.exception), 10);
        QCOMPARE(outcome.error, std::optional<QString>(QStringLiteral("Android UI 层级为空")));
        outcome = awaitTask(manager.refreshHierarchyViaAppium());
        QVERIFY(outcome.error && !outcome.error->isEmpty()); // a JSON parse failure is passed on
        QCOMPARE(manager.appiumSessionID(), std::optional<QString>(kSession)); // failures keep the session
        QVERIFY(awaitTask(manager.refreshHierarchyViaAppium()).succeeded());
        QCOMPARE(manager.elements().size(), 2);
        manager.disconnect();
    }

    void timeoutStartsTheCooldown()
    {
        FakeAppium appium(FakeHttpServer::scenario(
            {FakeAppium::statusRoute(),
             FakeAppium::sessionRoute({{QStringLiteral("value"), QJsonObject{{QStringLiteral("sessionId"), kSession}}}}),
             FakeAppium::sourceRoute(kSession, {{QStringLiteral("value"), kSource}}, 200, 3000),
             FakeAppium::deleteRoute(kSession)}));
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        AndroidDeviceManager::Timing timing;
        timing.appiumSourceLimit = 400ms;
        timing.hierarchyCooldown = 2500ms;
        manager.setTiming(timing);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());

        auto outcome = awaitTask(manager.refreshHierarchy());
        QVERIFY(outcome.error);
        QVERIFY2(isTimeoutError(outcome.exception), qPrintable(*outcome.error));
        QVERIFY(manager.hierarchyCooldownUntil());
        QVERIFY(manager.logText().contains(QStringLiteral("元素树请求超时，暂停后台层级读取 60 秒，防止 Appium 请求排队\n")));
        QVERIFY(!manager.isHierarchyRefreshInProgress());

        // While cooling down, guarded reads return at once without asking anybody.
        const QString sourcePath = QStringLiteral("/session/") + kSession + QStringLiteral("/source");
        const qsizetype asked = appium.http().requests(sourcePath).size();
        QVERIFY(awaitTask(manager.refreshHierarchy()).succeeded());
        QCOMPARE(appium.http().requests(sourcePath).size(), asked);

        // Once the pause has passed they read again (and time out again).
        spinEventLoop(2600ms);
        QVERIFY(awaitTask(manager.refreshHierarchy()).error);
        QCOMPARE(appium.http().requests(sourcePath).size(), asked + 1);

        // Disconnect and connect clear the pause: the connect reads at once.
        appium.http().setScenario(standardScenario());
        manager.disconnect();
        QVERIFY(!manager.hierarchyCooldownUntil());
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4z8DwHwAFAAH/iZk9HQAAAABJRU5ErkJggg=="))});
        const auto connected = awaitTask(manager.connectAndWait());
        QVERIFY2(connected.value == std::optional<bool>(true), qPrintable(manager.logText()));
        QCOMPARE(manager.elements().size(), 2);
        manager.disconnect();
    }

    void dumpTimeoutSwitchesWithoutCooldown()
    {
        FakeAppium appium(standardScenario());
        m_adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QString(), QString(), 0, 4000)});
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        AndroidDeviceManager::Timing timing;
        timing.dumpLimit = 0.4;
        manager.setTiming(timing);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.refreshHierarchy()).succeeded());
        QVERIFY(manager.logText().contains(QStringLiteral("系统 uiautomator 不可用，切换到 Appium 无等待模式：命令执行超时\n")));
        QVERIFY(!manager.hierarchyCooldownUntil());
        QVERIFY(manager.prefersAppiumHierarchy());
        QCOMPARE(manager.elements().size(), 2);
        manager.disconnect();
    }

    void unreadableDumpFileSwitches()
    {
        FakeAppium appium(standardScenario());
        m_adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("UI hierchary dumped to: /sdcard/vantrel-window.xml\n"))});
        m_adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply(QStringLiteral("cat: /sdcard/vantrel-window.xml: No such file"))});
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());
        QVERIFY(awaitTask(manager.refreshHierarchy()).succeeded());
        QVERIFY(manager.logText().contains(QStringLiteral("系统 UI 层级文件不可读，切换到 Appium 无等待模式\n")));
        QVERIFY(manager.prefersAppiumHierarchy());
        QCOMPARE(manager.elements().size(), 2);
        manager.disconnect();
    }

    void readsInProgressAreNotQueued()
    {
        FakeAppium appium(FakeHttpServer::scenario(
            {FakeAppium::statusRoute(),
             FakeAppium::sessionRoute({{QStringLiteral("value"), QJsonObject{{QStringLiteral("sessionId"), kSession}}}}),
             FakeAppium::sourceRoute(kSession, {{QStringLiteral("value"), kSource}}, 200, 1000),
             FakeAppium::deleteRoute(kSession)}));
        AndroidDeviceManager manager;
        manager.setAppiumPort(m_port);
        QVERIFY(awaitTask(manager.listDevices()).succeeded());

        bool firstDone = false;
        auto first = [&]() -> QCoro::Task<void> {
            co_await manager.refreshHierarchy();
            firstDone = true;
        };
        first();
        QVERIFY(manager.isHierarchyRefreshInProgress());
        QVERIFY(awaitTask(manager.refreshHierarchy()).succeeded()); // returns at once
        QVERIFY(!firstDone);
        QVERIFY(manager.elements().isEmpty());
        QVERIFY(waitFor([&] { return firstDone; }, 20s));
        QVERIFY(!manager.isHierarchyRefreshInProgress());
        QCOMPARE(manager.elements().size(), 2);
        QCOMPARE(appium.http().requests(QStringLiteral("/session/") + kSession + QStringLiteral("/source")).size(), 1);
        manager.disconnect();
    }

    void managerDestroyedWhileARequestIsInFlight()
    {
        FakeAppium appium(FakeHttpServer::scenario(
            {FakeAppium::statusRoute(),
             FakeAppium::sessionRoute({{QStringLiteral("value"), QJsonObject{{QStringLiteral("sessionId"), kSession}}}}),
             FakeAppium::sourceRoute(kSession, {{QStringLiteral("value"), kSource}}, 200, 1000),
             FakeAppium::deleteRoute(kSession)}));
        auto manager = std::make_unique<AndroidDeviceManager>();
        manager->setAppiumPort(m_port);
        QVERIFY(awaitTask(manager->listDevices()).succeeded());
        bool ended = false;
        auto read = [](AndroidDeviceManager *target, bool *done) -> QCoro::Task<void> {
            try {
                co_await target->refreshHierarchy();
            } catch (...) {
            }
            *done = true;
        };
        read(manager.get(), &ended);
        QVERIFY(waitFor([&] { return !appium.http().requests(QStringLiteral("/session/") + kSession).isEmpty(); }));
        manager.reset(); // the page-source request is still waiting for its reply
        QVERIFY(waitFor([&] { return ended; }, 10s));
        QVERIFY(waitFor([&] { return !portAnswers(m_port); }));
    }

private:
    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<FakeAdb> m_adb;
    int m_port = 0;
};

QTEST_GUILESS_MAIN(AndroidAppiumTest)
#include "tst_android_appium.moc"
