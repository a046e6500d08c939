#pragma once

#include "engine/Models.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace vantrel {

// The five result images of a report as PNG bytes, encoded once and shared by the assets folder
// and the page's embedded pictures.
class ReportImages {
public:
    // PNG writer quality for report images (QImageWriter: higher is faster and larger).
    static constexpr int kPngQuality = 80;

    struct Asset {
        QString fileName;
        std::optional<QByteArray> png; // none when the image yields no PNG data
    };

    // Encodes device, design, aligned design, overlay and heat map, in that order.
    explicit ReportImages(const ComparisonResult &result);

    const QList<Asset> &assets() const { return m_assets; }
    // The standard Base64 text of an asset's PNG (no line breaks), or empty when it has none.
    QString base64(const QString &fileName) const;

private:
    QList<Asset> m_assets;
};

} // namespace vantrel
