#include "cli/AndroidCliSupport.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/DevicePlatformOption.h"
#include "cli/IosCliSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vantrel::cli {

namespace {

const QString kUsage = QStringLiteral("devices --platform android|ios [--json]");

int androidDevices(bool json)
{
    AndroidDeviceManager manager;
    listAndroidDevices(manager);
    if (manager.devices().isEmpty())
        printLine(manager.connectionState().message);
    if (json) {
        QJsonArray array;
        for (const AndroidDevice &device : manager.devices())
            array.append(androidDeviceJson(device));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return kExitSuccess;
    }
    QString text;
    for (const AndroidDevice &device : manager.devices()) {
        const QString state = device.state == AndroidDevice::State::online
                                  ? QStringLiteral("已授权")
                                  : AndroidDeviceManager::stateMessage(device.state);
        text += device.id + u'\t' + device.name + u'\t' + state + u'\n';
    }
    printOut(text);
    return kExitSuccess;
}

int iosDevices(bool json)
{
    DeviceManager manager;
    listIosDevices(manager);
    if (manager.devices().isEmpty())
        printLine(manager.connectionState().message);
    if (json) {
        QJsonArray array;
        for (const IOSDevice &device : manager.devices())
            array.append(iosDeviceJson(device));
        printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return kExitSuccess;
    }
    QString text;
    for (const IOSDevice &device : manager.devices()) {
        const QString state = device.isOffline ? QStringLiteral("离线") : QStringLiteral("在线");
        text += device.id + u'\t' + device.name + u'\t' + QStringLiteral("iOS ") + device.osVersion + u'\t' + state + u'\n';
    }
    printOut(text);
    return kExitSuccess;
}

int run(const QStringList &arguments)
{
    const PlatformListingArguments options = parsePlatformListing(arguments, kUsage);
    switch (options.platform) {
    case AppPlatform::android:
        return androidDevices(options.json);
    case AppPlatform::ios:
        return iosDevices(options.json);
    }
    unsupportedPlatform(options.platform);
}

const CliCommandRegistration registration({QStringLiteral("devices"), kUsage, run});

} // namespace

} // namespace vantrel::cli
