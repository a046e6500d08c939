#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/DesignLinkImport.h"
#include "design/DesignDocument.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel::cli {

namespace {

const QString kUsage = QStringLiteral("import URL --out DIR");

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("out"), QStringLiteral("输出文件夹"), QStringLiteral("DIR")}});
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("设计稿链接"));
    parseArguments(parser, arguments, kUsage);
    const QString directory = requiredValue(parser, QStringLiteral("out"));
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        throw CliError(QStringLiteral("请给出一个设计稿链接。用法：vantrel-cli ") + kUsage);

    const ImportedDesign design = importDesignLink(positional.first());
    printLine(QStringLiteral("正在保存设计稿…"));
    const QString jsonPath = DesignDocument::write(design, directory);
    printLine(QStringLiteral("设计稿已导入：%1（%2 × %3 像素，%4 个元素）")
                  .arg(QDir::toNativeSeparators(QFileInfo(jsonPath).absoluteFilePath()))
                  .arg(design.pixelSize.width)
                  .arg(design.pixelSize.height)
                  .arg(design.nodes.size()));
    return kExitSuccess;
}

const CliCommandRegistration registration({QStringLiteral("import"), kUsage, run});

} // namespace

} // namespace vantrel::cli
