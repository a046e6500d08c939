#include "devices/ios/DeviceManager.h"
#include "devices/ios/DeviceManagerError.h"

#include "support/AwaitTask.h"
#include "support/FakeAppium.h"
#include "support/FakeHttpServer.h"
#include "support/IosManagerFixture.h"
#include "support/WdaScenario.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTest>

using namespace vantrel;
using test::FakeAppium;
using test::FakeHttpServer;
using test::FakeIosTools;
using Fixture = test::IosManagerFixture;
namespace wda = test::wda;

namespace {

// A server that opens session S1 on an empty screen.
QJsonObject sessionScenario()
{
    QImage screen(QSize(10, 20), QImage::Format_RGB32);
    screen.fill(Qt::white);
    return FakeHttpServer::scenario({wda::statusRoute(), wda::sessionRoute({wda::sessionReply(QStringLiteral("S1"))}),
                                     wda::screenshotRoute(QStringLiteral("S1"), screen),
                                     wda::sourceRoute(QStringLiteral("S1"), QStringLiteral("<AppiumAUT/>")),
                                     wda::deleteRoute(QStringLiteral("S1"))});
}

bool answers(int port)
{
    AppiumClient probe(port);
    return test::awaitTask(probe.isServerReady(std::chrono::seconds(3))).value.value_or(false);
}

} // namespace

