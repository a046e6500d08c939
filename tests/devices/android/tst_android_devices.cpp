#include "devices/android/AndroidDeviceManager.h"
#include "support/AwaitTask.h"
#include "support/FakeAdb.h"
#include "support/FakeAppium.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

const QStringList kList{QStringLiteral("devices"), QStringLiteral("-l")};
const QString kHeading = QStringLiteral("List of devices attached\n");

void list(AndroidDeviceManager &manager)
{
    const auto outcome = awaitTask(manager.listDevices(), 60s);
    QVERIFY(outcome.succeeded());
}

void diagnose(AndroidDeviceManager &manager)
{
    const auto outcome = awaitTask(manager.diagnose(), 60s);
    QVERIFY(outcome.succeeded());
}

} // namespace

class AndroidDevicesTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        // No login shell may find a real adb or appium on this machine.
        qputenv("VANTREL_SHELL", "/bin/false");
    }

    void cleanup()
    {
        qunsetenv("VANTREL_SHELL");
        m_home.reset();
    }

    void emptyListFails()
    {
        FakeAdb adb;
        adb.on(kList, {FakeAdb::reply(kHeading)});
        AndroidDeviceManager manager;
        QSignalSpy states(&manager, &AndroidDeviceManager::connectionStateChanged);
        list(manager);
        QVERIFY(manager.devices().isEmpty());
        QVERIFY(!manager.selectedDeviceID());
        QCOMPARE(manager.connectionState(),
                 DeviceConnectionState::failed(QStringLiteral("未发现 Android 设备，请连接 USB 并开启 USB 调试")));
        QCOMPARE(manager.adbPath(), std::optional<QString>(FakeAdb::programPath()));
        QCOMPARE(states.size(), 2); // preparing, then failed
        QVERIFY(manager.logText().isEmpty());
    }

    void selectionRules()
    {
        FakeAdb adb;
        adb.on(kList, {FakeAdb::reply(kHeading + QStringLiteral("AAA unauthorized usb:1\nBBB device model:Pixel_7\n"))});
        AndroidDeviceManager manager;
        QSignalSpy selection(&manager, &AndroidDeviceManager::selectedDeviceIDChanged);
        QSignalSpy devices(&manager, &AndroidDeviceManager::devicesChanged);
        list(manager);
        QCOMPARE(manager.devices().size(), 2);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("BBB")));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());
        QCOMPARE(selection.size(), 1);
        QCOMPARE(devices.size(), 1);

        // A still-listed selection is kept even when it is not the online one.
        manager.setSelectedDeviceID(QStringLiteral("AAA"));
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("AAA")));

        // A selection that is gone is replaced: the first online phone, else the first phone.
        adb.on(kList, {FakeAdb::reply(kHeading + QStringLiteral("CCC offline\nDDD unauthorized\n"))});
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("CCC")));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("Android 设备离线，请重新插拔 USB")));

        adb.on(kList, {FakeAdb::reply(kHeading)});
        list(manager);
        QVERIFY(!manager.selectedDeviceID());
    }

    void singleUnauthorizedPhone()
    {
        FakeAdb adb;
        adb.on(kList, {FakeAdb::reply(kHeading + QStringLiteral("0123 unauthorized usb:1-1 transport_id:2\n"))});
        AndroidDeviceManager manager;
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("0123")));
        QCOMPARE(manager.connectionState(),
                 DeviceConnectionState::failed(QStringLiteral("请在 Android 手机上允许此电脑进行 USB 调试")));
    }

    void listingCommandFailureOrTimeout()
    {
        FakeAdb adb;
        adb.on(kList, {FakeAdb::reply(kHeading + QStringLiteral("X device\n"), QStringLiteral("daemon not running"), 1)});
        AndroidDeviceManager manager;
        list(manager);
        // The exit status is not examined: the output is parsed as it is.
        QCOMPARE(manager.devices().size(), 1);
        QCOMPARE(adb.callCount(kList), 1);
    }

    void noAdbAnywhere()
    {
        qunsetenv("VANTREL_ADB");
        AndroidDeviceManager manager;
        list(manager);
        QCOMPARE(manager.connectionState(),
                 DeviceConnectionState::failed(QStringLiteral("未找到 ADB，请安装 Android SDK Platform Tools")));
        QVERIFY(manager.devices().isEmpty());
        QVERIFY(!manager.adbPath());
        QVERIFY(manager.logText().isEmpty());
    }

    void adbFromTheHomeSdkAndTheLoginShell()
    {
        qunsetenv("VANTREL_ADB");
        FakeAdb fake;
        qunsetenv("VANTREL_ADB");
        fake.on(kList, {FakeAdb::reply(kHeading + QStringLiteral("S1 device\n"))});

        // The login shell's answer is trimmed.
        QTemporaryDir dir;
        const QString shell = dir.filePath(QStringLiteral("shell"));
        QFile script(shell);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n[ \"$2\" = 'command -v adb' ] && printf '\\n  " + FakeAdb::programPath().toUtf8() + "  \\n' && exit 0\nexit 1\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("VANTREL_SHELL", shell.toUtf8());
        AndroidDeviceManager manager;
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, std::optional<std::optional<QString>>(FakeAdb::programPath()));

        // ~/Library/Android/sdk/platform-tools/adb comes first when it is executable.
        const QString sdkAdb = m_home->filePath(QStringLiteral("Library/Android/sdk/platform-tools/adb"));
        QVERIFY(QDir().mkpath(QFileInfo(sdkAdb).path()));
        QVERIFY(QFile::copy(FakeAdb::programPath(), sdkAdb));
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, std::optional<std::optional<QString>>(sdkAdb));
        list(manager);
        QCOMPARE(manager.adbPath(), std::optional<QString>(sdkAdb));
        QCOMPARE(manager.devices().size(), 1);

        // A file there that may not be executed is passed over.
        QFile::setPermissions(sdkAdb, QFileDevice::ReadOwner);
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, std::optional<std::optional<QString>>(FakeAdb::programPath()));
    }

    void diagnosticsWithFakes()
    {
        FakeAdb adb;
        adb.on({QStringLiteral("version")},
               {FakeAdb::reply(QStringLiteral("Android Debug Bridge version 1.0.41\nVersion 34.0.5\nInstalled as /x/adb\n"))});
        adb.on(kList, {FakeAdb::reply(kHeading + QStringLiteral("0123 device model:Pixel_8\n9999 unauthorized\n"))});
        FakeAppium appium;
        qputenv("FAKE_APPIUM_DRIVERS", R"({"uiautomator2":{"version":"3.0.0","installed":true}})");

        AndroidDeviceManager manager;
        list(manager);
        const std::optional<QString> adbPath = manager.adbPath();
        QSignalSpy changed(&manager, &AndroidDeviceManager::diagnosticsChanged);
        diagnose(manager);
        QCOMPARE(changed.size(), 1);
        const QList<EnvironmentCheck> lines = manager.diagnostics();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0].name, QStringLiteral("ADB"));
        QCOMPARE(lines[0].detail, QStringLiteral("Android Debug Bridge version 1.0.41 · Version 34.0.5"));
        QCOMPARE(lines[0].level, EnvironmentCheck::Level::success);
        QCOMPARE(lines[1].name, QStringLiteral("动态页面层级后备"));
        QCOMPARE(lines[1].detail, QStringLiteral("Appium UiAutomator2 已安装"));
        QCOMPARE(lines[1].level, EnvironmentCheck::Level::success);
        QCOMPARE(lines[2].name, QStringLiteral("Pixel 8"));
        QCOMPARE(lines[2].detail, QStringLiteral("0123 · 已授权"));
        QCOMPARE(lines[2].level, EnvironmentCheck::Level::success);
        QCOMPARE(lines[3].name, QStringLiteral("Android"));
        QCOMPARE(lines[3].detail, QStringLiteral("请在 Android 手机上允许此电脑进行 USB 调试"));
        QCOMPARE(lines[3].level, EnvironmentCheck::Level::failure);
        QVERIFY(lines[0].id != lines[1].id);
        QCOMPARE(manager.adbPath(), adbPath);

        // No driver; adb silent but successful; adb failing.
        qputenv("FAKE_APPIUM_DRIVERS", "{}");
        adb.on({QStringLiteral("version")}, {FakeAdb::reply(QString())});
        diagnose(manager);
        QCOMPARE(manager.diagnostics()[0].detail, QString());
        QCOMPARE(manager.diagnostics()[0].level, EnvironmentCheck::Level::success);
        QCOMPARE(manager.diagnostics()[1].detail, QStringLiteral("建议运行：appium driver install uiautomator2"));
        QCOMPARE(manager.diagnostics()[1].level, EnvironmentCheck::Level::warning);
        adb.on({QStringLiteral("version")}, {FakeAdb::reply(QStringLiteral("only line"), QString(), 1)});
        diagnose(manager);
        QCOMPARE(manager.diagnostics()[0].detail, QStringLiteral("only line"));
        QCOMPARE(manager.diagnostics()[0].level, EnvironmentCheck::Level::failure);
        qunsetenv("FAKE_APPIUM_DRIVERS");
    }

    void diagnosticsWithoutTools()
    {
        qunsetenv("VANTREL_ADB");
        qunsetenv("VANTREL_APPIUM");
        AndroidDeviceManager manager;
        diagnose(manager);
        const QList<EnvironmentCheck> lines = manager.diagnostics();
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].detail, QStringLiteral("未找到 Android SDK Platform Tools"));
        QCOMPARE(lines[0].level, EnvironmentCheck::Level::failure);
        QCOMPARE(lines[1].detail, QStringLiteral("系统 uiautomator 无法等待空闲时需要 Appium UiAutomator2"));
        QCOMPARE(lines[1].level, EnvironmentCheck::Level::warning);
        QCOMPARE(lines[2].name, QStringLiteral("Android 真机"));
        QCOMPARE(lines[2].detail, QStringLiteral("连接 USB 后开启“开发者选项 → USB 调试”"));
        QCOMPARE(lines[2].level, EnvironmentCheck::Level::warning);
    }

    void realAdbWithoutPhones()
    {
        const QString realAdb = QStandardPaths::findExecutable(QStringLiteral("adb"));
        if (realAdb.isEmpty())
            QSKIP("Debian's adb is not installed");
        // A private server port so parallel runs do not share a server; the server is stopped after.
        const int port = FakeAppium::freePort();
        qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(port));
        qputenv("VANTREL_ADB", realAdb.toUtf8());
        AndroidDeviceManager manager;
        list(manager);
        diagnose(manager);
        QProcess::execute(realAdb, {QStringLiteral("kill-server")});
        qunsetenv("VANTREL_ADB");
        qunsetenv("ANDROID_ADB_SERVER_PORT");

        QVERIFY(manager.devices().isEmpty());
        QCOMPARE(manager.connectionState(),
                 DeviceConnectionState::failed(QStringLiteral("未发现 Android 设备，请连接 USB 并开启 USB 调试")));
        const EnvironmentCheck adbLine = manager.diagnostics().value(0);
        QCOMPARE(adbLine.level, EnvironmentCheck::Level::success);
        QVERIFY2(adbLine.detail.startsWith(QStringLiteral("Android Debug Bridge version ")), qPrintable(adbLine.detail));
        QVERIFY(adbLine.detail.contains(QStringLiteral(" · ")));
    }

private:
    std::unique_ptr<TemporaryHome> m_home;
};

QTEST_GUILESS_MAIN(AndroidDevicesTest)
#include "tst_android_devices.moc"
