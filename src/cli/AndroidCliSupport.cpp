#include "cli/AndroidCliSupport.h"

#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/CliTaskRunner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace vantrel::cli {

void listAndroidDevices(AndroidDeviceManager &manager)
{
    printLine(QStringLiteral("正在查找 Android 设备…"));
    runToCompletion(manager.listDevices());
    if (!manager.adbPath())
        throw CliError(manager.connectionState().message);
}

void finishAndroidSession(AndroidDeviceManager &manager)
{
    constexpr int kFinishLimitMs = 30'000;
    manager.disconnect();
    QElapsedTimer waited;
    waited.start();
    while (manager.hasBackgroundWork() && waited.elapsed() < kFinishLimitMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QJsonObject androidDeviceJson(const AndroidDevice &device)
{
    return {{QStringLiteral("id"), device.id},
            {QStringLiteral("name"), device.name},
            {QStringLiteral("model"), device.model},
            {QStringLiteral("state"), rawValue(device.state)}};
}

} // namespace vantrel::cli
