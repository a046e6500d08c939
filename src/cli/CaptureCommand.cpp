#include "cli/AndroidCliSupport.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/CliTaskRunner.h"
#include "cli/DevicePlatformOption.h"
#include "cli/IosCliSupport.h"
#include "engine/FileWriter.h"
#include "engine/ImageHelpers.h"

#include <QDir>

namespace vantrel::cli {

namespace {

const QString kUsage = QStringLiteral(
    "capture --platform android|ios [--serial ID] --out IMAGE [--elements TREE.xml] [--team-id TEAM] [--wda-bundle-id ID]");
// The WebDriverAgent bundle ID used when none is given, as in the application's preferences.
const QString kDefaultWdaBundleID = QStringLiteral("com.halvenro.Vantrel.WebDriverAgentRunner");

struct CaptureTargets {
    std::optional<QString> serial;
    QString imagePath;
    QString elementsPath; // empty: not wanted
    QString teamID;       // iPhones only
    QString wdaBundleID;  // iPhones only
};

void writeFile(const QString &path, const QByteArray &bytes, const QString &what)
{
    try {
        FileWriter::writeAtomically(path, bytes);
    } catch (const std::exception &error) {
        throw CliError(QStringLiteral("无法写入%1 %2：%3").arg(what, path, QString::fromUtf8(error.what())));
    }
    printLine(QStringLiteral("已保存%1：%2").arg(what, QDir::toNativeSeparators(path)));
}

int androidCapture(const CaptureTargets &targets)
{
    AndroidDeviceManager manager;
    listAndroidDevices(manager);
    if (targets.serial) {
        const QList<AndroidDevice> &devices = manager.devices();
        if (std::none_of(devices.begin(), devices.end(), [&](const AndroidDevice &d) { return d.id == *targets.serial; }))
            throw CliError(QStringLiteral("未找到序列号为 %1 的 Android 设备").arg(*targets.serial));
        manager.setSelectedDeviceID(targets.serial);
    }
    if (manager.selectedDeviceID())
        printLine(QStringLiteral("正在连接 Android 设备 %1…").arg(*manager.selectedDeviceID()));
    if (!runToCompletion(manager.connectAndWait())) {
        const QString failure = manager.connectionState().message;
        finishAndroidSession(manager); // an Appium server started while connecting is stopped
        throw CliError(failure);
    }

    printLine(QStringLiteral("正在截图并读取元素树…"));
    CapturedDeviceState captured;
    try {
        captured = runToCompletion(manager.captureForComparison());
    } catch (...) {
        finishAndroidSession(manager);
        throw;
    }
    const QString treeSource = manager.elementTreeSource();
    if (manager.lastCaptureWarning())
        printLine(*manager.lastCaptureWarning());
    finishAndroidSession(manager);

    const std::optional<QByteArray> png = pngData(captured.image);
    if (!png)
        throw CliError(QStringLiteral("无法编码截图"));
    writeFile(targets.imagePath, *png, QStringLiteral("截图"));
    if (!targets.elementsPath.isEmpty()) {
        if (treeSource.isEmpty())
            throw CliError(QStringLiteral("未能读取 Android 元素树，仅保存了截图"));
        writeFile(targets.elementsPath, treeSource.toUtf8(), QStringLiteral("元素树"));
    }
    printLine(QStringLiteral("屏幕尺寸 %1×%2，元素 %3 个")
                  .arg(captured.screenSize.width)
                  .arg(captured.screenSize.height)
                  .arg(captured.elements.size()));
    return kExitSuccess;
}

int iosCapture(const CaptureTargets &targets)
{
    DeviceManager manager;
    configureIosPorts(manager);
    listIosDevices(manager);
    if (targets.serial) {
        const QList<IOSDevice> &devices = manager.devices();
        if (std::none_of(devices.begin(), devices.end(), [&](const IOSDevice &d) { return d.id == *targets.serial; }))
            throw CliError(QStringLiteral("未找到 UDID 为 %1 的 iPhone").arg(*targets.serial));
        manager.setSelectedDeviceID(targets.serial);
    }
    if (manager.selectedDeviceID())
        printLine(QStringLiteral("正在连接 iPhone %1…").arg(*manager.selectedDeviceID()));
    if (!runToCompletion(manager.connectAndWait(targets.teamID, targets.wdaBundleID))) {
        const QString message = manager.connectionState().message;
        finishIosSession(manager);
        throw CliError(message);
    }

    printLine(QStringLiteral("正在截图并读取元素树…"));
    CapturedDeviceState captured;
    try {
        captured = runToCompletion(manager.captureForComparison());
    } catch (...) {
        finishIosSession(manager);
        throw;
    }
    const QString pageSource = manager.pageSource();
    finishIosSession(manager);

    const std::optional<QByteArray> png = pngData(captured.image);
    if (!png)
        throw CliError(QStringLiteral("无法编码截图"));
    writeFile(targets.imagePath, *png, QStringLiteral("截图"));
    if (!targets.elementsPath.isEmpty())
        writeFile(targets.elementsPath, pageSource.toUtf8(), QStringLiteral("元素树"));
    printLine(QStringLiteral("屏幕尺寸 %1×%2，元素 %3 个")
                  .arg(captured.screenSize.width)
                  .arg(captured.screenSize.height)
                  .arg(captured.elements.size()));
    return kExitSuccess;
}

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions({platformOption(),
                       {QStringLiteral("serial"), QStringLiteral("设备序列号或 UDID"), QStringLiteral("ID")},
                       {QStringLiteral("out"), QStringLiteral("截图 PNG 输出位置"), QStringLiteral("IMAGE")},
                       {QStringLiteral("elements"), QStringLiteral("元素树 XML 输出位置"), QStringLiteral("TREE.xml")},
                       {QStringLiteral("team-id"), QStringLiteral("Apple 开发团队 ID（iPhone）"), QStringLiteral("TEAM")},
                       {QStringLiteral("wda-bundle-id"), QStringLiteral("WebDriverAgent 的 Bundle ID（iPhone）"), QStringLiteral("ID")}});
    parseArguments(parser, arguments, kUsage);
    if (!parser.positionalArguments().isEmpty())
        throw CliError(QStringLiteral("多余的参数：") + parser.positionalArguments().join(u' '));
    const AppPlatform platform = requiredPlatform(parser);
    CaptureTargets targets;
    targets.imagePath = requiredValue(parser, QStringLiteral("out"));
    if (parser.isSet(QStringLiteral("serial")))
        targets.serial = requiredValue(parser, QStringLiteral("serial"));
    if (parser.isSet(QStringLiteral("elements")))
        targets.elementsPath = requiredValue(parser, QStringLiteral("elements"));
    targets.teamID = parser.value(QStringLiteral("team-id"));
    targets.wdaBundleID = parser.isSet(QStringLiteral("wda-bundle-id")) ? parser.value(QStringLiteral("wda-bundle-id"))
                                                                        : kDefaultWdaBundleID;
    switch (platform) {
    case AppPlatform::android:
        return androidCapture(targets);
    case AppPlatform::ios:
        return iosCapture(targets);
    }
    unsupportedPlatform(platform);
}

const CliCommandRegistration registration({QStringLiteral("capture"), kUsage, run});

} // namespace

} // namespace vantrel::cli
