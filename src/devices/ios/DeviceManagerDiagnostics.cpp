#include "devices/ios/DeviceManager.h"

#include "devices/tools/ProcessRunner.h"
#include "devices/tools/ToolPaths.h"

#include <QSysInfo>

namespace vantrel {

void DeviceManager::runDiagnostics()
{
    diagnose();
}

bool DeviceManager::hasIOS26Device() const
{
    return std::any_of(m_devices.cbegin(), m_devices.cend(),
                       [](const IOSDevice &device) { return device.osVersion.startsWith(QStringLiteral("26")); });
}

QCoro::Task<EnvironmentCheck> DeviceManager::xcodeCheck()
{
    QPointer<DeviceManager> self(this);
    const QStringList arguments{QStringLiteral("-version")};
    const CommandOutput output = co_await ProcessRunner::run(ToolPaths::xcodebuild(), arguments, kToolTimeout);
    const QString name = QStringLiteral("Xcode");
    // The device list as published now, after the wait.
    if (self && hasIOS26Device() && !output.standardOutput.contains(QStringLiteral("Xcode 26"))) {
        co_return diagnosticsLine(name, output.standardOutput.trimmed() + QStringLiteral("：iOS 26 真机建议切换至 Xcode 26"),
                                  output.status != 0 ? EnvironmentCheck::Level::failure : EnvironmentCheck::Level::warning);
    }
    if (output.status != 0)
        co_return diagnosticsLine(name, output.standardError, EnvironmentCheck::Level::failure);
    co_return diagnosticsLine(name, output.standardOutput.trimmed(), EnvironmentCheck::Level::success);
}

QCoro::Task<void> DeviceManager::diagnose()
{
    QPointer<DeviceManager> self(this);
    QList<EnvironmentCheck> checks;
    checks.append(co_await xcodeCheck());
    if (!self)
        co_return;

    const std::optional<QString> appium = co_await resolveAppiumPath();
    if (!self)
        co_return;
    if (appium)
        checks.append(diagnosticsLine(QStringLiteral("Appium"), *appium, EnvironmentCheck::Level::success));
    else
        checks.append(diagnosticsLine(QStringLiteral("Appium"), QStringLiteral("未找到 Appium，请先安装 Appium 3"),
                                      EnvironmentCheck::Level::failure));

    if (appium) {
        const QStringList arguments = AppiumClient::driverListArguments();
        const CommandOutput output = co_await ProcessRunner::run(*appium, arguments, kToolTimeout);
        if (!self)
            co_return;
        if (AppiumClient::driverListMentions(output.standardOutput, QStringLiteral("xcuitest")))
            checks.append(diagnosticsLine(QStringLiteral("XCUITest 驱动"), QStringLiteral("已安装"), EnvironmentCheck::Level::success));
        else
            checks.append(diagnosticsLine(QStringLiteral("XCUITest 驱动"), QStringLiteral("未安装，请运行 appium driver install xcuitest"),
                                          EnvironmentCheck::Level::failure));
    }

    if (m_systemVersion) {
        const QVersionNumber &version = *m_systemVersion;
        const int major = version.majorVersion();
        const int minor = version.minorVersion();
        QString detail = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(version.microVersion());
        const bool older = major < 15 || (major == 15 && minor <= 5);
        if (hasIOS26Device() && older) {
            detail += QStringLiteral("：iOS 26 真机建议升级至 macOS 15.6+ 并使用 Xcode 26");
            checks.append(diagnosticsLine(QStringLiteral("macOS"), detail, EnvironmentCheck::Level::warning));
        } else {
            checks.append(diagnosticsLine(QStringLiteral("macOS"), detail, EnvironmentCheck::Level::success));
        }
    } else {
        // iPhones are driven through Xcode's tools, which exist only on macOS.
        checks.append(diagnosticsLine(QStringLiteral("macOS"),
                                      QStringLiteral("当前系统不是 macOS（%1），无法使用 Xcode 工具").arg(QSysInfo::prettyProductName()),
                                      EnvironmentCheck::Level::warning));
    }

    checks.append(diagnosticsLine(QStringLiteral("真机设置"),
                                  QStringLiteral("请确认设备已解锁、信任此 Mac，并开启“开发者模式”和“UI 自动化”"),
                                  EnvironmentCheck::Level::warning));

    const bool remoteXPC = std::any_of(m_devices.cbegin(), m_devices.cend(), [](const IOSDevice &device) {
        const std::optional<int> major = majorVersion(device.osVersion);
        return major && *major >= 18;
    });
    if (remoteXPC) {
        checks.append(diagnosticsLine(QStringLiteral("RemoteXPC 隧道"),
                                      QStringLiteral("iOS 18+ 若 Appium 无法识别设备，请在终端运行：sudo appium driver run xcuitest tunnel-creation"),
                                      EnvironmentCheck::Level::warning));
    }

    setDiagnostics(checks);
}

} // namespace vantrel
