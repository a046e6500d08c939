// The Android commands of vantrel-cli against the fake adb and appium: devices, diagnose, capture,
// a comparison with the captured tree, and their failures. Every run's exit code, output and adb
// calls (screenshots aside) go into one transcript compared with tests/data/golden/android-cli.txt.
#include "support/AndroidTranscript.h"
#include "support/CliRunner.h"
#include "support/FakeAppium.h"
#include "support/Golden.h"
#include "support/TestImages.h"

#include <QFile>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kSerial = AndroidFixture::kSerial;

// The fixture with a second, unauthorised phone, adb's version and a 720 × 1280 screen; `run`
// adds one command with its exit code, output and adb calls to the transcript.
struct Bench : AndroidFixture {
    QTemporaryDir out;
    AndroidTranscript t{*adb};

    Bench()
    {
        adb->on(kList, {FakeAdb::reply(kHeading + kSerial + "  device usb:1-1 product:a52qxx model:SM_A525F device:a52q\n0123 unauthorized usb:1-2\n")});
        adb->on({"version"}, {FakeAdb::reply("Android Debug Bridge version 1.0.41\nVersion 35.0.0\nInstalled as x\n")});
        adb->on(FakeAdb::screencap(kSerial), {FakeAdb::replyBytes(pngBytes(720, 1280, QColor(250, 250, 250)))});
    }
    QString path(const QString &name) const { return out.filePath(name); }
    void run(const QStringList &arguments, const QProcessEnvironment &environment = {})
    {
        t.step(arguments.join(u' '));
        const CliRun result = runCli(arguments, environment);
        t.note(u"exit "_s + QString::number(result.exitCode));
        for (const QString &line : result.outText().split(u'\n', Qt::SkipEmptyParts))
            t.note(u"out: "_s + line);
        for (const QString &line : result.errText().split(u'\n', Qt::SkipEmptyParts))
            t.note(u"err: "_s + line);
    }
};

} // namespace

class AndroidCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void commandsTranscript()
    {
        Bench b;
        QProcessEnvironment noAdb;
        noAdb.insert("VANTREL_ADB", "/nonexistent/adb");
        b.run({"devices", "--platform", "android", "--json"});
        b.run({"devices", "--platform", "Android"});
        b.run({"devices"});
        b.run({"diagnose", "--platform", "windows"});
        b.run({"devices", "--platform", "android"}, noAdb);
        b.run({"capture", "--platform", "android"});
        b.run({"capture", "--platform", "android", "--serial", "NOPE", "--out", b.path("shot.png")});
        b.run({"capture", "--platform", "android", "--serial", "0123", "--out", b.path("shot.png")});
        {
            FakeAppium appium;
            appium.environment().set("FAKE_APPIUM_DRIVERS", R"({"uiautomator2":{"version":"3.1.0"}})");
            b.run({"diagnose", "--platform", "android", "--json"});
            // adb's version fails and the driver is missing.
            appium.environment().set("FAKE_APPIUM_DRIVERS", "{}");
            b.adb->on({"version"}, {FakeAdb::reply("only line", QString(), 1)});
            b.run({"diagnose", "--platform", "android"});
        }
        b.run({"diagnose", "--platform", "android", "--json"}, noAdb); // neither adb nor appium

        const QString shot = b.path("shot.png");
        const QString tree = b.path("tree.xml");
        b.run({"capture", "--platform", "android", "--serial", kSerial, "--out", shot, "--elements", tree});
        QFile treeFile(tree);
        QVERIFY(treeFile.open(QIODevice::ReadOnly));
        b.t.note(u"tree.xml: "_s + QString::fromUtf8(treeFile.readAll()));
        b.t.note(u"shot.png: %1x%2"_s.arg(QImage(shot).width()).arg(QImage(shot).height()));
        // The captured tree drives compare --elements (its largest element gives the screen size);
        // an empty tree leaves the screenshot's size; other XML or no file at all is refused.
        b.run({"compare", "--device", shot, "--design", shot, "--elements", tree});
        b.run({"compare", "--device", shot, "--design", shot, "--elements", writeFile(b.path("empty.xml"), "<hierarchy rotation='1'/>")});
        b.run({"compare", "--device", shot, "--design", shot, "--elements", writeFile(b.path("other.xml"), "<root/>")});
        b.run({"compare", "--device", shot, "--design", shot, "--elements", b.path("missing.xml")});

        // A screenshot that fails leaves no file behind; no phones at all is no failure.
        b.adb->on(FakeAdb::screencap(kSerial), {FakeAdb::reply(QString(), "error: closed", 1)});
        b.run({"capture", "--platform", "android", "--out", b.path("failed.png")});
        QVERIFY(!QFile::exists(b.path("failed.png")));
        b.adb->on(AndroidFixture::kList, {FakeAdb::reply(AndroidFixture::kHeading)});
        b.run({"devices", "--platform", "android", "--json"});
        QVERIFY(compareWithGolden(u"android-cli.txt"_s, b.t.text({b.out.path(), u"<out>"_s})));
    }
};

QTEST_GUILESS_MAIN(AndroidCommandsTest)
#include "tst_android_commands.moc"