class WdaAppiumServerTest : public QObject {
    Q_OBJECT

private slots:
    void noServerAndNoAppium()
    {
        Fixture fixture(FakeAppium::freePort());
        DeviceManager &manager = fixture.manager;
        FakeIosTools &tools = fixture.tools;
        QVERIFY(!fixture.connect());
        const QString text = QStringLiteral("未找到 Appium。请先运行 npm install -g appium，并安装 xcuitest 驱动。");
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(text));
        QVERIFY(manager.logText().endsWith(text));
        QVERIFY(!manager.startedAppium());
        QCOMPARE(tools.calls(QStringLiteral("shell")), QStringList{QStringLiteral("-lc command -v appium")});
    }

    void serverThatExitsAtOnce()
    {
        Fixture fixture(FakeAppium::freePort());
        DeviceManager &manager = fixture.manager;
        FakeIosTools &tools = fixture.tools;
        tools.setAppiumPath(FakeIosTools::fakePath(QStringLiteral("appium")));
        // Slow probes would show: the loop must stop after the first failed probe once the child is gone.
        manager.setTiming({std::chrono::hours(1), std::chrono::milliseconds(400)});
        QElapsedTimer timer;
        timer.start();
        const auto outcome = test::awaitTask(manager.ensureAppiumRunning());
        QVERIFY(!outcome.succeeded());
        QCOMPARE(*outcome.error, QStringLiteral("Appium 启动失败，请在环境诊断中查看详情"));
        QVERIFY2(timer.elapsed() < 10'000, "the readiness loop went on after the server child had exited");
        QVERIFY(manager.startedAppium());
        // The child's output went to the log, and it was started with the server arguments.
        QTRY_VERIFY_WITH_TIMEOUT(manager.logText().contains(QStringLiteral("fake appium: cannot serve\n")), 5000);
        QCOMPARE(tools.calls(QStringLiteral("appium")),
                 QStringList{QStringLiteral("--address 127.0.0.1 --port %1 --base-path /").arg(manager.appiumPort())});
        manager.disconnect();
        QVERIFY(!manager.startedAppium());
    }

    void appiumThatCannotBeStarted()
    {
        Fixture fixture(FakeAppium::freePort());
        DeviceManager &manager = fixture.manager;
        QTemporaryDir dir;
        const QString notExecutable = dir.filePath(QStringLiteral("appium"));
        QFile file(notExecutable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        fixture.tools.setAppiumPath(notExecutable);
        QVERIFY(!fixture.connect());
        QCOMPARE(manager.connectionState().kind, DeviceConnectionState::Kind::failed);
        QVERIFY(!manager.connectionState().message.isEmpty());
        QVERIFY(manager.logText().endsWith(manager.connectionState().message));
        QVERIFY(!manager.startedAppium());
    }

    void ownServerIsStartedUsedAndEndedAtDisconnect()
    {
        FakeAppium appium(sessionScenario());
        QVERIFY2(appium.http().isRunning(), qPrintable(appium.http().errorString()));
        const int port = FakeAppium::freePort();
        Fixture fixture(port);
        DeviceManager &manager = fixture.manager;
        fixture.tools.setAppiumPath(FakeAppium::programPath());
        manager.setMjpegPort(FakeAppium::freePort());

        QVERIFY(fixture.connect());
        QVERIFY(manager.startedAppium());
        QVERIFY(manager.appiumProcess());
        const QList<QJsonObject> starts = appium.serverStarts();
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts.at(0).value(QStringLiteral("args")).toArray(),
                 QJsonArray::fromStringList({QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                             QString::number(port), QStringLiteral("--base-path"), QStringLiteral("/")}));
        // The application's own environment, not the tool environment.
        QCOMPARE(starts.at(0).value(QStringLiteral("env")).toObject().value(QStringLiteral("PATH")).toString(),
                 qEnvironmentVariable("PATH"));
        QTRY_VERIFY_WITH_TIMEOUT(manager.logText().contains(QStringLiteral("[Appium] Welcome to fake Appium")), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(manager.logText().contains(QStringLiteral("fake diagnostics on stderr")), 5000);

        // A second connection reuses the running server.
        QVERIFY(fixture.connect());
        QCOMPARE(appium.serverStarts().size(), 1);

        QPointer<QProcess> child = manager.appiumProcess();
        manager.disconnect();
        QVERIFY(!manager.startedAppium());
        QVERIFY(!manager.appiumProcess());
        QTRY_VERIFY_WITH_TIMEOUT(!child, 10000); // ended and released
        QVERIFY(!answers(port));
    }

    void foreignServerIsLeftRunning()
    {
        FakeAppium appium(sessionScenario());
        QVERIFY2(appium.http().isRunning(), qPrintable(appium.http().errorString()));
        const int port = FakeAppium::freePort();
        QVERIFY(appium.startLeftoverServer(port));
        Fixture fixture(port);
        DeviceManager &manager = fixture.manager;
        fixture.tools.setAppiumPath(FakeAppium::programPath());
        manager.setMjpegPort(FakeAppium::freePort());
        QVERIFY(fixture.connect());
        QVERIFY(!manager.startedAppium());
        QVERIFY(fixture.tools.calls(QStringLiteral("shell")).isEmpty()); // no lookup was needed
        manager.disconnect();
        const auto deletes = [&] {
            qsizetype count = 0;
            for (const QJsonObject &request : appium.http().requests(QStringLiteral("/session/S1")))
                count += request.value(QStringLiteral("method")).toString() == QStringLiteral("DELETE");
            return count;
        };
        QTRY_COMPARE_WITH_TIMEOUT(deletes(), 1, 10000);
        QVERIFY(answers(port));
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
        // /proc/PID/stat: "pid (name) state ppid pgrp ..."; a zombie counts as gone.
        const auto stat = [](qint64 pid) {
            QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
            return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u')', -1).split(u' ', Qt::SkipEmptyParts)
                                                  : QStringList();
        };
        const auto alive = [&](qint64 pid) { return stat(pid).value(0, QStringLiteral("Z")) != u"Z"; };
        const auto childrenOf = [&](qint64 parent) {
            QList<qint64> children;
            for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
                if (entry.toLongLong() > 0 && stat(entry.toLongLong()).value(1).toLongLong() == parent)
                    children.append(entry.toLongLong());
            return children;
        };

        FakeAppium appium(sessionScenario());
        qputenv("FAKE_APPIUM_TERM_DELAY_MS", QByteArray::number(shutdownMs));
        qputenv("FAKE_APPIUM_CHILD", "1");
        const auto restore = qScopeGuard([] {
            qunsetenv("FAKE_APPIUM_TERM_DELAY_MS");
            qunsetenv("FAKE_APPIUM_CHILD");
        });
        auto manager = std::make_unique<DeviceManager>();
        manager->setAppiumPort(FakeAppium::freePort());
        QString log;
        connect(manager.get(), &DeviceManagerBase::logTextChanged, this, [&log, raw = manager.get()] { log = raw->logText(); });
        QVERIFY(test::awaitTask(manager->ensureAppiumRunning()).succeeded());
        const qint64 server = manager->appiumProcess()->processId();
        QCOMPARE(stat(server).value(2).toLongLong(), server); // it leads a group of its own
        QTRY_VERIFY_WITH_TIMEOUT(!childrenOf(server).isEmpty(), 5000);
        const QList<qint64> group = QList<qint64>{server} + childrenOf(server);

        manager->disconnect();
        const auto anyAlive = [&] { return std::any_of(group.cbegin(), group.cend(), alive); };
        if (managerGoesAtOnce)
            manager.reset(); // ends the server (a wait within its grace): nothing is left to do it later
        QTRY_VERIFY_WITH_TIMEOUT(!anyAlive(), 10'000);
        QVERIFY2(log.contains(QStringLiteral("[Appium] Received SIGTERM - shutting down\n")), qPrintable(log));
        QCOMPARE(log.contains(QStringLiteral("[Appium] Closed the server\n")),
                 shutdownMs < AppiumServerProcess::kShutdownGrace.count());
    }

    void disconnectWhileAppiumIsLocatedStartsNoServer()
    {
        FakeAppium appium(sessionScenario());
        Fixture fixture(FakeAppium::freePort());
        fixture.tools.setAppiumPath(FakeAppium::programPath());
        // A login shell that takes its time, and says when it has been asked.
        QTemporaryDir dir;
        QFile shell(dir.filePath(QStringLiteral("slow-shell")));
        QVERIFY(shell.open(QIODevice::WriteOnly));
        shell.write("#!/bin/sh\ntouch \"$0.asked\"\nsleep 1\nexec '" + FakeIosTools::fakePath(QStringLiteral("login-shell")).toUtf8()
                    + "' \"$@\"\n");
        shell.close();
        shell.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("VANTREL_SHELL", shell.fileName().toUtf8()); // restored by the fixture

        fixture.manager.connect(QString(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(shell.fileName() + QStringLiteral(".asked")), 10'000);
        fixture.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(fixture.tools.calls(QStringLiteral("shell")).size(), 1, 10'000);
        test::spinEventLoop(std::chrono::milliseconds(500)); // room for the attempt to go on, were it to
        QVERIFY(!fixture.manager.startedAppium());
        QVERIFY(appium.serverStarts().isEmpty());
        QCOMPARE(fixture.manager.connectionState(), DeviceConnectionState::idle());
    }
};

QTEST_MAIN(WdaAppiumServerTest)
#include "tst_wda_appium_server.moc"
