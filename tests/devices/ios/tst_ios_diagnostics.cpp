#include "devices/ios/DeviceManager.h"

#include "support/AwaitTask.h"
#include "support/FakeIosTools.h"

#include <QSignalSpy>
#include <QTest>

using namespace vantrel;
using test::FakeIosTools;
using Level = EnvironmentCheck::Level;

namespace {

QString listingWith(const QString &version)
{
    return QStringLiteral("== Devices ==\niPhone (%1) (00008110-001A2B3C4D5E801E)\n").arg(version);
}

struct Line {
    QString name;
    QString detail;
    Level level;
};

QList<Line> linesOf(const DeviceManager &manager)
{
    QList<Line> lines;
    for (const EnvironmentCheck &check : manager.diagnostics())
        lines.append({check.name, check.detail, check.level});
    return lines;
}

QStringList namesOf(const DeviceManager &manager)
{
    QStringList names;
    for (const EnvironmentCheck &check : manager.diagnostics())
        names << check.name;
    return names;
}

const EnvironmentCheck *find(const DeviceManager &manager, const QString &name)
{
    for (const EnvironmentCheck &check : manager.diagnostics()) {
        if (check.name == name)
            return &check;
    }
    return nullptr;
}

const QString kDeviceSetup = QStringLiteral("请确认设备已解锁、信任此 Mac，并开启“开发者模式”和“UI 自动化”");
const QString kTunnel =
    QStringLiteral("iOS 18+ 若 Appium 无法识别设备，请在终端运行：sudo appium driver run xcuitest tunnel-creation");

} // namespace

