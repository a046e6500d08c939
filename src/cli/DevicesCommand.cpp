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
    QCommandLineParser parser;
    parser.addOptions({platformOption(), {QStringLiteral("json"), QStringLiteral("以 JSON 数组输出")}});
    parseArguments(parser, arguments, kUsage);
    if (!parser.positionalArguments().isEmpty())
        throw CliError(QStringLiteral("多余的参数：") + parser.positionalArguments().join(u' '));
    const AppPlatform platform = requiredPlatform(parser);
    switch (platform) {
    case AppPlatform::android:
        return androidDevices(parser.isSet(QStringLiteral("json")));
    case AppPlatform::ios:
        return iosDevices(parser.isSet(QStringLiteral("json")));
    }
    unsupportedPlatform(platform);
}

const CliCommandRegistration registration({QStringLiteral("devices"), kUsage, run});

} // namespace

} // namespace vantrel::cli
