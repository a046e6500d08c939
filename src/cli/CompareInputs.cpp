#include "cli/CompareInputs.h"

#include "app/LocalInputs.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/DesignLinkImport.h"
#include "design/DesignDocument.h"
#include "engine/ImageFileReader.h"
#include "engine/ModelJson.h"

namespace vantrel::cli {

namespace {

// Reads an image file; an image that does not decode is reported with the file's name, so the
// user knows which of the two it was.
template<typename Read>
auto namingTheFile(const QString &path, Read read)
{
    try {
        return read(path);
    } catch (const ImageReadError &error) {
        if (error.reason == ImageReadError::Reason::unsupported)
            throw CliError(error.message + QStringLiteral("：") + path);
        throw;
    }
}

} // namespace

ImportedDesign loadDesignArgument(const QString &argument)
{
    if (isLink(argument))
        return importDesignLink(argument);
    if (DesignDocument::looksLikeDocument(argument))
        return DesignDocument::read(argument);
    return namingTheFile(argument, &LocalInputs::readDesignFile);
}

CapturedDeviceState loadDeviceArgument(const QString &path)
{
    return namingTheFile(path, &LocalInputs::readScreenshotFile);
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
