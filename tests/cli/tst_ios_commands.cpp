#include "support/CliRunner.h"
#include "support/FakeHttpServer.h"
#include "support/FakeIosTools.h"
#include "support/TestEnvironment.h"
#include "support/WdaScenario.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kUdid = u"00008110-001A2B3C4D5E801E"_s;
const QString kListing = QStringLiteral("== Devices ==\n"
                                        "Jane’s MacBook Pro (14.5) (0A1B2C3D-4E5F-6789-ABCD-EF0123456789)\n"
                                        "Jane’s iPhone (18.0.1) (%1)\n"
                                        "== Devices Offline ==\n"
                                        "Old iPhone (17.5) (00008030-000A1B2C3D4E5F6A)\n")
                             .arg(kUdid);
const QString kSource = QStringLiteral(
    R"(<?xml version="1.0" encoding="UTF-8"?><XCUIElementTypeApplication type="XCUIElementTypeApplication" name="Demo" x="0" y="0" )"
    R"(width="393" height="852"><XCUIElementTypeButton type="XCUIElementTypeButton" name="buy" label="购买" x="16" y="780" )"
    R"(width="361" height="50"/></XCUIElementTypeApplication>)");

QProcessEnvironment portsOf(const FakeHttpServer &server)
{
    QProcessEnvironment environment;
    environment.insert(u"VANTREL_IOS_APPIUM_PORT"_s, QString::number(server.port()));
    environment.insert(u"VANTREL_MJPEG_PORT"_s, QString::number(server.port()));
    return environment;
}

QImage screen()
{
    QImage image(QSize(393, 852), QImage::Format_RGB32);
    image.fill(QColor(240, 240, 245));
    return image;
}

QString example(const char *name)
{
    return QStringLiteral(VANTREL_SOURCE_DIR "/examples/") + QLatin1String(name);
}

} // namespace

class IosCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void devicesAsJsonAndText()
    {
        const TemporaryHome home;
        FakeIosTools tools;
        tools.setDeviceListing(kListing);
        const CliRun json = runCli({"devices", "--platform", "ios", "--json"});
        QCOMPARE(json.exitCode, 0);
        const QJsonArray devices = QJsonDocument::fromJson(json.out).array();
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices.at(0).toObject(),
                 (QJsonObject{{"id", kUdid}, {"name", "Jane’s iPhone"}, {"osVersion", "18.0.1"}, {"isOffline", false}}));
        QCOMPARE(devices.at(1).toObject().value("isOffline").toBool(), true);

        const CliRun text = runCli({"devices", "--platform", "IOS"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(text.outText().contains(kUdid), qPrintable(text.outText()));
        QVERIFY(text.outText().contains(u"Jane’s iPhone"_s));
        QCOMPARE(text.outText().count(u'\n'), 2);

        tools.setDeviceListing(QString());
        const CliRun none = runCli({"devices", "--platform", "ios", "--json"});
        QCOMPARE(none.exitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(none.out).array().size(), 0);
        QVERIFY(none.errText().contains(u"未发现已信任的 iPhone"_s));
    }

    void diagnoseAsJson()
    {
        const TemporaryHome home;
        FakeIosTools tools;
        tools.setDeviceListing(kListing);
        tools.setXcodebuild(u"Xcode 16.4\nBuild version 16F6\n"_s);
        const CliRun run = runCli({"diagnose", "--platform", "ios", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray lines = QJsonDocument::fromJson(run.out).array();
        QStringList names;
        for (const QJsonValue &line : lines)
            names << line.toObject().value("name").toString();
        // No Appium on this machine; an iOS 18 phone asks for the tunnel line.
        QCOMPARE(names, (QStringList{"Xcode", "Appium", "macOS", "真机设置", "RemoteXPC 隧道"}));
    }

    void captureWritesTheScreenshotAndPageSource()
    {
        const TemporaryHome home;
        FakeIosTools tools;
        tools.setDeviceListing(kListing);
        FakeHttpServer server(FakeHttpServer::scenario(
            {wda::statusRoute(), wda::sessionRoute({wda::sessionReply("S1")}), wda::screenshotRoute("S1", screen()),
             wda::sourceRoute("S1", kSource), wda::deleteRoute("S1")}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        QTemporaryDir out;
        const QString shot = out.filePath("shot.png");
        const QString tree = out.filePath("source.xml");
        const CliRun run = runCli({"capture", "--platform", "ios", "--out", shot, "--elements", tree,
                                   "--team-id", " TEAM42 "},
                                  portsOf(server));
        QVERIFY2(run.exitCode == 0, qPrintable(run.errText()));
        QCOMPARE(QImage(shot).size(), QSize(393, 852));
        QFile source(tree);
        QVERIFY(source.open(QIODevice::ReadOnly) && source.readAll() == kSource.toUtf8());
        QVERIFY(run.errText().contains(u"393×852"_s));

        // The session was asked for the first online phone with the team, and ended before exit.
        const QList<QJsonObject> sessions = server.requests("/session");
        const QJsonObject capabilities = QJsonDocument::fromJson(sessions.at(0).value("body").toString().toUtf8())
                                             .object()["capabilities"].toObject()["alwaysMatch"].toObject();
        QCOMPARE(capabilities.value("appium:udid").toString(), kUdid);
        QCOMPARE(capabilities.value("appium:xcodeOrgId").toString(), u"TEAM42"_s);
        QCOMPARE(capabilities.value("appium:updatedWDABundleId").toString(),
                 u"com.halvenro.Vantrel.WebDriverAgentRunner"_s);
        QCOMPARE(server.count("DELETE", "/session/S1"), 1);

        // The saved page source (with no AppiumAUT wrapper) serves compare --elements.
        const CliRun compare = runCli({"compare", "--device", shot, "--design", example("checkout-design.png"),
                                       "--elements", tree, "--json", "-"});
        QVERIFY2(compare.exitCode == 0 || compare.exitCode == 1, qPrintable(compare.errText()));
        QVERIFY2(compare.errText().contains(u"已读取元素树：2 个元素，屏幕尺寸 393×852"_s), qPrintable(compare.errText()));
    }

    void captureFailures()
    {
        const TemporaryHome home;
        FakeIosTools tools;
        tools.setDeviceListing(kListing);
        FakeHttpServer server(FakeHttpServer::scenario(
            {wda::statusRoute(), wda::sessionRoute({FakeHttpServer::text(500, R"({"value":{"message":"Unknown device or simulator UDID"}})")})}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        QTemporaryDir out;
        const QString shot = out.filePath("shot.png");

        const CliRun unknown = runCli({"capture", "--platform", "ios", "--serial", "nope", "--out", shot}, portsOf(server));
        QCOMPARE(unknown.exitCode, 2);
        QVERIFY2(unknown.errText().contains("nope"), qPrintable(unknown.errText()));

        const CliRun refused = runCli({"capture", "--platform", "ios", "--out", shot}, portsOf(server));
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.errText().trimmed().endsWith(
                     u"Appium 未识别该 iPhone：iOS 18+ 请先启动 RemoteXPC 隧道；iOS 26 还需 Xcode 26"_s),
                 qPrintable(refused.errText()));
        QVERIFY(!QFile::exists(shot));

        QProcessEnvironment badPort;
        badPort.insert("VANTREL_IOS_APPIUM_PORT", "http");
        const CliRun port = runCli({"capture", "--platform", "ios", "--out", shot}, badPort);
        QCOMPARE(port.exitCode, 2);
        QVERIFY(port.errText().contains("VANTREL_IOS_APPIUM_PORT"));
    }
};

QTEST_GUILESS_MAIN(IosCommandsTest)
#include "tst_ios_commands.moc"
