// Finding adb and the phones: the listing and its selection rules and where adb is looked for,
// with the fake adb and with Debian's real adb. (The diagnostics lines are pinned through the
// command line's diagnose.)
#include "support/AndroidFixture.h"

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

void list(AndroidDeviceManager &manager) { QVERIFY(awaitTask(manager.listDevices(), 60s).succeeded()); }

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
        QCOMPARE(manager.connectionState(), DeviceConnectionState::failed(u"请在 Android 手机上允许此电脑进行 USB 调试"_s));

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
        QVERIFY(awaitTask(manager.diagnose(), 60s).succeeded());
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
