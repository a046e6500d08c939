// The iPhone manager with the fake Xcode tools, login shell and appium: device listing, selection
// and environment diagnostics.
#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeIosTools.h"
#include "support/Golden.h"

#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeIosTools;
const QString &kListing = FakeIosTools::kListing;

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

class IosToolsTest : public QObject {
    Q_OBJECT

private slots:
    // Which lines of a listing are phones, and how versions are read: tests/data/golden/ios-device-list.txt.
    void listings()
    {
        const QString udid = u"00008110-001A2B3C4D5E801E"_s;
        const QString line = u"iPhone (17.5) (%1)\n"_s.arg(udid);
        const QStringList devices{u"plain (17.5) (%1)"_s, u"trailing spaces (17.5) (%1)   "_s, u"\t indented with tabs (17.5) (%1)\t"_s,
                                  u"Bob (work) phone (26.0) (%1)"_s, u"no-break space (17.5) (%1)\u00A0"_s, u"carriage return (17.5) (%1)\r"_s,
                                  u"udid of 24 (17.5) (00008110-001A2B3C4D5E801)"_s, u"udid not hex (17.5) (00008110-001A2B3C4D5E80XZ)"_s,
                                  u"no version (%1)"_s, u"text after udid (17.5) (%1) x"_s, u"iPhone Simulator (17.5) (%1)"_s,
                                  u"MacBook Air (15.1) (%1)"_s};
        const QList<std::pair<QString, QString>> listings{
            {u"one rule a line"_s, u"== Devices ==\n"_s + devices.join(u'\n').arg(udid) + u'\n'},
            {u"full listing"_s, kListing},
            {u"no section"_s, line},
            {u"header with two spaces"_s, u"== Devices  ==\n"_s + line},
            {u"other section"_s, u"== Other ==\n"_s + line},
            {u"indented header"_s, u"  == Devices ==  \n"_s + line},
            {u"empty"_s, QString()},
        };
        QString transcript;
        for (const auto &[name, listing] : listings) {
            transcript += u"## "_s + name + u'\n';
            for (const IOSDevice &d : DeviceManager::parseXctraceDevices(listing))
                transcript += u"  ["_s + d.name + u"] ["_s + d.osVersion + u"] ["_s + d.id + (d.isOffline ? u"] offline\n"_s : u"]\n"_s);
        }
        for (const QString &version : {u"18.0.1"_s, u"17.5"_s, u"..26"_s, QString(), u"beta.1"_s, u" 18.0"_s}) {
            const std::optional<int> major = DeviceManager::majorVersion(version);
            transcript += u"major version of ["_s + version + u"]: "_s + (major ? QString::number(*major) : u"none"_s) + u'\n';
        }
        QVERIFY(test::compareWithGolden(u"ios-device-list.txt"_s, transcript));
    }

    // What the manager lists and selects after each listing: tests/data/golden/ios-device-selection.txt.
    void refreshAndSelection()
    {
        FakeIosTools tools;
        tools.setDeviceListing(kListing);
        DeviceManager manager;
        manager.refreshDevices();
        QCOMPARE(manager.connectionState(), DeviceConnectionState::preparing(u"正在查找 iPhone…"_s));
        QTRY_COMPARE_WITH_TIMEOUT(manager.connectionState().kind, DeviceConnectionState::Kind::idle, 20000);
        QCOMPARE(manager.devices(), DeviceManager::parseXctraceDevices(kListing));
        QCOMPARE(tools.calls(u"xcrun"_s), QStringList{u"xctrace list devices"_s});
        const QString offline = u"== Devices Offline ==\nOld iPhone (17.5) (00008030-000A1B2C3D4E5F6A)\n"_s;
        const QList<std::tuple<const char *, QString, int, QString>> steps{
            {"refreshed", kListing, 0, QString()}, // (the selection the refresh made)
            {"offline phone selected", kListing, 0, u"00008030-000A1B2C3D4E5F6A"_s},
            {"selected phone gone", kListing, 0, u"gone"_s},
            {"only offline phones", offline, 0, u"gone"_s},
            {"failing status", kListing, 1, u"gone"_s},
            {"no phones", u"== Devices ==\n== Simulators ==\n"_s, 0, u"00008110-001A2B3C4D5E801E"_s},
            {"no xcrun", kListing, 0, u"00008030-000A1B2C3D4E5F6A"_s},
        };
        QString transcript;
        for (const auto &[step, listing, status, selection] : steps) {
            if (!selection.isEmpty()) {
                tools.setDeviceListing(listing, status);
                manager.setSelectedDeviceID(selection);
                if (step == std::string_view("no xcrun"))
                    qputenv("VANTREL_XCRUN", "/nonexistent/xcrun"); // the fake tools restore it
                QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
            }
            static const char *kinds[] = {"idle", "preparing", "connected", "failed"};
            transcript += QLatin1String(step) + u": "_s + QString::number(manager.devices().size()) + u" listed, selected "_s
                + manager.selectedDeviceID().value_or(u"none"_s) + u", "_s + QLatin1String(kinds[int(manager.connectionState().kind)])
                + u' ' + manager.connectionState().message + u'\n';
        }
        QVERIFY(test::compareWithGolden(u"ios-device-selection.txt"_s, transcript));
    }

    // Every diagnostics case's lines and tool calls: tests/data/golden/ios-diagnostics.txt.
    void diagnostics()
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
            QSignalSpy changed(&manager, &DeviceManager::diagnosticsChanged);
            QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
            QCOMPARE(changed.size(), 1);
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

QTEST_MAIN(IosToolsTest)
#include "tst_ios_tools.moc"
