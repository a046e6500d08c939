#pragma once

#include "engine/Models.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

#include <optional>

namespace vantrel {

// The five images of a result as PNG bytes, encoded side by side once: for a report (its assets
// folder and the page's embedded pictures) and for a history entry.
class ReportImages {
public:
    // One image of a result and the file name it is stored under.
    struct Source {
        const char16_t *fileName;
        QImage ComparisonResult::*field;
    };
    using Order = std::array<Source, 5>;
    // device, design, aligned design, overlay, heat map: the report's assets.
    static const Order kReportOrder;
    // device, design, aligned design, heat map, overlay: the files of a history entry.
    static const Order kHistoryOrder;

    struct Asset {
        QString fileName;
        std::optional<QByteArray> png; // none when the image yields no PNG data
    };

    explicit ReportImages(const ComparisonResult &result, const Order &order = kReportOrder);

    const QList<Asset> &assets() const { return m_assets; }
    // The standard Base64 text of an asset's PNG (no line breaks), or empty when it has none.
    QString base64(const QString &fileName) const;

private:
    QList<Asset> m_assets;
};

} // namespace vantrel
