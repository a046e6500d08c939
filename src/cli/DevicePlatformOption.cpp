#include "cli/DevicePlatformOption.h"

#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "engine/Models.h"

namespace vantrel::cli {

QCommandLineOption platformOption()
{
    return {QStringLiteral("platform"), QStringLiteral("设备平台：android 或 ios"), QStringLiteral("android|ios")};
}

AppPlatform requiredPlatform(const QCommandLineParser &parser)
{
    const QString value = requiredValue(parser, QStringLiteral("platform")).toLower();
    if (value == u"android")
        return AppPlatform::android;
    if (value == u"ios")
        return AppPlatform::ios;
    throw CliError(QStringLiteral("不支持的平台：%1（可选 android 或 ios）").arg(parser.value(QStringLiteral("platform"))));
}

PlatformListingArguments parsePlatformListing(const QStringList &arguments, const QString &usage)
{
    QCommandLineParser parser;
    parser.addOptions({platformOption(), {QStringLiteral("json"), QStringLiteral("以 JSON 数组输出")}});
    parseArguments(parser, arguments, usage);
    if (!parser.positionalArguments().isEmpty())
        throw CliError(QStringLiteral("多余的参数：") + parser.positionalArguments().join(u' '));
    return {requiredPlatform(parser), parser.isSet(QStringLiteral("json"))};
}

void unsupportedPlatform(AppPlatform platform)
{
    throw CliError(QStringLiteral("此命令暂不支持 %1 平台").arg(rawValue(platform)));
}

} // namespace vantrel::cli
