#include "support/CliRunner.h"
#include "support/FakeHttpServer.h"
#include "support/FakeIosTools.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"
#include "support/WdaScenario.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace vantrel;
using namespace vantrel::test;
using namespace Qt::StringLiterals;

namespace {

const QString kSource = QStringLiteral(
    R"(<?xml version="1.0" encoding="UTF-8"?><XCUIElementTypeApplication type="XCUIElementTypeApplication" name="Demo" x="0" y="0" )"
    R"(width="393" height="852"><XCUIElementTypeButton type="XCUIElementTypeButton" name="buy" label="购买" x="16" y="780" )"
    R"(width="361" height="50"/></XCUIElementTypeApplication>)");

} // namespace

class IosCommandsTest : public QObject {
    Q_OBJECT

private slots:
    // Listing, diagnostics, a capture and the ways a capture fails, through the fake tools and a
    // fake Appium. Every run's exit status and output, and the requests the fake Appium received,
    // are compared with tests/data/golden/ios-commands.txt.
    void commands()
    {
        const TemporaryHome home;
        FakeIosTools tools;
        tools.setDeviceListing(FakeIosTools::kListing);
        tools.setXcodebuild(u"Xcode 16.4\nBuild version 16F6\n"_s);
        FakeHttpServer server(FakeHttpServer::scenario(
            {wda::statusRoute(),
             wda::sessionRoute({wda::sessionReply("S1"), FakeHttpServer::text(500, R"({"value":{"message":"Unknown device or simulator UDID"}})")}),
             wda::screenshotRoute("S1", {wda::screenshotReply(QSize(393, 852))}), wda::sourceRoute("S1", {wda::valueReply(kSource)}), wda::deleteRoute("S1")}));
        QVERIFY2(server.isRunning(), qPrintable(server.errorString()));
        QProcessEnvironment ports;
        ports.insert(u"VANTREL_IOS_APPIUM_PORT"_s, QString::number(server.port()));
        ports.insert(u"VANTREL_MJPEG_PORT"_s, QString::number(server.port()));
        QProcessEnvironment badPort;
        badPort.insert("VANTREL_IOS_APPIUM_PORT", "http");
        QTemporaryDir out;
        const QString shot = out.filePath("shot.png");
        const QString tree = out.filePath("source.xml");

        QString transcript;
        const auto run = [&](const QStringList &arguments, const QProcessEnvironment &environment = {}) {
            const CliRun result = runCli(arguments, environment);
            transcript += u"$ vantrel-cli "_s + arguments.join(u' ') + u"\nexit "_s + QString::number(result.exitCode)
                + u"\n--- out\n"_s + result.outText() + u"--- err\n"_s + result.errText();
            return result;
        };
        run({"devices", "--platform", "ios", "--json"});
        run({"devices", "--platform", "IOS"});
        run({"diagnose", "--platform", "ios", "--json"});
        run({"capture", "--platform", "ios", "--out", shot, "--elements", tree, "--team-id", " TEAM42 "}, ports);
        QCOMPARE(QImage(shot).size(), QSize(393, 852));
        QFile source(tree);
        QVERIFY(source.open(QIODevice::ReadOnly) && source.readAll() == kSource.toUtf8());
        const QString failed = out.filePath("failed.png");
        run({"capture", "--platform", "ios", "--serial", "nope", "--out", failed}, ports);
        run({"capture", "--platform", "ios", "--out", failed}, ports); // refused
        run({"capture", "--platform", "ios", "--out", failed}, badPort);
        QVERIFY(!QFile::exists(failed));
        tools.setDeviceListing(QString());
        run({"devices", "--platform", "ios", "--json"});

        QStringList requests;
        for (const QJsonObject &request : server.requests())
            if (request["path"] != u"/"_s) // the live stream, which may or may not have begun
                requests << request["method"].toString() + u' ' + request["path"].toString() + u' ' + request["body"].toString();
        requests.sort(); // the screenshot and the tree are asked for at once
        transcript += u"--- requests\n"_s + requests.join(u'\n') + u'\n';
        transcript.replace(out.path(), u"<out>"_s).replace(QString::number(server.port()), u"<port>"_s)
            .replace(QSysInfo::prettyProductName(), u"<system>"_s);
        QVERIFY(test::compareWithGolden(u"ios-commands.txt"_s, transcript));

        // The saved page source (with no AppiumAUT wrapper) serves compare --elements.
        const CliRun compare = runCli({"compare", "--device", shot, "--design",
                                       QStringLiteral(VANTREL_SOURCE_DIR "/examples/checkout-design.png"), "--elements", tree, "--json", "-"});
        QVERIFY2(compare.errText().contains(u"已读取元素树：2 个元素，屏幕尺寸 393×852"_s), qPrintable(compare.errText()));
    }
};

QTEST_GUILESS_MAIN(IosCommandsTest)
#include "tst_ios_commands.moc"
