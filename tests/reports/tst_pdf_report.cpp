// The PDF report read back with poppler's tools: pages, texts, colours and document information.
#include "reports/PdfDocumentInfo.h"
#include "reports/PdfReportPainter.h"
#include "reports/ReportExporter.h"
#include "reports/ReportTexts.h"
#include "support/CliRunner.h"
#include "support/ReportTestData.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace vantrel;
using vantrel::test::ReportTestData;

namespace {

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qWarning() << program << arguments << process.readAllStandardError();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// One field of pdfinfo's output ("Pages", "Title", …).
QString pdfInfo(const QString &path, const QString &field)
{
    const QRegularExpression line(u'^' + field + QStringLiteral(":\\s*(.*)$"), QRegularExpression::MultilineOption);
    return line.match(runTool(QStringLiteral("pdfinfo"), {path})).captured(1).trimmed();
}

QStringList pageArguments(int page) { return {"-f", QString::number(page), "-l", QString::number(page)}; }

// The text of each page, laid out as on the page.
QStringList pageTexts(const QString &path)
{
    return runTool(QStringLiteral("pdftotext"), {"-layout", path, "-"}).split(u'\f');
}

void verifyContains(const QString &text, const QStringList &expected)
{
    for (const QString &part : expected)
        QVERIFY2(text.contains(part), qPrintable(part + u'\n' + text));
}

// The page as an image at 72 dots per inch, so one pixel is one point (top-left origin).
QImage pageImage(const QString &path, int page)
{
    const QString stem = path + QStringLiteral("-page");
    runTool(QStringLiteral("pdftoppm"), pageArguments(page) + QStringList{"-r", "72", "-png", "-singlefile", path, stem});
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// Pixels of a clearly green and of a clearly orange hue in the value of the first card.
QPair<int, int> conclusionHues(const QImage &page)
{
    QPair<int, int> count;
    for (int y = 118; y < 148; ++y) {
        for (int x = 52; x < 204; ++x) {
            const QRgb p = page.pixel(x, y);
            count.first += qGreen(p) > qRed(p) + 60 && qGreen(p) > qBlue(p) + 60;
            count.second += qRed(p) > 200 && qGreen(p) > 90 && qGreen(p) < 200 && qBlue(p) < 90;
        }
    }
    return count;
}

QString exportPdf(const QTemporaryDir &dir, const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                  const ComparisonSettings &settings = ComparisonSettings(), const QString &name = QStringLiteral("r.pdf"))
{
    const QString path = dir.filePath(name);
    ReportExporter().exportPDF(result, design, QStringLiteral("Pixel 8"), settings, path);
    return path;
}

} // namespace

class PdfReportTest : public QObject {
    Q_OBJECT

private slots:
    void reportWithIssues();
    void reopenedReportWithoutIssues();
    void numbersAndPlacement();
    void documentInformationTexts();
    void unwritableLocationFailsWithCode50();
    void commandLineWritesBothReports();
};

void PdfReportTest::reportWithIssues()
{
    QTemporaryDir dir;
    QList<ComparisonIssue> issues = ReportTestData::numberedIssues(10);
    const QString longTitle = QStringLiteral("登录按钮的文字与设计稿不一致").repeated(8);
    issues[0] = ReportTestData::issue(IssueSeverity::high, IssueCategory::text, longTitle,
                                      QStringLiteral("说明").repeated(300) + QStringLiteral("结尾"));
    ComparisonSettings settings;
    settings.pixelThreshold = 24.6;
    settings.positionTolerance = 1.25;
    settings.sizeTolerance = 3;
    const QString path = exportPdf(dir, ReportTestData::result(issues), ReportTestData::figmaDesign(), settings);

    QCOMPARE(pdfInfo(path, "Pages"), QStringLiteral("4"));
    QCOMPARE(pdfInfo(path, "Title"), QStringLiteral("界面对比报告"));
    QCOMPARE(pdfInfo(path, "Author"), QStringLiteral("Vantrel"));
    QCOMPARE(pdfInfo(path, "Creator"), QStringLiteral("Vantrel"));
    const QString sizes = runTool(QStringLiteral("pdfinfo"), {"-f", "1", "-l", "4", path});
    QCOMPARE(sizes.count(QRegularExpression(QStringLiteral("Page +\\d+ size: +842 x 595 pts"))), 4);
    const QStringList texts = pageTexts(path);
    for (int page = 1; page <= 4; ++page) {
        QVERIFY2(texts[page - 1].contains(QStringLiteral("由Vantrel生成")), qPrintable(texts[page - 1]));
        QVERIFY(texts[page - 1].contains(QRegularExpression(QStringLiteral("\\b%1 / 4\\s*$").arg(page))));
    }

    const QString &summary = texts[0];
    verifyContains(summary, {"移动端界面对比报告", "结论", "一致度", "差异像素", "问题数量", "存在差异", "87.46%", "1.23%",
                             "设计来源：https://www.figma.com/design/abc/Home?node-id=1-2&t=x",
                             "比较参数：像素阈值 24 · 位置容差 1.2 pt · 尺寸容差 3.0 pt", "真机界面", "设计稿"});
    // pdftotext renders the subtitle's double blanks around the dot as one.
    QVERIFY(summary.contains(QRegularExpression(QStringLiteral("Pixel 8 +· +2025-03-14 09:30:15"))));
    QVERIFY(summary.contains(QRegularExpression(QStringLiteral("问题数量[\\s\\S]*\\b10\\b"))));
    const QPair<int, int> orange = conclusionHues(pageImage(path, 1));
    QVERIFY2(orange.second > 20 && orange.first == 0, qPrintable(QStringLiteral("%1 %2").arg(orange.first).arg(orange.second)));

    // Nine issues to a page: the ninth ends page 3, the tenth (medium) opens page 4.
    const QString &third = texts[2];
    verifyContains(third, {"按检测顺序列出，可回到应用点击定位", "1. 登录按钮", "…", "高 · 文本", "9. 问题 9", "说明 9"});
    QVERIFY(!third.contains(longTitle) && !third.contains(QStringLiteral("结尾")) && !third.contains(QStringLiteral("10.")));
    const QString &fourth = texts[3];
    verifyContains(fourth, {"10. 问题 10", "说明 10", "中 · 视觉"});
    QVERIFY(!fourth.contains(QStringLiteral("问题 9")) && !fourth.contains(QStringLiteral("未发现超过当前阈值的差异")));

    // Word boxes: the cut heading ends within its 280 points (x 68 to 348), left of the tag at 350.
    const QString boxes = runTool(QStringLiteral("pdftotext"), pageArguments(3) + QStringList{"-bbox", path, "-"});
    static const QRegularExpression word(QStringLiteral("xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    bool sawHeading = false;
    for (const QRegularExpressionMatch &match : word.globalMatch(boxes)) {
        const double right = match.captured(1).toDouble();
        if (match.captured(2).startsWith(QStringLiteral("登录按钮"))) {
            sawHeading = match.captured(2).endsWith(QStringLiteral("…"));
            QVERIFY2(right <= 348.5, qPrintable(match.captured(0)));
        }
        if (match.captured(2).startsWith(QStringLiteral("说明说明")))
            QVERIFY2(right <= 783.5, qPrintable(match.captured(0)));
    }
    QVERIFY(sawHeading);
}

void PdfReportTest::reopenedReportWithoutIssues()
{
    QTemporaryDir dir;
    ComparisonResult result = ReportTestData::result({});
    result.status = kStatusConsistent;
    const QString path = exportPdf(dir, result, std::nullopt); // reopened from the history: no design
    QCOMPARE(pdfInfo(path, "Pages"), QStringLiteral("3"));
    const QImage summary = pageImage(path, 1);
    const QPair<int, int> green = conclusionHues(summary);
    QVERIFY2(green.first > 20 && green.second == 0, qPrintable(QStringLiteral("%1 %2").arg(green.first).arg(green.second)));
    const QStringList texts = pageTexts(path);
    QVERIFY(texts[0].contains(QStringLiteral("设计来源：历史记录")));
    verifyContains(texts[1], {"视觉证据", "透明叠加用于检查位移，热力图用于定位像素差异", "50% 透明叠加", "差异热力图"});
    const QString &issues = texts[2];
    verifyContains(issues, {"差异清单", "当前容差下未发现差异", "未发现超过当前阈值的差异", "3 / 3"});
    QVERIFY(!issues.contains(QStringLiteral("按检测顺序列出")));

    // Heat map panel area (451, 74, 343, 378): the 2 × 4 map fits as 189 × 378, centred at
    // (622.5, 263). Red-orange (255, 90, 30) at alpha 200 over white, not premultiplied twice.
    const QRgb centre = pageImage(path, 2).pixel(622, 595 - 263);
    QVERIFY2(std::abs(qRed(centre) - 255) <= 10 && std::abs(qGreen(centre) - 126) <= 10 && std::abs(qBlue(centre) - 79) <= 10,
             qPrintable(QColor(centre).name()));
}

void PdfReportTest::numbersAndPlacement()
{
    QCOMPARE(PdfReportPainter::issuePageCount(0), 1);
    QCOMPARE(PdfReportPainter::issuePageCount(19), 3);
    // Values no whole number can hold are printed, not trapped.
    QCOMPARE(ReportTexts::truncatedText(-24.6), QStringLiteral("-24"));
    QCOMPARE(ReportTexts::truncatedText(1e20), QStringLiteral("100000000000000000000"));
    QCOMPARE(ReportTexts::truncatedText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("nan"));
    QCOMPARE(ReportTexts::truncatedText(-std::numeric_limits<double>::infinity()), QStringLiteral("-inf"));
    // Small images are enlarged and centred; wide images fill the width.
    const QRectF area(48, 69, 343, 250);
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(10, 10), area), QRectF(48 + 46.5, 69, 250, 250));
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(686, 100), area), QRectF(48, 69 + 100, 343, 50));
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(50, 0), area), area);
}

