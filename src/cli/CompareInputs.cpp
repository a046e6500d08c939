#include "cli/CompareInputs.h"

#include "app/LocalInputs.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/DesignLinkImport.h"
#include "design/DesignDocument.h"
#include "engine/ModelJson.h"

namespace vantrel::cli {

ImportedDesign loadDesignArgument(const QString &argument)
{
    if (isLink(argument))
        return importDesignLink(argument);
    if (DesignDocument::looksLikeDocument(argument))
        return DesignDocument::read(argument);
    return LocalInputs::readDesignFile(argument);
}

CapturedDeviceState loadDeviceArgument(const QString &path)
{
    return LocalInputs::readScreenshotFile(path);
}

ComparisonSettings loadSettingsFile(const QString &path)
{
    const QByteArray bytes = readWholeFile(path);
    try {
        return json::settingsFromJson(json::parseObject(bytes));
    } catch (const JsonDecodeError &error) {
        throw CliError(QStringLiteral("设置文件无法解析（%1）：%2").arg(path, error.message));
    }
}

} // namespace vantrel::cli
