#include "reports/ReportExporter.h"

#include "engine/FileWriter.h"
#include "reports/HtmlReportPage.h"
#include "reports/ReportImages.h"

#include <QDir>
#include <QFileInfo>

namespace vantrel {

QString ReportExporter::assetsDirectory(const QString &htmlPath)
{
    const QFileInfo page(htmlPath);
    // A name that is only an extension-like ".html" has no extension to drop.
    QString stem = page.completeBaseName();
    if (stem.isEmpty())
        stem = page.fileName();
    return page.dir().filePath(stem + QStringLiteral("-assets"));
}

void ReportExporter::exportHtml(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                                const QString &deviceName, const ComparisonSettings &settings,
                                const QString &htmlPath) const
{
    const QString assets = assetsDirectory(htmlPath);
    FileWriter::makeDirectory(assets);

    const ReportImages images(result);
    for (const ReportImages::Asset &asset : images.assets()) {
        // An image without PNG data has no file; the page then embeds an empty picture.
        if (asset.png)
            FileWriter::writeAtomically(assets + u'/' + asset.fileName, *asset.png);
    }

    const QString html = HtmlReportPage::page(result, design, deviceName, settings, images);
    FileWriter::writeAtomically(htmlPath, html.toUtf8());
}

} // namespace vantrel
