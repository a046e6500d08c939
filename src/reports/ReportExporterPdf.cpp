#include "reports/ReportExporter.h"

#include "reports/PdfDocumentInfo.h"
#include "reports/PdfReportPainter.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace vantrel {

namespace {

AppError fileError()
{
    return AppError(QStringLiteral("Vantrel"), 50, QStringLiteral("无法创建 PDF 文件"));
}

AppError contextError()
{
    return AppError(QStringLiteral("Vantrel"), 51, QStringLiteral("无法初始化 PDF 绘制上下文"));
}

const QString kDocumentTitle = QStringLiteral("界面对比报告");
const QString kDocumentAuthor = QStringLiteral("Vantrel");

} // namespace

void ReportExporter::exportPDF(const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                               const QString &deviceName, const ComparisonSettings &settings,
                               const QString &pdfPath) const
{
    // The document is drawn into memory and then written whole, so a failed export never leaves
    // a half-written file in place of an earlier one.
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        throw fileError();

    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(72); // one device unit is one point
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF()));
        writer.setTitle(kDocumentTitle);
        writer.setCreator(kDocumentAuthor);
        QPainter painter;
        if (!painter.begin(&writer))
            throw contextError();

        PdfReportPainter pages(writer, painter);
        const int issuePages = PdfReportPainter::issuePageCount(result.issues.size());
        const int pageCount = issuePages + 2;
        pages.drawPDFSummaryPage(result, design, deviceName, settings, pageCount);
        pages.drawPDFEvidencePage(result, pageCount);
        for (int k = 0; k < issuePages; ++k) {
            const qsizetype first = qsizetype(k) * PdfReportPainter::kIssuesPerPage;
            pages.drawPDFIssuesPage(result.issues.mid(first, PdfReportPainter::kIssuesPerPage), first, k + 3,
                                    pageCount);
        }
        painter.end();
    }

    bytes = PdfDocumentInfo::withAuthor(bytes, kDocumentAuthor);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw fileError();
}

} // namespace vantrel
