// The iPhone environment diagnostics against the fake Xcode tools, login shell and appium: every
// case's lines and tool calls, compared with tests/data/golden/ios-diagnostics.txt.
#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeIosTools.h"
#include "support/Golden.h"

#include <QSysInfo>
#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeIosTools;

namespace {

struct Case {
    const char *name;
    QString phones;     // the listing's device section
    QString xcodebuild; // "-": it fails; "missing": no such program
    QString drivers;    // "-": no appium found
    QString macOS;      // "": not macOS
    QByteArray appium;  // VANTREL_APPIUM, when set
};

const QString kInstalled = uR"({"xcuitest":{"version":"9.2.0","installed":true}})"_s;

} // namespace

class IosDiagnosticsTest : public QObject {
    Q_OBJECT

private slots:
    void lines()
    {
        const QString ios26 = u"iPhone (26.0) (00008110-001A2B3C4D5E801E)"_s;
        const QString xcode16 = u"Xcode 16.4\nBuild version 16F6\n"_s;
        const QList<Case> cases{
            {"healthy, iOS 18", u"iPhone (18.0.1) (00008110-001A2B3C4D5E801E)"_s, xcode16, kInstalled, u"15.6.1"_s, {}},
            {"iOS 26, older Xcode and macOS", ios26, xcode16, kInstalled, u"15.5.0"_s, {}},
            {"iOS 26, Xcode 26, macOS 15.6", ios26, u"Xcode 26.0\nBuild version 17A324\n"_s, kInstalled, u"15.6.0"_s, {}},
            {"iOS 26, macOS 14.7", ios26, u"Xcode 26.0\n"_s, u"-"_s, u"14.7.0"_s, {}},
            {"iOS 17, no appium", u"A (17.5) (00008110-001A2B3C4D5E801E)"_s, u"Xcode 16.4\n"_s, u"-"_s, u"15.6.0"_s, {}},
            {"failing xcodebuild, iOS 26", u"iPhone (26.1) (00008110-001A2B3C4D5E801E)"_s, u"-"_s, u"-"_s, u"15.6.0"_s, {}},
            {"failing xcodebuild, no phone", {}, u"-"_s, u"-"_s, u"15.0.0"_s, {}},
            {"xcodebuild missing", {}, u"missing"_s, u"-"_s, u"15.0.0"_s, {}},
            {"driver named only in a value", {}, u"Xcode 16.4\n"_s, uR"({"uiautomator2":{"installed":true},"note":"xcuitest"})"_s, u"15.6.0"_s, {}},
            {"driver missing", {}, u"Xcode 16.4\n"_s, uR"({"uiautomator2":{"installed":true}})"_s, u"15.6.0"_s, {}},
            {"offline iOS 18 and a version that is no number",
             u"A (beta) (00008110-001A2B3C4D5E801E)\n== Devices Offline ==\nB (18.0.1) (00008110-001A2B3C4D5E801F)"_s,
             u"Xcode 16.4\n"_s, u"-"_s, u"15.6.0"_s, {}},
            {"not macOS", {}, u"Xcode 16.4\n"_s, u"-"_s, QString(), {}},
            {"appium by override, not in the shell", {}, u"Xcode 16.4\n"_s, u"-"_s, u"15.6.0"_s,
             FakeIosTools::fakePath(u"appium"_s).toUtf8()},
            {"override that cannot run", {}, u"Xcode 16.4\n"_s, u"-"_s, u"15.6.0"_s, "/nonexistent/appium"},
        };
        static const char *levels[] = {"success", "warning", "failure"};
        QString transcript;
        for (const Case &c : cases) {
            FakeIosTools tools;
            tools.setDeviceListing(u"== Devices ==\n"_s + c.phones + u'\n');
            if (c.xcodebuild == u"-")
                tools.setXcodebuild(QString(), u"xcode-select: error: tool 'xcodebuild' requires Xcode\n"_s, 1);
            else
                tools.setXcodebuild(c.xcodebuild);
            if (c.xcodebuild == u"missing")
                qputenv("VANTREL_XCODEBUILD", "/nonexistent/xcodebuild"); // the fake tools restore it
            if (c.drivers != u"-") {
                tools.setAppiumPath(FakeIosTools::fakePath(u"appium"_s));
                tools.setDriverListing(c.drivers);
            }
            if (!c.appium.isEmpty())
                qputenv("VANTREL_APPIUM", c.appium);
            DeviceManager manager;
            manager.setSystemVersion(c.macOS.isEmpty() ? std::nullopt : std::optional(QVersionNumber::fromString(c.macOS)));
            QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
            QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
            qunsetenv("VANTREL_APPIUM");
            transcript += u"## "_s + QLatin1String(c.name) + u'\n';
            for (const EnvironmentCheck &check : manager.diagnostics())
                transcript += check.name + u" | "_s + check.detail + u" | "_s + QLatin1String(levels[int(check.level)]) + u'\n';
            for (const QString &tool : {u"xcodebuild"_s, u"shell"_s, u"appium"_s})
                transcript += tool + u" called: "_s + tools.calls(tool).join(u"; "_s) + u'\n';
        }
        transcript.replace(QStringLiteral(VANTREL_FAKES_DIR), u"<fakes>"_s).replace(QSysInfo::prettyProductName(), u"<system>"_s);
        QVERIFY(test::compareWithGolden(u"ios-diagnostics.txt"_s, transcript));
#ifndef Q_OS_MACOS
        QCOMPARE(DeviceManager::runningMacOSVersion(), std::nullopt);
#endif
    }
};

QTEST_MAIN(IosDiagnosticsTest)
#include "tst_ios_diagnostics.moc"
