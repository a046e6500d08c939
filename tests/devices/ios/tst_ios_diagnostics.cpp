// The iPhone environment diagnostics against the fake Xcode tools, login shell and appium.
#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeIosTools.h"

#include <QSignalSpy>
#include <QTest>

using namespace vantrel;
using namespace Qt::StringLiterals;
using test::FakeIosTools;

namespace {

const QString kSetup = u"真机设置|请确认设备已解锁、信任此 Mac，并开启“开发者模式”和“UI 自动化”|warning"_s;
const QString kTunnel =
    u"RemoteXPC 隧道|iOS 18+ 若 Appium 无法识别设备，请在终端运行：sudo appium driver run xcuitest tunnel-creation|warning"_s;
const QString kXcode = u"Xcode 16.4\nBuild version 16F6\n"_s;

// Each line as "name|detail|level".
QStringList lines(const DeviceManager &manager)
{
    static const char *levels[] = {"success", "warning", "failure"};
    QStringList result;
    for (const EnvironmentCheck &check : manager.diagnostics())
        result << check.name + u'|' + check.detail + u'|' + QLatin1String(levels[int(check.level)]);
    return result;
}

} // namespace

class IosDiagnosticsTest : public QObject {
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("phones");     // the listing's device section
        QTest::addColumn<QString>("xcodebuild"); // "-" = it fails
        QTest::addColumn<QString>("drivers");    // "-" = no appium found
        QTest::addColumn<QString>("macOS");      // "" = not macOS
        QTest::addColumn<QStringList>("expected");
        const QString appium = u"Appium|"_s + FakeIosTools::fakePath(u"appium"_s) + u"|success"_s;
        const QString installed = uR"({"xcuitest":{"version":"9.2.0","installed":true}})"_s;
        QTest::newRow("healthy, iOS 18")
            << "iPhone (18.0.1) (00008110-001A2B3C4D5E801E)" << kXcode << installed << "15.6.1"
            << QStringList{"Xcode|Xcode 16.4\nBuild version 16F6|success", appium, "XCUITest 驱动|已安装|success", "macOS|15.6.1|success",
                           kSetup, kTunnel};
        QTest::newRow("iOS 26, older Xcode and macOS")
            << "iPhone (26.0) (00008110-001A2B3C4D5E801E)" << kXcode << installed << "15.5.0"
            << QStringList{"Xcode|Xcode 16.4\nBuild version 16F6：iOS 26 真机建议切换至 Xcode 26|warning", appium,
                           "XCUITest 驱动|已安装|success", "macOS|15.5.0：iOS 26 真机建议升级至 macOS 15.6+ 并使用 Xcode 26|warning",
                           kSetup, kTunnel};
        QTest::newRow("iOS 26, Xcode 26, macOS 15.6")
            << "iPhone (26.0) (00008110-001A2B3C4D5E801E)" << "Xcode 26.0\nBuild version 17A324\n" << installed << "15.6.0"
            << QStringList{"Xcode|Xcode 26.0\nBuild version 17A324|success", appium, "XCUITest 驱动|已安装|success",
                           "macOS|15.6.0|success", kSetup, kTunnel};
        QTest::newRow("iOS 26, macOS 14.7")
            << "iPhone (26.0) (00008110-001A2B3C4D5E801E)" << "Xcode 26.0\n" << "-" << "14.7.0"
            << QStringList{"Xcode|Xcode 26.0|success", "Appium|未找到 Appium，请先安装 Appium 3|failure",
                           "macOS|14.7.0：iOS 26 真机建议升级至 macOS 15.6+ 并使用 Xcode 26|warning", kSetup, kTunnel};
        QTest::newRow("iOS 17, no appium")
            << "A (17.5) (00008110-001A2B3C4D5E801E)" << "Xcode 16.4\n" << "-" << "15.6.0"
            << QStringList{"Xcode|Xcode 16.4|success", "Appium|未找到 Appium，请先安装 Appium 3|failure", "macOS|15.6.0|success", kSetup};
        QTest::newRow("failing xcodebuild, iOS 26")
            << "iPhone (26.1) (00008110-001A2B3C4D5E801E)" << "-" << "-" << "15.6.0"
            << QStringList{"Xcode|：iOS 26 真机建议切换至 Xcode 26|failure", "Appium|未找到 Appium，请先安装 Appium 3|failure",
                           "macOS|15.6.0|success", kSetup, kTunnel};
        QTest::newRow("driver named only in a value")
            << "" << "Xcode 16.4\n" << R"({"uiautomator2":{"installed":true},"note":"xcuitest"})" << "15.6.0"
            << QStringList{"Xcode|Xcode 16.4|success", appium, "XCUITest 驱动|已安装|success", "macOS|15.6.0|success", kSetup};
        QTest::newRow("driver missing")
            << "" << "Xcode 16.4\n" << R"({"uiautomator2":{"installed":true}})" << "15.6.0"
            << QStringList{"Xcode|Xcode 16.4|success", appium, "XCUITest 驱动|未安装，请运行 appium driver install xcuitest|failure",
                           "macOS|15.6.0|success", kSetup};
        QTest::newRow("offline iOS 18 and a version that is no number")
            << "A (beta) (00008110-001A2B3C4D5E801E)\n== Devices Offline ==\nB (18.0.1) (00008110-001A2B3C4D5E801F)" << "Xcode 16.4\n"
            << "-" << "15.6.0"
            << QStringList{"Xcode|Xcode 16.4|success", "Appium|未找到 Appium，请先安装 Appium 3|failure", "macOS|15.6.0|success", kSetup,
                           kTunnel};
    }
    void lines()
    {
        QFETCH(QString, phones);
        QFETCH(QString, xcodebuild);
        QFETCH(QString, drivers);
        QFETCH(QString, macOS);
        QFETCH(QStringList, expected);
        FakeIosTools tools;
        tools.setDeviceListing(u"== Devices ==\n"_s + phones + u'\n');
        if (xcodebuild == u"-")
            tools.setXcodebuild(QString(), u"xcode-select: error: tool 'xcodebuild' requires Xcode\n"_s, 1);
        else
            tools.setXcodebuild(xcodebuild);
        if (drivers != u"-") {
            tools.setAppiumPath(FakeIosTools::fakePath(u"appium"_s));
            tools.setDriverListing(drivers);
        }
        DeviceManager manager;
        manager.setSystemVersion(macOS.isEmpty() ? std::nullopt : std::optional(QVersionNumber::fromString(macOS)));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QSignalSpy changed(&manager, &DeviceManager::diagnosticsChanged);
        manager.runDiagnostics();
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 20000);
        QCOMPARE(::lines(manager), expected);
        // The tools are asked exactly so.
        QCOMPARE(tools.calls(u"xcodebuild"_s), QStringList{u"-version"_s});
        QCOMPARE(tools.calls(u"shell"_s), QStringList{u"-lc command -v appium"_s});
        QCOMPARE(tools.calls(u"appium"_s),
                 drivers == u"-" ? QStringList() : QStringList{u"driver list --installed --json"_s});
    }

    void failingXcodeToolShowsItsOutput()
    {
        FakeIosTools tools;
        tools.setXcodebuild(QString(), u"xcode-select: error: tool 'xcodebuild' requires Xcode\n"_s, 1);
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 0, 0));
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QCOMPARE(::lines(manager).first(), u"Xcode|xcode-select: error: tool 'xcodebuild' requires Xcode\n|failure"_s);
        qputenv("VANTREL_XCODEBUILD", "/nonexistent/xcodebuild");
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QVERIFY(::lines(manager).first().endsWith(u"|failure"_s));
    }

    void appiumFoundByTheOverride()
    {
        FakeIosTools tools;
        qputenv("VANTREL_APPIUM", FakeIosTools::fakePath(u"appium"_s).toUtf8());
        DeviceManager manager;
        QCOMPARE(test::awaitTask(manager.resolveAppiumPath()).value,
                 std::optional<std::optional<QString>>(FakeIosTools::fakePath(u"appium"_s)));
        QVERIFY(tools.calls(u"shell"_s).isEmpty());
        // An override that cannot run is no appium, not a passing line.
        qputenv("VANTREL_APPIUM", "/nonexistent/appium");
        QCOMPARE(test::awaitTask(manager.resolveAppiumPath()).value, std::optional<std::optional<QString>>(std::in_place));
        qunsetenv("VANTREL_APPIUM");
    }

    void otherSystemsSayTheyAreNotMacOS()
    {
        FakeIosTools tools;
        DeviceManager manager;
        manager.setSystemVersion(std::nullopt);
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        const QStringList all = ::lines(manager);
        QVERIFY(std::any_of(all.begin(), all.end(), [](const QString &line) {
            return line.startsWith(u"macOS|当前系统不是 macOS"_s) && line.endsWith(u"|warning"_s);
        }));
#ifndef Q_OS_MACOS
        QCOMPARE(DeviceManager::runningMacOSVersion(), std::nullopt);
#endif
    }
};

QTEST_MAIN(IosDiagnosticsTest)
#include "tst_ios_diagnostics.moc"
