#include "reports/PdfReportPainter.h"

#include "reports/PdfReportStyle.h"
#include "reports/ReportTexts.h"

namespace vantrel {

void PdfReportPainter::drawPDFSummaryPage(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                                          const QString &deviceName, const ComparisonSettings &settings,
                                          int pageCount)
{
    beginPDFPage();
    drawPDFHeader(QStringLiteral("移动端界面对比报告"),
                  deviceName + QStringLiteral("  ·  ") + ReportTexts::dateText(result.createdAt));

    const QColor statusColor = result.status == kStatusConsistent ? PdfReportStyle::green() : PdfReportStyle::orange();
    drawPDFCard(QStringLiteral("结论"), result.status, statusColor, QRectF(36, 435, 180, 72));
    drawPDFCard(QStringLiteral("一致度"), ReportTexts::percentText(result.score), PdfReportStyle::blue(),
                QRectF(231, 435, 180, 72));
    drawPDFCard(QStringLiteral("差异像素"), ReportTexts::percentText(result.changedPixelRatio * 100),
                PdfReportStyle::purple(), QRectF(426, 435, 180, 72));
    drawPDFCard(QStringLiteral("问题数量"), QString::number(result.issues.size()), PdfReportStyle::red(),
                QRectF(621, 435, 180, 72));

    const QFont lineFont = PdfReportStyle::font(9);
    drawPDFText(QStringLiteral("设计来源：") + ReportTexts::sourceText(design), QRectF(36, 404, 770, 18), lineFont,
                PdfReportStyle::secondaryLabel());
    drawPDFText(QStringLiteral("比较参数：像素阈值 ") + ReportTexts::truncatedText(settings.pixelThreshold)
                    + QStringLiteral(" · 位置容差 ") + ReportTexts::fixedText(settings.positionTolerance, 1)
                    + QStringLiteral(" pt · 尺寸容差 ") + ReportTexts::fixedText(settings.sizeTolerance, 1)
                    + QStringLiteral(" pt"),
                QRectF(36, 383, 770, 18), lineFont, PdfReportStyle::secondaryLabel());

    drawPDFImagePanel(QStringLiteral("真机界面"), result.deviceImage, QRectF(36, 57, 367, 302));
    drawPDFImagePanel(QStringLiteral("设计稿"), result.designImage, QRectF(439, 57, 367, 302));
    drawPDFFooter(1, pageCount);
}

void PdfReportPainter::drawPDFEvidencePage(const ComparisonResult &result, int pageCount)
{
    beginPDFPage();
    drawPDFHeader(QStringLiteral("视觉证据"), QStringLiteral("透明叠加用于检查位移，热力图用于定位像素差异"));
    drawPDFImagePanel(QStringLiteral("50% 透明叠加"), result.overlayImage, QRectF(36, 62, 367, 430));
    drawPDFImagePanel(QStringLiteral("差异热力图"), result.heatmapImage, QRectF(439, 62, 367, 430));
    drawPDFFooter(2, pageCount);
}

void PdfReportPainter::drawPDFIssuesPage(const QList<ComparisonIssue> &issues, qsizetype firstIndex, int pageNumber,
                                         int pageCount)
{
    beginPDFPage();
    drawPDFHeader(QStringLiteral("差异清单"), issues.isEmpty() ? QStringLiteral("当前容差下未发现差异")
                                                             : QStringLiteral("按检测顺序列出，可回到应用点击定位"));
    if (issues.isEmpty()) {
        drawPDFText(QStringLiteral("未发现超过当前阈值的差异"), QRectF(36, 270, 770, 30),
                    PdfReportStyle::font(18, QFont::Medium), PdfReportStyle::green(), Qt::AlignHCenter);
    }
    const QFont headingFont = PdfReportStyle::font(10, QFont::DemiBold);
    const QFont tagFont = PdfReportStyle::font(8, QFont::Medium);
    const QFont detailFont = PdfReportStyle::font(8);
    for (qsizetype i = 0; i < issues.size() && i < kIssuesPerPage; ++i) {
        const ComparisonIssue &issue = issues[i];
        const double y = 443 - 49 * double(i);
        const QColor color = PdfReportStyle::severityColor(issue.severity);
        fillRounded(QRectF(36, y, 770, 40), 7, PdfReportStyle::withOpacity(color, 0.09));
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(color);
        m_painter.drawEllipse(deviceRect(QRectF(49, y + 16, 8, 8)));
        m_painter.setBrush(Qt::NoBrush);
        drawPDFText(QString::number(firstIndex + i + 1) + QStringLiteral(". ") + issue.title,
                    QRectF(68, y + 21, 280, 14), headingFont, PdfReportStyle::label());
        drawPDFText(rawValue(issue.severity) + QStringLiteral(" · ") + rawValue(issue.category),
                    QRectF(350, y + 21, 100, 14), tagFont, color);
        drawPDFText(issue.detail, QRectF(68, y + 5, 715, 14), detailFont, PdfReportStyle::secondaryLabel());
    }
    drawPDFFooter(pageNumber, pageCount);
}

} // namespace vantrel
