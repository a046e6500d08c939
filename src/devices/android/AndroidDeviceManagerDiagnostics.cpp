// The diagnostics lines: adb, the Appium fallback and each listed phone.
#include "devices/android/AndroidDeviceManager.h"

#include "devices/tools/ProcessRunner.h"

#include <QRegularExpression>

namespace vantrel {

void AndroidDeviceManager::runDiagnostics()
{
    diagnose();
}

QCoro::Task<EnvironmentCheck> AndroidDeviceManager::adbCheck()
{
    const QString name = QStringLiteral("ADB");
    const double limit = m_timing.adbCommandLimit; // read before waiting: this object may go away
    const std::optional<QString> adb = co_await resolveADBPath();
    if (!adb)
        co_return diagnosticsLine(name, QStringLiteral("未找到 Android SDK Platform Tools"), EnvironmentCheck::Level::failure);
    const QStringList arguments{QStringLiteral("version")};
    const CommandOutput version = co_await ProcessRunner::run(*adb, arguments, limit);
    static const QRegularExpression lineBreaks(QStringLiteral("\\r\\n|[\\n\\r\\x{0B}\\x{0C}\\x{85}\\x{2028}\\x{2029}]"));
    const QStringList lines = version.standardOutput.split(lineBreaks);
    co_return diagnosticsLine(name, lines.mid(0, 2).join(QStringLiteral(" · ")),
                              version.status == 0 ? EnvironmentCheck::Level::success : EnvironmentCheck::Level::failure);
}

QCoro::Task<EnvironmentCheck> AndroidDeviceManager::appiumCheck()
{
    const QString name = QStringLiteral("动态页面层级后备");
    const std::optional<QString> appium = co_await resolveAppiumPath();
    if (!appium) {
        co_return diagnosticsLine(name, QStringLiteral("系统 uiautomator 无法等待空闲时需要 Appium UiAutomator2"),
                                  EnvironmentCheck::Level::warning);
    }
    const QStringList arguments = AppiumClient::driverListArguments();
    const CommandOutput drivers = co_await ProcessRunner::run(*appium, arguments, kAdbCommandTimeout);
    if (AppiumClient::driverListMentions(drivers.standardOutput, QStringLiteral("uiautomator2")))
        co_return diagnosticsLine(name, QStringLiteral("Appium UiAutomator2 已安装"), EnvironmentCheck::Level::success);
    co_return diagnosticsLine(name, QStringLiteral("建议运行：appium driver install uiautomator2"), EnvironmentCheck::Level::warning);
}

QCoro::Task<void> AndroidDeviceManager::diagnose()
{
    QPointer<AndroidDeviceManager> self(this);
    QList<EnvironmentCheck> lines;
    lines.append(co_await adbCheck());
    if (!self)
        co_return;
    lines.append(co_await appiumCheck());
    if (!self)
        co_return;

    if (m_devices.isEmpty()) {
        lines.append(diagnosticsLine(QStringLiteral("Android 真机"), QStringLiteral("连接 USB 后开启“开发者选项 → USB 调试”"),
                                     EnvironmentCheck::Level::warning));
    }
    for (const AndroidDevice &device : std::as_const(m_devices)) {
        if (device.state == AndroidDevice::State::online)
            lines.append(diagnosticsLine(device.name, device.id + QStringLiteral(" · 已授权"), EnvironmentCheck::Level::success));
        else
            lines.append(diagnosticsLine(device.name, stateMessage(device.state), EnvironmentCheck::Level::failure));
    }
    setDiagnostics(lines);
}

} // namespace vantrel
