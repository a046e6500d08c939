#include "cli/AndroidCliSupport.h"

#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/CliTaskRunner.h"

namespace vantrel::cli {

void listAndroidDevices(AndroidDeviceManager &manager)
{
    printLine(QStringLiteral("正在查找 Android 设备…"));
    runToCompletion(manager.listDevices());
    if (!manager.adbPath())
        throw CliError(manager.connectionState().message);
}

QJsonObject androidDeviceJson(const AndroidDevice &device)
{
    return {{QStringLiteral("id"), device.id},
            {QStringLiteral("name"), device.name},
            {QStringLiteral("model"), device.model},
            {QStringLiteral("state"), rawValue(device.state)}};
}

} // namespace vantrel::cli
