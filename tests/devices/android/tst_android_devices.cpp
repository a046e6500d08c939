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
using namespace Qt::StringLiterals;

namespace {

const QString kNoPhone = u"未发现 Android 设备，请连接 USB 并开启 USB 调试"_s;
const QString kAuthorise = u"请在 Android 手机上允许此电脑进行 USB 调试"_s;

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
        listing(u"AAA unauthorized usb:1\nBBB device model:Pixel_7\n"_s);
        AndroidDeviceManager manager;
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), u"BBB"_s); // the first online phone
        QCOMPARE(manager.connectionState(), DeviceConnectionState::idle());

        manager.setSelectedDeviceID(u"AAA"_s); // still listed: kept, even offline
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), u"AAA"_s);

        listing(u"CCC offline\nDDD unauthorized\n"_s); // gone: the first phone
        list(manager);
        QCOMPARE(manager.selectedDeviceID(), u"CCC"_s);
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"Android 设备离线，请重新插拔 USB"_s));

        listing(u"0123 unauthorized usb:1-1 transport_id:2\n"_s);
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
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"未找到 ADB，请安装 Android SDK Platform Tools"_s));
        QVERIFY(!manager.adbPath());

        // The login shell's answer is trimmed.
        QTemporaryDir dir;
        const QString shell = writeFile(dir.filePath(u"shell"_s),
                                        "#!/bin/sh\n[ \"$2\" = 'command -v adb' ] && printf '\\n  " + FakeAdb::programPath().toUtf8()
                                            + "  \\n' && exit 0\nexit 1\n",
                                        QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("VANTREL_SHELL", shell.toUtf8());
        using Found = std::optional<std::optional<QString>>;
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, Found(FakeAdb::programPath()));

        // ~/Library/Android/sdk/platform-tools/adb comes first when it may be executed.
        const QString sdkAdb = f.home.filePath(u"Library/Android/sdk/platform-tools/adb"_s);
        QVERIFY(QDir().mkpath(QFileInfo(sdkAdb).path()));
        QVERIFY(QFile::copy(FakeAdb::programPath(), sdkAdb));
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, Found(sdkAdb));
        QFile::setPermissions(sdkAdb, QFileDevice::ReadOwner);
        QCOMPARE(awaitTask(manager.resolveADBPath()).value, Found(FakeAdb::programPath()));
    }

    void diagnosticsWithFakes()
    {
        AndroidFixture f;
        f.adb->on({u"version"_s}, {FakeAdb::reply("Android Debug Bridge version 1.0.41\nVersion 34.0.5\nInstalled as /x/adb\n")});
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
        f.adb->on({u"version"_s}, {FakeAdb::reply("only line", QString(), 1)});
        diagnose(manager);
        qunsetenv("FAKE_APPIUM_DRIVERS");
        QCOMPARE(line(0), (QStringList{"ADB", "only line", failure}));
        QCOMPARE(line(1), (QStringList{"动态页面层级后备", "建议运行：appium driver install uiautomator2", warning}));

        qunsetenv("VANTREL_ADB");
        qunsetenv("VANTREL_APPIUM");
        AndroidDeviceManager bare;
        diagnose(bare);
        QCOMPARE(bare.diagnostics().size(), 3);
        QCOMPARE(bare.diagnostics()[0].detail, u"未找到 Android SDK Platform Tools"_s);
        QCOMPARE(bare.diagnostics()[1].detail, u"系统 uiautomator 无法等待空闲时需要 Appium UiAutomator2"_s);
        QCOMPARE(bare.diagnostics()[2].detail, u"连接 USB 后开启“开发者选项 → USB 调试”"_s);
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
        list(manager);
        diagnose(manager);
        QProcess stop;
        stop.start(realAdb, {u"kill-server"_s});
        if (!stop.waitForFinished(10'000))
            stop.kill(); // a server that does not answer is left to its own time-out
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(kNoPhone));
        const EnvironmentCheck adbLine = manager.diagnostics().value(0);
        QCOMPARE(adbLine.level, EnvironmentCheck::Level::success);
        QVERIFY2(adbLine.detail.startsWith(u"Android Debug Bridge version "_s), qPrintable(adbLine.detail));
        QVERIFY(adbLine.detail.contains(u" · "_s));
    }
};

QTEST_GUILESS_MAIN(AndroidDevicesTest)
#include "tst_android_devices.moc"
