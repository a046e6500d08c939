#pragma once

#include "engine/Models.h"

#include <optional>

namespace vantrel {

// Writes a comparison as a self-contained HTML page (with its images in an assets folder beside
// it) or as a paginated PDF. Both are synchronous and write their files whole and atomically.
// `design` is absent for a result reopened from the history.
class ReportExporter {
public:
    // The page goes to `htmlPath`; the five result images go as PNG files to
    // "<page name without extension>-assets" in the same folder. Throws FileWriteError when the
    // folder or a file cannot be written (the page is then not written).
    void exportHtml(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                    const QString &deviceName, const ComparisonSettings &settings,
                    const QString &htmlPath) const;

    // Landscape A4: summary, visual evidence, then the issues nine to a page. Throws AppError
    // (domain "Vantrel") with code 50 when the file cannot be created or written, code 51 when
    // the PDF drawing cannot start.
    void exportPDF(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                   const QString &deviceName, const ComparisonSettings &settings, const QString &pdfPath) const;

    // The assets folder that belongs to a page.
    static QString assetsDirectory(const QString &htmlPath);
};

} // namespace vantrel
