#include "reports/ReportImages.h"

#include <QtConcurrent/QtConcurrentMap>


namespace vantrel {

const ReportImages::Order ReportImages::kReportOrder = {{
    {u"device.png", &ComparisonResult::deviceImage},
    {u"design.png", &ComparisonResult::designImage},
    {u"aligned-design.png", &ComparisonResult::alignedDesignImage},
    {u"overlay.png", &ComparisonResult::overlayImage},
    {u"heatmap.png", &ComparisonResult::heatmapImage},
}};

const ReportImages::Order ReportImages::kHistoryOrder = {{
    {u"device.png", &ComparisonResult::deviceImage},
    {u"design.png", &ComparisonResult::designImage},
    {u"aligned-design.png", &ComparisonResult::alignedDesignImage},
    {u"heatmap.png", &ComparisonResult::heatmapImage},
    {u"overlay.png", &ComparisonResult::overlayImage},
}};

ReportImages::ReportImages(const ComparisonResult &result, const Order &order)
{
    // Encoding dominates the cost, so the images are encoded side by side.
    m_assets = QtConcurrent::blockingMapped(QList<Source>(order.begin(), order.end()), [&result](const Source &image) {
        return Asset{QString::fromUtf16(image.fileName), pngData(result.*(image.field))};
    });
}

QString ReportImages::base64(const QString &fileName) const
{
    for (const Asset &asset : m_assets) {
        if (asset.fileName == fileName)
            return asset.png ? QString::fromLatin1(asset.png->toBase64()) : QString();
    }
    return QString();
}

} // namespace vantrel
