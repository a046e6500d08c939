#include "reports/ReportImages.h"

#include <QtConcurrent/QtConcurrentMap>

#include <array>

namespace vantrel {

namespace {

struct AssetImage {
    const char16_t *fileName;
    QImage ComparisonResult::*field;
};

// The assets of a report, in the order they are written.
constexpr std::array<AssetImage, 5> kAssetImages = {{
    {u"device.png", &ComparisonResult::deviceImage},
    {u"design.png", &ComparisonResult::designImage},
    {u"aligned-design.png", &ComparisonResult::alignedDesignImage},
    {u"overlay.png", &ComparisonResult::overlayImage},
    {u"heatmap.png", &ComparisonResult::heatmapImage},
}};

} // namespace

ReportImages::ReportImages(const ComparisonResult &result)
{
    // Encoding dominates the cost of a report, so the images are encoded side by side.
    m_assets = QtConcurrent::blockingMapped(
        QList<AssetImage>(kAssetImages.begin(), kAssetImages.end()), [&result](const AssetImage &image) {
            return Asset{QString::fromUtf16(image.fileName), pngData(result.*(image.field), kPngQuality)};
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
