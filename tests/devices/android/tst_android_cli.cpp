#include "support/CliRunner.h"
#include "support/FakeAdb.h"
#include "support/FakeAppium.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel::test;

namespace {

const QString kSerial = QStringLiteral("R58N12ABCDE");
const QString kDump = QStringLiteral(
    "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">"
    "<node class=\"android.widget.FrameLayout\" bounds=\"[0,0][720,1280]\">"
    "<node resource-id=\"shop:id/pay\" text=\"去支付\" class=\"android.widget.Button\" bounds=\"[40,1100][680,1220]\"/>"
    "</node></hierarchy>");

} // namespace

class AndroidCliTest : public QObject {
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
                                  + QStringLiteral("  device usb:1-1 product:a52qxx model:SM_A525F device:a52q\n"
                                                   "0123 unauthorized usb:1-2\n"))});
        m_adb->on({QStringLiteral("version")},
                  {FakeAdb::reply(QStringLiteral("Android Debug Bridge version 1.0.41\nVersion 35.0.0\nInstalled as x\n"))});
        m_adb->on(FakeAdb::getState(kSerial), {FakeAdb::reply(QStringLiteral("device\n"))});
        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(720, 1280, QColor(250, 250, 250)))});
        m_adb->on(FakeAdb::dump(kSerial), {FakeAdb::reply(QStringLiteral("UI hierchary dumped\n"))});
        m_adb->on(FakeAdb::readDump(kSerial), {FakeAdb::reply(kDump)});
    }

    void cleanup()
    {
        m_adb.reset();
        qunsetenv("VANTREL_SHELL");
        m_home.reset();
    }

    void devicesList()
    {
        CliRun run = runCli({QStringLiteral("devices"), QStringLiteral("--platform"), QStringLiteral("android"),
                             QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray devices = QJsonDocument::fromJson(run.out).array();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].toObject(), (QJsonObject{{QStringLiteral("id"), kSerial},
                                                     {QStringLiteral("name"), QStringLiteral("SM A525F")},
                                                     {QStringLiteral("model"), QStringLiteral("SM A525F")},
                                                     {QStringLiteral("state"), QStringLiteral("device")}}));
        QCOMPARE(devices[1].toObject().value(QStringLiteral("state")).toString(), QStringLiteral("unauthorized"));

        run = runCli({QStringLiteral("devices"), QStringLiteral("--platform"), QStringLiteral("Android")});
        QCOMPARE(run.exitCode, 0);
        const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], kSerial + QStringLiteral("\tSM A525F\t已授权"));
        QCOMPARE(lines[1], QStringLiteral("0123\tAndroid\t请在 Android 手机上允许此电脑进行 USB 调试"));

        // No phones: an empty array, and the reason on stderr.
        m_adb->on({QStringLiteral("devices"), QStringLiteral("-l")}, {FakeAdb::reply(QStringLiteral("List of devices attached\n"))});
        run = runCli({QStringLiteral("devices"), QStringLiteral("--platform"), QStringLiteral("android"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(run.out).array().size(), 0);
        QVERIFY(run.errText().contains(QStringLiteral("未发现 Android 设备，请连接 USB 并开启 USB 调试")));
    }

    void badArgumentsAndMissingAdb()
    {
        CliRun run = runCli({QStringLiteral("devices")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(QStringLiteral("--platform")));
        run = runCli({QStringLiteral("diagnose"), QStringLiteral("--platform"), QStringLiteral("windows")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(QStringLiteral("不支持的平台：windows")));
        run = runCli({QStringLiteral("capture"), QStringLiteral("--platform"), QStringLiteral("android")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(QStringLiteral("--out")));

        qputenv("VANTREL_ADB", "/nonexistent/adb");
        run = runCli({QStringLiteral("devices"), QStringLiteral("--platform"), QStringLiteral("android")});
        qputenv("VANTREL_ADB", FakeAdb::programPath().toUtf8());
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.errText().trimmed().split(u'\n').last(), QStringLiteral("未找到 ADB，请安装 Android SDK Platform Tools"));
    }

    void diagnose()
    {
        FakeAppium appium;
        qputenv("FAKE_APPIUM_DRIVERS", R"({"uiautomator2":{"version":"3.1.0"}})");
        const CliRun run = runCli({QStringLiteral("diagnose"), QStringLiteral("--platform"), QStringLiteral("android"),
                                   QStringLiteral("--json")});
        qunsetenv("FAKE_APPIUM_DRIVERS");
        QCOMPARE(run.exitCode, 0);
        const QJsonArray lines = QJsonDocument::fromJson(run.out).array();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0].toObject(), (QJsonObject{{QStringLiteral("name"), QStringLiteral("ADB")},
                                                   {QStringLiteral("detail"), QStringLiteral("Android Debug Bridge version 1.0.41 · Version 35.0.0")},
                                                   {QStringLiteral("level"), QStringLiteral("success")}}));
        QCOMPARE(lines[1].toObject().value(QStringLiteral("level")).toString(), QStringLiteral("success"));
        QCOMPARE(lines[2].toObject().value(QStringLiteral("detail")).toString(), kSerial + QStringLiteral(" · 已授权"));
        QCOMPARE(lines[3].toObject().value(QStringLiteral("level")).toString(), QStringLiteral("failure"));

        qunsetenv("VANTREL_APPIUM");
        const CliRun text = runCli({QStringLiteral("diagnose"), QStringLiteral("--platform"), QStringLiteral("android")});
        QCOMPARE(text.exitCode, 0);
        QVERIFY(QString::fromUtf8(text.out).contains(
            QStringLiteral("[提示] 动态页面层级后备：系统 uiautomator 无法等待空闲时需要 Appium UiAutomator2\n")));
    }

    void captureThenCompareWithTheTree()
    {
        QTemporaryDir out;
        const QString shot = out.filePath(QStringLiteral("shot.png"));
        const QString tree = out.filePath(QStringLiteral("tree.xml"));
        CliRun run = runCli({QStringLiteral("capture"), QStringLiteral("--platform"), QStringLiteral("android"),
                             QStringLiteral("--serial"), kSerial, QStringLiteral("--out"), shot,
                             QStringLiteral("--elements"), tree});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QCOMPARE(QImage(shot).size(), QSize(720, 1280));
        QFile treeFile(tree);
        QVERIFY(treeFile.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(treeFile.readAll()), kDump);
        QVERIFY(run.errText().contains(QStringLiteral("屏幕尺寸 720×1280，元素 2 个")));
        QCOMPARE(m_adb->callCount(FakeAdb::getState(kSerial)), 1);

        // The captured tree drives compare --elements.
        run = runCli({QStringLiteral("compare"), QStringLiteral("--device"), shot, QStringLiteral("--design"), shot,
                      QStringLiteral("--elements"), tree, QStringLiteral("--json"), QStringLiteral("-")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QVERIFY(run.errText().contains(QStringLiteral("已读取元素树：2 个元素，屏幕尺寸 720×1280")));
        QCOMPARE(QJsonDocument::fromJson(run.out).object().value(QStringLiteral("status")).toString(), QStringLiteral("一致"));

        // A tree with no element: the screenshot's size stands in.
        QFile empty(out.filePath(QStringLiteral("empty.xml")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.write("<hierarchy rotation='1'/>");
        empty.close();
        run = runCli({QStringLiteral("compare"), QStringLiteral("--device"), shot, QStringLiteral("--design"), shot,
                      QStringLiteral("--elements"), empty.fileName()});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QVERIFY(run.errText().contains(QStringLiteral("已读取元素树：0 个元素，屏幕尺寸 720×1280")));

        // Not a known tree, or no file at all.
        QFile other(out.filePath(QStringLiteral("other.xml")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("<root/>");
        other.close();
        run = runCli({QStringLiteral("compare"), QStringLiteral("--device"), shot, QStringLiteral("--design"), shot,
                      QStringLiteral("--elements"), other.fileName()});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(QStringLiteral("无法识别的元素树文件")));
        run = runCli({QStringLiteral("compare"), QStringLiteral("--device"), shot, QStringLiteral("--design"), shot,
                      QStringLiteral("--elements"), out.filePath(QStringLiteral("missing.xml"))});
        QCOMPARE(run.exitCode, 2);
    }

    void captureFailures()
    {
        QTemporaryDir out;
        const QString shot = out.filePath(QStringLiteral("shot.png"));
        CliRun run = runCli({QStringLiteral("capture"), QStringLiteral("--platform"), QStringLiteral("android"),
                             QStringLiteral("--serial"), QStringLiteral("NOPE"), QStringLiteral("--out"), shot});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().contains(QStringLiteral("未找到序列号为 NOPE 的 Android 设备")));

        run = runCli({QStringLiteral("capture"), QStringLiteral("--platform"), QStringLiteral("android"),
                      QStringLiteral("--serial"), QStringLiteral("0123"), QStringLiteral("--out"), shot});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().trimmed().endsWith(QStringLiteral("请在 Android 手机上允许此电脑进行 USB 调试")));

        m_adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(QString(), QStringLiteral("error: closed"), 1)});
        run = runCli({QStringLiteral("capture"), QStringLiteral("--platform"), QStringLiteral("android"),
                      QStringLiteral("--out"), shot});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.errText().trimmed().endsWith(QStringLiteral("error: closed")));
        QVERIFY(!QFile::exists(shot));
    }

private:
    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<FakeAdb> m_adb;
};

QTEST_GUILESS_MAIN(AndroidCliTest)
#include "tst_android_cli.moc"
