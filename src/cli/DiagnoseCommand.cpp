#include "cli/AndroidCliSupport.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/CliTaskRunner.h"
#include "cli/DevicePlatformOption.h"
#include "cli/IosCliSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace vantrel::cli {

namespace {

const QString kUsage = QStringLiteral("diagnose --platform android|ios [--json]");

QString levelName(EnvironmentCheck::Level level)
{
    switch (level) {
    case EnvironmentCheck::Level::success:
        return QStringLiteral("success");
    case EnvironmentCheck::Level::warning:
        return QStringLiteral("warning");
    case EnvironmentCheck::Level::failure:
        break;
    }
    return QStringLiteral("failure");
}

// Prints the lines as a JSON array of {name, detail, level} or as text, one line each.
int printChecks(const QList<EnvironmentCheck> &checks, bool json)
{
    if (json) {
        QJsonArray array;
        for (const EnvironmentCheck &check : checks) {
            array.append(QJsonObject{{QStringLiteral("name"), check.name},
                                     {QStringLiteral("detail"), check.detail},
                                     {QStringLiteral("level"), levelName(check.level)}});
        }
        printOut(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
        return kExitSuccess;
    }
    QString text;
    for (const EnvironmentCheck &check : checks)
        text += QStringLiteral("[%1] %2：%3\n").arg(levelLabel(check.level), check.name, check.detail);
    printOut(text);
    return kExitSuccess;
}

int androidDiagnostics(bool json)
{
    AndroidDeviceManager manager;
    // The phone lines report on the current device list; without adb they say so themselves.
    printLine(QStringLiteral("正在查找 Android 设备…"));
    runToCompletion(manager.listDevices());
    printLine(QStringLiteral("正在检查 Android 环境…"));
    runToCompletion(manager.diagnose());
    return printChecks(manager.diagnostics(), json);
}

int iosDiagnostics(bool json)
{
    DeviceManager manager;
    // The phone lines (iOS 26, RemoteXPC) report on the current device list.
    listIosDevices(manager);
    printLine(QStringLiteral("正在检查 iOS 环境…"));
    runToCompletion(manager.diagnose());
    return printChecks(manager.diagnostics(), json);
}

int run(const QStringList &arguments)
{
    const PlatformListingArguments options = parsePlatformListing(arguments, kUsage);
    switch (options.platform) {
    case AppPlatform::android:
        return androidDiagnostics(options.json);
    case AppPlatform::ios:
        return iosDiagnostics(options.json);
    }
    unsupportedPlatform(options.platform);
}

const CliCommandRegistration registration({QStringLiteral("diagnose"), kUsage, run});

} // namespace

} // namespace vantrel::cli
