#include "cli/IosCliSupport.h"

#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/CliTaskRunner.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace vantrel::cli {

namespace {

void applyPort(const char *variable, const std::function<void(int)> &apply)
{
    const QString text = qEnvironmentVariable(variable);
    if (text.isEmpty())
        return;
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    if (!ok || port < 1 || port > 65535)
        throw CliError(QStringLiteral("环境变量 %1 不是有效的端口：%2").arg(QString::fromLatin1(variable), text));
    apply(port);
}

} // namespace

void configureIosPorts(DeviceManager &manager)
{
    applyPort("VANTREL_IOS_APPIUM_PORT", [&](int port) { manager.setAppiumPort(port); });
    applyPort("VANTREL_WDA_PORT", [&](int port) { manager.setWdaPort(port); });
    applyPort("VANTREL_MJPEG_PORT", [&](int port) { manager.setMjpegPort(port); });
}

void listIosDevices(DeviceManager &manager)
{
    printLine(QStringLiteral("正在查找 iPhone…"));
    runToCompletion(manager.listDevices());
}

QJsonObject iosDeviceJson(const IOSDevice &device)
{
    return {{QStringLiteral("id"), device.id},
            {QStringLiteral("name"), device.name},
            {QStringLiteral("osVersion"), device.osVersion},
            {QStringLiteral("isOffline"), device.isOffline}};
}

void finishIosSession(DeviceManager &manager)
{
    manager.disconnect();
    const QDeadlineTimer deadline(DeviceManager::kDeleteLimit + std::chrono::seconds(1));
    while (manager.requestsInFlight() > 0 && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace vantrel::cli
