#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeAppium.h"
#include "support/IosManagerFixture.h"
#include "support/WdaScenario.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace Qt::StringLiterals;
using Fixture = IosManagerFixture;

namespace {

// A server that opens session S1 on an empty screen.
QJsonObject sessionScenario()
{
    QImage screen(QSize(10, 20), QImage::Format_RGB32);
    screen.fill(Qt::white);
    return FakeHttpServer::scenario({wda::statusRoute(), wda::sessionRoute({wda::sessionReply(u"S1"_s)}),
                                     wda::screenshotRoute(u"S1"_s, screen), wda::sourceRoute(u"S1"_s, u"<AppiumAUT/>"_s),
                                     wda::deleteRoute(u"S1"_s)});
}

bool answers(int port)
{
    AppiumClient probe(port);
    return awaitTask(probe.isServerReady(std::chrono::seconds(3))).value.value_or(false);
}

} // namespace

class WdaAppiumServerTest : public QObject {
    Q_OBJECT

private slots:
    // No server on the port, and an appium that is missing, cannot be started, or exits at once.
    void appiumThatCannotServe()
    {
        Fixture f(freeLocalPort());
        QVERIFY(!f.connect());
        const QString text = u"未找到 Appium。请先运行 npm install -g appium，并安装 xcuitest 驱动。"_s;
        QCOMPARE(f.manager.connectionState(), DeviceConnectionState::failed(text));
        QVERIFY(f.manager.logText().endsWith(text));
        QCOMPARE(f.tools.calls(u"shell"_s), QStringList{u"-lc command -v appium"_s});

        QTemporaryDir dir;
        f.tools.setAppiumPath(test::writeFile(dir.filePath(u"appium"_s), "#!/bin/sh\n")); // not executable
        QVERIFY(!f.connect());
        QCOMPARE(f.manager.connectionState().kind, DeviceConnectionState::Kind::failed);
        QVERIFY(f.manager.connectionState().message != text && !f.manager.connectionState().message.isEmpty());
        QVERIFY(f.manager.logText().endsWith(f.manager.connectionState().message));
        QVERIFY(!f.manager.startedAppium());

        f.tools.setAppiumPath(FakeIosTools::fakePath(u"appium"_s));
        // Slow probes would show: the loop must stop after the first failed probe once the child is gone.
        f.manager.setTiming({std::chrono::hours(1), std::chrono::milliseconds(400)});
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(awaitTask(f.manager.ensureAppiumRunning()).error, u"Appium 启动失败，请在环境诊断中查看详情"_s);
        QVERIFY2(timer.elapsed() < 10'000, "the readiness loop went on after the server child had exited");
        QVERIFY(f.manager.startedAppium());
        // The child's output went to the log, and it was started with the server arguments.
        QTRY_VERIFY_WITH_TIMEOUT(f.manager.logText().contains(u"fake appium: cannot serve\n"_s), 5000);
        QCOMPARE(f.tools.calls(u"appium"_s), QStringList{u"--address 127.0.0.1 --port %1 --base-path /"_s.arg(f.manager.appiumPort())});
        f.manager.disconnect();
        QVERIFY(!f.manager.startedAppium());
    }

    void ownServerIsStartedUsedAndEndedAtDisconnect()
    {
        FakeAppium appium(sessionScenario());
        const int port = freeLocalPort();
        Fixture f(port);
        f.tools.setAppiumPath(FakeAppium::programPath());
        f.manager.setMjpegPort(freeLocalPort());

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
        QVERIFY(!answers(port));
    }

    void foreignServerIsLeftRunning()
    {
        FakeAppium appium(sessionScenario());
        const int port = freeLocalPort();
        QVERIFY(appium.startLeftoverServer(port));
        Fixture f(port);
        f.tools.setAppiumPath(FakeAppium::programPath());
        f.manager.setMjpegPort(freeLocalPort());
        QVERIFY(f.connect());
        QVERIFY(!f.manager.startedAppium());
        QVERIFY(f.tools.calls(u"shell"_s).isEmpty()); // no lookup was needed
        f.manager.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(appium.http().count("DELETE", "/session/S1"), 1, 10000);
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
        test::EnvironmentOverride environment;
        environment.set("FAKE_APPIUM_TERM_DELAY_MS", QByteArray::number(shutdownMs));
        environment.set("FAKE_APPIUM_CHILD", "1");
        auto manager = std::make_unique<DeviceManager>();
        manager->setAppiumPort(test::freeLocalPort());
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
        Fixture fixture(test::freeLocalPort());
        fixture.tools.setAppiumPath(FakeAppium::programPath());
        // A login shell that takes its time, and says when it has been asked.
        QTemporaryDir dir;
        const QString shell = test::writeFile(dir.filePath(QStringLiteral("slow-shell")),
                                              "#!/bin/sh\ntouch \"$0.asked\"\nsleep 1\nexec '"
                                                  + FakeIosTools::fakePath(QStringLiteral("login-shell")).toUtf8() + "' \"$@\"\n",
                                              QFile::ReadOwner | QFile::ExeOwner);
        qputenv("VANTREL_SHELL", shell.toUtf8()); // restored by the fixture

        fixture.manager.connect(QString(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(shell + QStringLiteral(".asked")), 10'000);
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