void PdfReportTest::documentInformationTexts()
{
    QCOMPARE(PdfDocumentInfo::textString(QStringLiteral("Va界😀")), QByteArray("<FEFF00560061754CD83DDE00>"));
    // Bytes that do not end in a trailer naming an information dictionary are left alone.
    const QByteArray noInfo = "%PDF-1.4\ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
    QCOMPARE(PdfDocumentInfo::withAuthor(noInfo, QStringLiteral("x")), noInfo);
}

void PdfReportTest::unwritableLocationFailsWithCode50()
{
    QTemporaryDir dir;
    const ComparisonResult result = ReportTestData::result({});
    for (const QString &path : {dir.filePath(QStringLiteral("missing/folder/r.pdf")), dir.path()}) {
        try {
            ReportExporter().exportPDF(result, std::nullopt, QStringLiteral("d"), ComparisonSettings(), path);
            QFAIL(qPrintable(QStringLiteral("no error for ") + path));
        } catch (const AppError &error) {
            QCOMPARE(error.domain, QStringLiteral("Vantrel"));
            QCOMPARE(error.code, 50);
            QCOMPARE(error.description, QStringLiteral("无法创建 PDF 文件"));
        }
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));

    // Exporting again to the same place replaces the earlier document whole.
    const QString path = exportPdf(dir, ReportTestData::result(ReportTestData::numberedIssues(10)), std::nullopt);
    QCOMPARE(pdfInfo(path, "Pages"), QStringLiteral("4"));
    exportPdf(dir, result, std::nullopt);
    QCOMPARE(pdfInfo(path, "Pages"), QStringLiteral("3"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("r.pdf")});
}

