// The Android commands of vantrel-cli against the fake adb and appium: devices, diagnose, capture
// and a comparison with the captured tree, and their failures.
#include "support/AndroidFixture.h"
#include "support/CliRunner.h"
#include "support/FakeAppium.h"
#include "support/TestImages.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kSerial = AndroidFixture::kSerial;

// The fixture with a second, unauthorised phone, adb's version and a 720 × 1280 screen.
struct Bench : AndroidFixture {
    Bench()
    {
        adb->on(kList, {FakeAdb::reply(kHeading + kSerial + "  device usb:1-1 product:a52qxx model:SM_A525F device:a52q\n0123 unauthorized usb:1-2\n")});
        adb->on({"version"}, {FakeAdb::reply("Android Debug Bridge version 1.0.41\nVersion 35.0.0\nInstalled as x\n")});
        adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(720, 1280, QColor(250, 250, 250)))});
    }
};

} // namespace

class AndroidCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void devicesList()
    {
        Bench b;
        CliRun run = runCli({"devices", "--platform", "android", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray devices = QJsonDocument::fromJson(run.out).array();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].toObject(), (QJsonObject{{"id", kSerial}, {"name", "SM A525F"}, {"model", "SM A525F"}, {"state", "device"}}));
        QCOMPARE(devices[1].toObject().value("state").toString(), u"unauthorized"_s);

        run = runCli({"devices", "--platform", "Android"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.outText().split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{kSerial + "\tSM A525F\t已授权", "0123\tAndroid\t请在 Android 手机上允许此电脑进行 USB 调试"}));

        // No phones: an empty array, and the reason on stderr.
        b.adb->on(AndroidFixture::kList, {FakeAdb::reply(AndroidFixture::kHeading)});
        run = runCli({"devices", "--platform", "android", "--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(run.out).array().size(), 0);
        QVERIFY(run.errText().contains(u"未发现 Android 设备，请连接 USB 并开启 USB 调试"_s));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("adb"); // replaces VANTREL_ADB when set
        QTest::addColumn<QString>("message");
        QTest::newRow("no platform") << QStringList{"devices"} << "" << "--platform";
        QTest::newRow("unknown platform") << QStringList{"diagnose", "--platform", "windows"} << "" << "不支持的平台：windows";
        QTest::newRow("no --out") << QStringList{"capture", "--platform", "android"} << "" << "--out";
        QTest::newRow("no adb") << QStringList{"devices", "--platform", "android"} << "/nonexistent/adb"
                                << "未找到 ADB，请安装 Android SDK Platform Tools";
        QTest::newRow("unknown serial") << QStringList{"capture", "--platform", "android", "--serial", "NOPE", "--out", "shot.png"} << ""
                                        << "未找到序列号为 NOPE 的 Android 设备";
        QTest::newRow("unauthorised") << QStringList{"capture", "--platform", "android", "--serial", "0123", "--out", "shot.png"} << ""
                                      << "请在 Android 手机上允许此电脑进行 USB 调试";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, adb);
        QFETCH(QString, message);
        Bench b;
        QProcessEnvironment environment;
        if (!adb.isEmpty())
            environment.insert("VANTREL_ADB", adb);
        const CliRun run = runCli(arguments, environment);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errText().contains(message), qPrintable(run.errText()));
    }

    void diagnose()
    {
        Bench b;
        FakeAppium appium;
        qputenv("FAKE_APPIUM_DRIVERS", R"({"uiautomator2":{"version":"3.1.0"}})");
        const CliRun run = runCli({"diagnose", "--platform", "android", "--json"});
        qunsetenv("FAKE_APPIUM_DRIVERS");
        QCOMPARE(run.exitCode, 0);
        const QJsonArray lines = QJsonDocument::fromJson(run.out).array();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0].toObject(),
                 (QJsonObject{{"name", "ADB"}, {"detail", "Android Debug Bridge version 1.0.41 · Version 35.0.0"}, {"level", "success"}}));
        QCOMPARE(lines[2].toObject().value("detail").toString(), kSerial + u" · 已授权"_s);

        qunsetenv("VANTREL_APPIUM");
        const CliRun text = runCli({"diagnose", "--platform", "android"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY(text.outText().contains(u"[提示] 动态页面层级后备：系统 uiautomator 无法等待空闲时需要 Appium UiAutomator2\n"_s));
    }

    void captureThenCompareWithTheTree()
    {
        Bench b;
        QTemporaryDir out;
        const QString shot = out.filePath(u"shot.png"_s);
        const QString tree = out.filePath(u"tree.xml"_s);
        CliRun run = runCli({"capture", "--platform", "android", "--serial", kSerial, "--out", shot, "--elements", tree});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QCOMPARE(QImage(shot).size(), QSize(720, 1280));
        QFile treeFile(tree);
        QVERIFY(treeFile.open(QIODevice::ReadOnly));
        QVERIFY(treeFile.readAll().contains("app:id/title"));
        QVERIFY(run.errText().contains(u"屏幕尺寸 1080×2400，元素 2 个"_s));
        QCOMPARE(b.adb->callCount(FakeAdb::getState(kSerial)), 1);

        // The captured tree drives compare --elements; its largest element gives the screen size.
        run = runCli({"compare", "--device", shot, "--design", shot, "--elements", tree, "--json", "-"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QVERIFY(run.errText().contains(u"已读取元素树：2 个元素，屏幕尺寸 1080×2400"_s));
        QVERIFY(run.errText().contains(u"元素树不参与对比"_s)); // the design is a plain image
        // A tree with no element: the screenshot's size stands in.
        run = runCli({"compare", "--device", shot, "--design", shot, "--elements", writeFile(out.filePath("empty.xml"), "<hierarchy rotation='1'/>")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QVERIFY(run.errText().contains(u"已读取元素树：0 个元素，屏幕尺寸 720×1280"_s));
        // Not a known tree, or no file at all.
        run = runCli({"compare", "--device", shot, "--design", shot, "--elements", writeFile(out.filePath("other.xml"), "<root/>")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(u"无法识别的元素树文件"_s));
        QCOMPARE(runCli({"compare", "--device", shot, "--design", shot, "--elements", out.filePath("missing.xml")}).exitCode, 2);

        // A screenshot that fails leaves no file behind.
        b.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(QString(), "error: closed", 1)});
        run = runCli({"capture", "--platform", "android", "--out", out.filePath("failed.png")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().trimmed().endsWith(u"error: closed"_s));
        QVERIFY(!QFile::exists(out.filePath("failed.png")));
    }
};

QTEST_GUILESS_MAIN(AndroidCommandsTest)
#include "tst_android_commands.moc"
