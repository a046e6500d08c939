#include "cli/DesignLinkImport.h"

#include "app/FigmaTokenStore.h"
#include "cli/CliSupport.h"
#include "cli/CliTaskRunner.h"
#include "design/DesignImporter.h"

#include <QUrl>

namespace vantrel::cli {

bool isLink(const QString &text)
{
    const QString scheme = QUrl(text.trimmed()).scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QString figmaToken()
{
    const QString fromEnvironment = qEnvironmentVariable("VANTREL_FIGMA_TOKEN");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return runToCompletion(FigmaTokenStore::readToken());
}

ImportedDesign importDesignLink(const QString &link)
{
    DesignImporter importer;
    // The keychain is consulted only for Figma links.
    const QString token = importer.parseFigmaReference(QUrl(link.trimmed())) ? figmaToken() : QString();
    printLine(QStringLiteral("正在导入设计稿：") + link.trimmed());
    return runToCompletion(importer.importURL(link, token, std::nullopt, [](const QString &step) { printLine(step); }));
}

} // namespace vantrel::cli
