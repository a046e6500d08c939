// Finding adb and the phones: the listing and its selection rules, where adb is looked for, and the
// environment diagnostics, with the fakes and with Debian's real adb.
#include "support/AndroidFixture.h"
#include "support/FakeAppium.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace std::chrono_literals;

namespace {

const QString kNoPhone = QStringLiteral("未发现 Android 设备，请连接 USB 并开启 USB 调试");
const QString kAuthorise = QStringLiteral("请在 Android 手机上允许此电脑进行 USB 调试");

void list(AndroidDeviceManager &manager) { QVERIFY(awaitTask(manager.listDevices(), 60s).succeeded()); }
void diagnose(AndroidDeviceManager &manager) { QVERIFY(awaitTask(manager.diagnose(), 60s).succeeded()); }

} // namespace

class AndroidDevicesTest : public QObject {
    Q_OBJECT

private slots:
    void selectionRules()
    {
        AndroidFixture f;
        const auto listing = [&](const QString &lines) { f.adb->on(AndroidFixture::kList, {FakeAdb::reply(AndroidFixture::kHeading + lines)}); };
        listing(QStringLiteral("AAA unauthorized usb:1\nBBB device model:Pixel_7\n"));
        AndroidDeviceManager manager;
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("BBB"))); // the first online phone
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());

        manager.setSelectedDeviceID(QStringLiteral("AAA")); // still listed: kept, even offline
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("AAA")));

        listing(QStringLiteral("CCC offline\nDDD unauthorized\n")); // gone: the first phone
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), std::optional<QString>(QStringLiteral("CCC")));
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("Android 设备离线，请重新插拔 USB")));

        listing(QStringLiteral("0123 unauthorized usb:1-1 transport_id:2\n"));
        list(manager);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(kAuthorise));

        // adb's exit status is not examined: its output is parsed as it is.
        f.adb->on(AndroidFixture::kList, {FakeAdb::reply(AndroidFixture::kHeading + "X device\n", "daemon not running", 1)});
        list(manager);
        QCOMPARE(manager.devices().size(), 1);

        listing(QString());
        list(manager);
        QVERIFY(!manager.selectedDeviceID());
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(kNoPhone));
        QVERIFY(manager.logText().isEmpty());
    }

    void adbIsLookedForInTheHomeSdkThenTheLoginShell()
    {
        AndroidFixture f;
        qunsetenv("VANTREL_ADB");
        AndroidDeviceManager manager;
        list(manager);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(QStringLiteral("未找到 ADB，请安装 Android SDK Platform Tools")));
        QVERIFY(!manager.adbPath());

        // The login shell's answer is trimmed.
        QTemporaryDir dir;
        const QString shell = dir.filePath(QStringLiteral("shell"));
        QFile script(shell);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n[ \"$2\" = 'command -v adb' ] && printf '\\n  " + FakeAdb::programPath().toUtf8() + "  \\n' && exit 0\nexit 1\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("VANTREL_SHELL", shell.toUtf8());
        using Found = std::optional<std::optional<QString>>;
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, Found(FakeAdb::programPath()));

        // ~/Library/Android/sdk/platform-tools/adb comes first when it may be executed.
        const QString sdkAdb = f.home.filePath(QStringLiteral("Library/Android/sdk/platform-tools/adb"));
        QVERIFY(QDir().mkpath(QFileInfo(sdkAdb).path()));
        QVERIFY(QFile::copy(FakeAdb::programPath(), sdkAdb));
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, Found(sdkAdb));
        QFile::setPermissions(sdkAdb, QFileDevice::ReadOwner);
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, Found(FakeAdb::programPath()));
    }

    void diagnosticsWithFakes()
    {
        AndroidFixture f;
        f.adb->on({QStringLiteral("version")}, {FakeAdb::reply("Android Debug Bridge version 1.0.41\nVersion 34.0.5\nInstalled as /x/adb\n")});
        f.adb->on(AndroidFixture::kList, {FakeAdb::reply(AndroidFixture::kHeading + "0123 device model:Pixel_8\n9999 unauthorized\n")});
        FakeAppium appium;
        qputenv("FAKE_APPIUM_DRIVERS", R"({"uiautomator2":{"version":"3.0.0","installed":true}})");
        AndroidDeviceManager manager;
        list(manager);
        diagnose(manager);
        const auto line = [&](int i) {
            const EnvironmentCheck c = manager.diagnostics().value(i);
            return QStringList{c.name, c.detail, QString::number(int(c.level))};
        };
        const QString ok = QString::number(int(EnvironmentCheck::Level::success));
        const QString warning = QString::number(int(EnvironmentCheck::Level::warning));
        const QString failure = QString::number(int(EnvironmentCheck::Level::failure));
        QCOMPARE(manager.diagnostics().size(), 4);
        QCOMPARE(line(0), (QStringList{"ADB", "Android Debug Bridge version 1.0.41 · Version 34.0.5", ok}));
        QCOMPARE(line(1), (QStringList{"动态页面层级后备", "Appium UiAutomator2 已安装", ok}));
        QCOMPARE(line(2), (QStringList{"Pixel 8", "0123 · 已授权", ok}));
        QCOMPARE(line(3), (QStringList{"Android", kAuthorise, failure}));

        qputenv("FAKE_APPIUM_DRIVERS", "{}");
        f.adb->on({QStringLiteral("version")}, {FakeAdb::reply("only line", QString(), 1)});
        diagnose(manager);
        qunsetenv("FAKE_APPIUM_DRIVERS");
        QCOMPARE(line(0), (QStringList{"ADB", "only line", failure}));
        QCOMPARE(line(1), (QStringList{"动态页面层级后备", "建议运行：appium driver install uiautomator2", warning}));

        qunsetenv("VANTREL_ADB");
        qunsetenv("VANTREL_APPIUM");
        AndroidDeviceManager bare;
        diagnose(bare);
        QCOMPARE(bare.diagnostics().size(), 3);
        QCOMPARE(bare.diagnostics()[0].detail, QStringLiteral("未找到 Android SDK Platform Tools"));
        QCOMPARE(bare.diagnostics()[1].detail, QStringLiteral("系统 uiautomator 无法等待空闲时需要 Appium UiAutomator2"));
        QCOMPARE(bare.diagnostics()[2].detail, QStringLiteral("连接 USB 后开启“开发者选项 → USB 调试”"));
    }

    void realAdbWithoutPhones()
    {
        const QString realAdb = QStandardPaths::findExecutable(QStringLiteral("adb"));
        if (realAdb.isEmpty())
            QSKIP("Debian's adb is not installed");
        TemporaryHome home;
        qputenv("VANTREL_SHELL", "/bin/false");
        // A private server port so parallel runs do not share a server; the server is stopped after.
        qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(freeLocalPort()));
        qputenv("VANTREL_ADB", realAdb.toUtf8());
        AndroidDeviceManager manager;
        list(manager);
        diagnose(manager);
        QProcess::execute(realAdb, {QStringLiteral("kill-server")});
        qunsetenv("VANTREL_ADB");
        qunsetenv("ANDROID_ADB_SERVER_PORT");
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(kNoPhone));
        const EnvironmentCheck adbLine = manager.diagnostics().value(0);
        QCOMPARE(adbLine.level, EnvironmentCheck::Level::success);
        QVERIFY2(adbLine.detail.startsWith(QStringLiteral("Android Debug Bridge version ")), qPrintable(adbLine.detail));
        QVERIFY(adbLine.detail.contains(QStringLiteral(" · ")));
    }
};

QTEST_GUILESS_MAIN(AndroidDevicesTest)
#include "tst_android_devices.moc"