void PdfReportTest::commandLineWritesBothReports()
{
    QTemporaryDir dir;
    test::TemporaryHome home;
    const QString device = dir.filePath(QStringLiteral("screen.png"));
    const QString design = dir.filePath(QStringLiteral("design.png"));
    QImage screen = ReportTestData::solidImage(90, 180, Qt::white);
    QVERIFY(screen.save(design));
    screen.setPixelColor(10, 10, Qt::black);
    QVERIFY(screen.save(device));

    const QString html = dir.filePath(QStringLiteral("out/report.html"));
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const test::CliRun run = test::runCli({"compare", "--device", device, "--design", design, "--html", html, "--pdf", pdf});
    QVERIFY2(run.exitCode == 0 || run.exitCode == 1, qPrintable(run.errText()));
    verifyContains(run.errText(), {QStringLiteral("报告已导出：") + html, QStringLiteral("PDF 报告已导出：") + pdf});
    QFile page(html);
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(page.readAll()).contains(QStringLiteral(" · 导入截图 · 本地图片 · ") + design + "</div>"));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/report-assets/heatmap.png"))));
    QVERIFY(pageTexts(pdf)[0].contains(QRegularExpression(QStringLiteral("导入截图 +· +\\d{4}-\\d\\d-\\d\\d "))));

    // A PDF that cannot be created is a failure with the exporter's message.
    const test::CliRun failing =
        test::runCli({"compare", "--device", device, "--design", design, "--pdf", dir.filePath("missing/r.pdf")});
    QCOMPARE(failing.exitCode, 2);
    QVERIFY(failing.errText().contains(QStringLiteral("PDF 导出失败：无法创建 PDF 文件")));
}

QTEST_MAIN(PdfReportTest)
#include "tst_pdf_report.moc"