class IosDiagnosticsTest : public QObject {
    Q_OBJECT

private slots:
    void healthyToolChainOnCurrentMacOS()
    {
        FakeIosTools tools;
        tools.setDeviceListing(listingWith(QStringLiteral("18.0.1")));
        tools.setXcodebuild(QStringLiteral("Xcode 16.4\nBuild version 16F6\n"));
        tools.setAppiumPath(FakeIosTools::fakePath(QStringLiteral("appium")));
        tools.setDriverListing(QStringLiteral(R"({"xcuitest":{"version":"9.2.0","installed":true}})"));
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 6, 1));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QSignalSpy spy(&manager, &DeviceManager::diagnosticsChanged);
        manager.runDiagnostics();
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 20000);

        const QList<Line> lines = linesOf(manager);
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.at(0).name, QStringLiteral("Xcode"));
        QCOMPARE(lines.at(0).detail, QStringLiteral("Xcode 16.4\nBuild version 16F6"));
        QCOMPARE(lines.at(0).level, Level::success);
        QCOMPARE(lines.at(1).name, QStringLiteral("Appium"));
        QCOMPARE(lines.at(1).detail, FakeIosTools::fakePath(QStringLiteral("appium")));
        QCOMPARE(lines.at(1).level, Level::success);
        QCOMPARE(lines.at(2).name, QStringLiteral("XCUITest 驱动"));
        QCOMPARE(lines.at(2).detail, QStringLiteral("已安装"));
        QCOMPARE(lines.at(2).level, Level::success);
        QCOMPARE(lines.at(3).name, QStringLiteral("macOS"));
        QCOMPARE(lines.at(3).detail, QStringLiteral("15.6.1"));
        QCOMPARE(lines.at(3).level, Level::success);
        QCOMPARE(lines.at(4).name, QStringLiteral("真机设置"));
        QCOMPARE(lines.at(4).detail, kDeviceSetup);
        QCOMPARE(lines.at(4).level, Level::warning);
        QCOMPARE(lines.at(5).name, QStringLiteral("RemoteXPC 隧道"));
        QCOMPARE(lines.at(5).detail, kTunnel);
        QCOMPARE(lines.at(5).level, Level::warning);

        // The tools were asked exactly as the rules say.
        QCOMPARE(tools.calls(QStringLiteral("xcodebuild")), QStringList{QStringLiteral("-version")});
        QCOMPARE(tools.calls(QStringLiteral("shell")), QStringList{QStringLiteral("-lc command -v appium")});
        QCOMPARE(tools.calls(QStringLiteral("appium")), QStringList{QStringLiteral("driver list --installed --json")});
        // Each line has an identity of its own.
        QVERIFY(manager.diagnostics().at(0).id != manager.diagnostics().at(1).id);
    }

    void iOS26WithOlderXcodeAndMacOSWarns()
    {
        FakeIosTools tools;
        tools.setDeviceListing(listingWith(QStringLiteral("26.0")));
        tools.setXcodebuild(QStringLiteral("Xcode 16.4\nBuild version 16F6\n"));
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 5, 0));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        const EnvironmentCheck *xcode = find(manager, QStringLiteral("Xcode"));
        QVERIFY(xcode);
        QCOMPARE(xcode->detail, QStringLiteral("Xcode 16.4\nBuild version 16F6：iOS 26 真机建议切换至 Xcode 26"));
        QCOMPARE(xcode->level, Level::warning);
        const EnvironmentCheck *macOS = find(manager, QStringLiteral("macOS"));
        QVERIFY(macOS);
        QCOMPARE(macOS->detail, QStringLiteral("15.5.0：iOS 26 真机建议升级至 macOS 15.6+ 并使用 Xcode 26"));
        QCOMPARE(macOS->level, Level::warning);

        // Xcode 26 and macOS 15.6: no advice.
        tools.setXcodebuild(QStringLiteral("Xcode 26.0\nBuild version 17A324\n"));
        manager.setSystemVersion(QVersionNumber(15, 6, 0));
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QCOMPARE(find(manager, QStringLiteral("Xcode"))->detail, QStringLiteral("Xcode 26.0\nBuild version 17A324"));
        QCOMPARE(find(manager, QStringLiteral("Xcode"))->level, Level::success);
        QCOMPARE(find(manager, QStringLiteral("macOS"))->detail, QStringLiteral("15.6.0"));
        QCOMPARE(find(manager, QStringLiteral("macOS"))->level, Level::success);

        // macOS 14.7 is older than 15.6 too.
        manager.setSystemVersion(QVersionNumber(14, 7, 0));
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QCOMPARE(find(manager, QStringLiteral("macOS"))->level, Level::warning);
    }

    void failingXcodeTool()
    {
        FakeIosTools tools;
        tools.setXcodebuild(QString(), QStringLiteral("xcode-select: error: tool 'xcodebuild' requires Xcode\n"), 1);
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 0, 0));
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        const EnvironmentCheck *xcode = find(manager, QStringLiteral("Xcode"));
        QCOMPARE(xcode->detail, QStringLiteral("xcode-select: error: tool 'xcodebuild' requires Xcode\n"));
        QCOMPARE(xcode->level, Level::failure);

        // With an iOS 26 device the advice wins, as a failure.
        tools.setDeviceListing(listingWith(QStringLiteral("26.1")));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        xcode = find(manager, QStringLiteral("Xcode"));
        QCOMPARE(xcode->detail, QStringLiteral("：iOS 26 真机建议切换至 Xcode 26"));
        QCOMPARE(xcode->level, Level::failure);
    }

    void missingXcodeToolIsAFailureLine()
    {
        FakeIosTools tools;
        qputenv("VANTREL_XCODEBUILD", "/nonexistent/xcodebuild");
        DeviceManager manager;
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        const EnvironmentCheck *xcode = find(manager, QStringLiteral("Xcode"));
        QCOMPARE(xcode->level, Level::failure);
        QVERIFY(!xcode->detail.isEmpty());
    }

    void withoutAppiumThereIsNoDriverLine()
    {
        FakeIosTools tools;
        tools.setDeviceListing(listingWith(QStringLiteral("17.5")));
        tools.setXcodebuild(QStringLiteral("Xcode 16.4\n"));
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 6, 0));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        // iOS 17.5 does not call for the tunnel line.
        QCOMPARE(namesOf(manager), (QStringList{QStringLiteral("Xcode"), QStringLiteral("Appium"), QStringLiteral("macOS"),
                                                QStringLiteral("真机设置")}));
        const EnvironmentCheck *appium = find(manager, QStringLiteral("Appium"));
        QCOMPARE(appium->detail, QStringLiteral("未找到 Appium，请先安装 Appium 3"));
        QCOMPARE(appium->level, Level::failure);
        QVERIFY(tools.calls(QStringLiteral("appium")).isEmpty());
    }

    void driverMissingFromTheListing()
    {
        FakeIosTools tools;
        tools.setAppiumPath(FakeIosTools::fakePath(QStringLiteral("appium")));
        // Only the quoted name is looked for, wherever it stands in the listing.
        tools.setDriverListing(QStringLiteral(R"({"uiautomator2":{"installed":true},"note":"xcuitest"})"));
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 6, 0));
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QCOMPARE(find(manager, QStringLiteral("XCUITest 驱动"))->level, Level::success);

        tools.setDriverListing(QStringLiteral(R"({"uiautomator2":{"installed":true}})"));
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        const EnvironmentCheck *driver = find(manager, QStringLiteral("XCUITest 驱动"));
        QCOMPARE(driver->detail, QStringLiteral("未安装，请运行 appium driver install xcuitest"));
        QCOMPARE(driver->level, Level::failure);
    }

    void appiumFoundByTheOverride()
    {
        FakeIosTools tools;
        qputenv("VANTREL_APPIUM", FakeIosTools::fakePath(QStringLiteral("appium")).toUtf8());
        DeviceManager manager;
        const auto path = test::awaitTask(manager.resolveAppiumPath());
        QVERIFY(path.succeeded());
        QCOMPARE(*path.value, std::optional<QString>(FakeIosTools::fakePath(QStringLiteral("appium"))));
        QVERIFY(tools.calls(QStringLiteral("shell")).isEmpty());
    }

    void tunnelLineFollowsTheMajorVersion()
    {
        FakeIosTools tools;
        tools.setXcodebuild(QStringLiteral("Xcode 16.4\n"));
        DeviceManager manager;
        manager.setSystemVersion(QVersionNumber(15, 6, 0));
        tools.setDeviceListing(QStringLiteral("== Devices ==\nA (17.5) (00008110-001A2B3C4D5E801E)\n"
                                              "== Devices Offline ==\nB (18.0.1) (00008110-001A2B3C4D5E801F)\n"));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QVERIFY(find(manager, QStringLiteral("RemoteXPC 隧道")));
        QCOMPARE(namesOf(manager).last(), QStringLiteral("RemoteXPC 隧道"));

        tools.setDeviceListing(QStringLiteral("== Devices ==\nA (beta) (00008110-001A2B3C4D5E801E)\n"));
        QVERIFY(test::awaitTask(manager.listDevices()).succeeded());
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        QVERIFY(!find(manager, QStringLiteral("RemoteXPC 隧道")));
    }

    void otherSystemsSayTheyAreNotMacOS()
    {
        FakeIosTools tools;
        DeviceManager manager;
        manager.setSystemVersion(std::nullopt);
        QVERIFY(test::awaitTask(manager.diagnose()).succeeded());
        const EnvironmentCheck *macOS = find(manager, QStringLiteral("macOS"));
        QVERIFY(macOS);
        QVERIFY(macOS->detail.startsWith(QStringLiteral("当前系统不是 macOS")));
        QCOMPARE(macOS->level, Level::warning);
#ifndef Q_OS_MACOS
        QCOMPARE(DeviceManager::runningMacOSVersion(), std::nullopt);
#endif
    }
};

QTEST_MAIN(IosDiagnosticsTest)
#include "tst_ios_diagnostics.moc"
