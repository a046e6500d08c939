#pragma once

#include "engine/Models.h"

#include <QFont>
#include <QPainter>
#include <QRectF>

#include <optional>

class QPdfWriter;

namespace vantrel {

// Draws the pages of the PDF report. Every rectangle given to it is in points on the landscape A4
// page with the origin at the bottom left and y growing upwards; the painter converts to the
// device's top-left system itself.
class PdfReportPainter {
public:
    static constexpr double kPageWidth = 842;
    static constexpr double kPageHeight = 595;
    static constexpr int kIssuesPerPage = 9;

    // `painter` must be active on `writer`, whose page is 842 × 595 points at 72 dots per inch.
    PdfReportPainter(QPdfWriter &writer, QPainter &painter);

    // Issue pages of a result: the count divided by nine, rounded up, and at least one.
    static int issuePageCount(qsizetype issueCount);
    // The largest rectangle of the image's proportions centred in `area`; the whole area for an
    // image with a zero width or height.
    static QRectF aspectFit(const QSizeF &imageSize, const QRectF &area);

    // Page kinds.
    void drawPDFSummaryPage(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                            const QString &deviceName, const ComparisonSettings &settings, int pageCount);
    void drawPDFEvidencePage(const ComparisonResult &result, int pageCount);
    void drawPDFIssuesPage(const QList<ComparisonIssue> &issues, qsizetype firstIndex, int pageNumber,
                           int pageCount);

    // Pieces of a page.
    void beginPDFPage();
    void drawPDFHeader(const QString &title, const QString &subtitle);
    void drawPDFCard(const QString &title, const QString &value, const QColor &color, const QRectF &rect);
    void drawPDFImagePanel(const QString &title, const QImage &image, const QRectF &rect);
    // One line, cut at the end with an ellipsis when it does not fit, measured with the PDF
    // device's own font metrics. `alignment` is Qt::AlignLeft, AlignHCenter or AlignRight.
    void drawPDFText(const QString &text, const QRectF &rect, const QFont &font, const QColor &color,
                     Qt::Alignment alignment = Qt::AlignLeft);
    void drawPDFFooter(int pageNumber, int pageCount);

    // A rectangle of the report's bottom-left system in the device's top-left system.
    static QRectF deviceRect(const QRectF &rect);

private:
    void fillRounded(const QRectF &rect, double radius, const QColor &color);

    QPdfWriter &m_writer;
    QPainter &m_painter;
    int m_pagesBegun = 0;
};

} // namespace vantrel
