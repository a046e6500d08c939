#include "reports/PdfReportPainter.h"

#include "reports/PdfReportStyle.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPdfWriter>

namespace vantrel {

namespace {

// Line breaks would start a second line; a report line shows them as blanks.
QString singleLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (const QChar breakChar : {QChar(u'\n'), QChar(u'\r'), QChar(0x2028), QChar(0x2029)})
        text.replace(breakChar, u' ');
    return text;
}

} // namespace

PdfReportPainter::PdfReportPainter(QPdfWriter &writer, QPainter &painter) : m_writer(writer), m_painter(painter) {}

int PdfReportPainter::issuePageCount(qsizetype issueCount)
{
    return std::max(1, int((issueCount + kIssuesPerPage - 1) / kIssuesPerPage));
}

QRectF PdfReportPainter::aspectFit(const QSizeF &imageSize, const QRectF &area)
{
    if (imageSize.width() <= 0 || imageSize.height() <= 0)
        return area;
    const double scale = std::min(area.width() / imageSize.width(), area.height() / imageSize.height());
    const QSizeF fitted = imageSize * scale;
    return QRectF(area.x() + (area.width() - fitted.width()) / 2, area.y() + (area.height() - fitted.height()) / 2,
                  fitted.width(), fitted.height());
}

QRectF PdfReportPainter::deviceRect(const QRectF &rect)
{
    return QRectF(rect.x(), kPageHeight - rect.y() - rect.height(), rect.width(), rect.height());
}

void PdfReportPainter::beginPDFPage()
{
    if (m_pagesBegun++ > 0)
        m_writer.newPage();
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing);
    m_painter.fillRect(QRectF(0, 0, kPageWidth, kPageHeight), PdfReportStyle::pageBackground());
}

void PdfReportPainter::fillRounded(const QRectF &rect, double radius, const QColor &color)
{
    QPainterPath path;
    path.addRoundedRect(deviceRect(rect), radius, radius);
    m_painter.fillPath(path, color);
}

void PdfReportPainter::drawPDFHeader(const QString &title, const QString &subtitle)
{
    const QRectF band = deviceRect(QRectF(0, 520, kPageWidth, 75));
    QLinearGradient gradient(band.topLeft(), band.topRight());
    gradient.setColorAt(0, PdfReportStyle::headerGradientStart());
    gradient.setColorAt(1, PdfReportStyle::headerGradientEnd());
    m_painter.fillRect(band, gradient);
    drawPDFText(title, QRectF(36, 548, 500, 26), PdfReportStyle::font(22, QFont::Bold), Qt::white);
    drawPDFText(subtitle, QRectF(36, 531, 680, 14), PdfReportStyle::font(9),
                PdfReportStyle::withOpacity(Qt::white, 0.74));
}

void PdfReportPainter::drawPDFCard(const QString &title, const QString &value, const QColor &color,
                                   const QRectF &r)
{
    fillRounded(r, 10, Qt::white);
    fillRounded(QRectF(r.x(), r.y(), 5, r.height()), 2.5, PdfReportStyle::withOpacity(color, 0.12));
    const double top = r.y() + r.height();
    drawPDFText(title, QRectF(r.x() + 16, top - 25, r.width() - 28, 13), PdfReportStyle::font(8),
                PdfReportStyle::secondaryLabel());
    drawPDFText(value, QRectF(r.x() + 16, r.y() + 15, r.width() - 28, 25), PdfReportStyle::font(18, QFont::DemiBold),
                color);
}

void PdfReportPainter::drawPDFImagePanel(const QString &title, const QImage &image, const QRectF &r)
{
    fillRounded(r, 12, Qt::white);
    const double top = r.y() + r.height();
    drawPDFText(title, QRectF(r.x() + 14, top - 28, r.width() - 28, 16), PdfReportStyle::font(11, QFont::DemiBold),
                PdfReportStyle::label());
    if (image.isNull())
        return;
    const QRectF area(r.x() + 12, r.y() + 12, r.width() - 24, r.height() - 52);
    m_painter.drawImage(deviceRect(aspectFit(image.size(), area)), image);
}

void PdfReportPainter::drawPDFText(const QString &text, const QRectF &rect, const QFont &font, const QColor &color,
                                   Qt::Alignment alignment)
{
    m_painter.setFont(font);
    m_painter.setPen(color);
    // The PDF device's own metrics decide what fits, so the cut matches what is drawn.
    const QFontMetricsF metrics(m_painter.fontMetrics());
    const QString shown = metrics.elidedText(singleLine(text), Qt::ElideRight, rect.width());
    m_painter.drawText(deviceRect(rect), int(Qt::AlignTop | alignment | Qt::TextSingleLine), shown);
}

void PdfReportPainter::drawPDFFooter(int pageNumber, int pageCount)
{
    drawPDFText(QStringLiteral("由Vantrel生成"), QRectF(36, 20, 300, 12), PdfReportStyle::font(7),
                PdfReportStyle::tertiaryLabel());
    drawPDFText(QString::number(pageNumber) + QStringLiteral(" / ") + QString::number(pageCount),
                QRectF(kPageWidth - 100, 20, 64, 12), PdfReportStyle::monospacedDigitFont(7),
                PdfReportStyle::tertiaryLabel(), Qt::AlignRight);
    m_painter.restore();
}

} // namespace vantrel
