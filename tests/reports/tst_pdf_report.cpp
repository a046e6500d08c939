#include "reports/PdfDocumentInfo.h"
#include "reports/PdfReportPainter.h"
#include "reports/ReportExporter.h"
#include "reports/ReportTexts.h"
#include "support/ReportTestData.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace vantrel;
using vantrel::test::ReportTestData;

namespace {

// Output of one of poppler's tools; fails the test when the tool does not succeed.
QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QMap<QString, QString> pdfInfo(const QString &path)
{
    QMap<QString, QString> info;
    const QStringList lines = runTool(QStringLiteral("pdfinfo"), {path}).split(u'\n');
    for (const QString &line : lines) {
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0)
            info.insert(line.left(colon), line.mid(colon + 1).trimmed());
    }
    return info;
}

// The text of one page, laid out as on the page.
QString pageText(const QString &path, int page)
{
    const QString number = QString::number(page);
    return runTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), number, QStringLiteral("-l"), number,
                                                 QStringLiteral("-layout"), path, QStringLiteral("-")});
}

// The page as an image at 72 dots per inch, so one pixel is one point (top-left origin).
QImage pageImage(const QString &path, int page, const QTemporaryDir &dir)
{
    const QString number = QString::number(page);
    const QString stem = dir.filePath(QStringLiteral("page-") + number);
    runTool(QStringLiteral("pdftoppm"), {QStringLiteral("-f"), number, QStringLiteral("-l"), number,
                                         QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                                         QStringLiteral("-singlefile"), path, stem});
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

bool near(QRgb pixel, const QColor &expected, int tolerance)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance
           && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}


// Pixels of a clearly green or clearly orange hue in a region of a page image.
struct HueCount {
    int green = 0;
    int orange = 0;
};

HueCount hues(const QImage &image, const QRect &region)
{
    HueCount count;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qGreen(p) > qRed(p) + 60 && qGreen(p) > qBlue(p) + 60)
                ++count.green;
            if (qRed(p) > 200 && qGreen(p) > 90 && qGreen(p) < 200 && qBlue(p) < 90)
                ++count.orange;
        }
    }
    return count;
}

QString exportPdf(const QTemporaryDir &dir, const ComparisonResult &result,
                  const std::optional<ImportedDesign> &design = ReportTestData::figmaDesign(),
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
    void documentHasLandscapeA4PagesAndItsInformation();
    void summaryPageShowsCardsSourceAndParameters();
    void reopenedResultWithoutIssues();
    void issuesAreNineToAPage();
    void longTitleEndsInAnEllipsisBeforeTheTag();
    void conclusionColourFollowsTheStatus();
    void heatmapShowsItsStraightColours();
    void pageCountTruncationAndAspectFit();
    void documentInformationIsAnIncrementalUpdate();
    void unwritableLocationFailsWithCode50();
    void commandLineWritesBothReports();
};

void PdfReportTest::documentHasLandscapeA4PagesAndItsInformation()
{
    QTemporaryDir dir;
    const QString path = exportPdf(dir, ReportTestData::result(ReportTestData::numberedIssues(2)));
    const QMap<QString, QString> info = pdfInfo(path);
    QCOMPARE(info.value(QStringLiteral("Pages")), QStringLiteral("3"));
    QVERIFY2(info.value(QStringLiteral("Page size")).startsWith(QStringLiteral("842 x 595 pts")),
             qPrintable(info.value(QStringLiteral("Page size"))));
    QCOMPARE(info.value(QStringLiteral("Title")), QStringLiteral("界面对比报告"));
    QCOMPARE(info.value(QStringLiteral("Author")), QStringLiteral("Vantrel"));
    QCOMPARE(info.value(QStringLiteral("Creator")), QStringLiteral("Vantrel"));

    // Every page has the same size, and every page carries its footer.
    const QString allPages =
        runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                            QStringLiteral("3"), path});
    QCOMPARE(allPages.count(QRegularExpression(QStringLiteral("Page +\\d+ size: +842 x 595 pts"))), 3);
    for (int page = 1; page <= 3; ++page) {
        const QString text = pageText(path, page);
        QVERIFY2(text.contains(QStringLiteral("由Vantrel生成")), qPrintable(text));
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\b%1 / 3\\s*$").arg(page))), qPrintable(text));
    }
}

void PdfReportTest::summaryPageShowsCardsSourceAndParameters()
{
    QTemporaryDir dir;
    ComparisonSettings settings;
    settings.pixelThreshold = 24.6;
    settings.positionTolerance = 1.25;
    settings.sizeTolerance = 3;
    const QString path =
        exportPdf(dir, ReportTestData::result(ReportTestData::numberedIssues(12)), ReportTestData::figmaDesign(), settings);
    const QString text = pageText(path, 1);
    for (const char16_t *expected :
         {u"移动端界面对比报告", u"结论", u"一致度", u"差异像素", u"问题数量",
          u"存在差异", u"87.46%", u"1.23%", u"设计来源：https://www.figma.com/design/abc/Home?node-id=1-2&t=x",
          u"比较参数：像素阈值 24 · 位置容差 1.2 pt · 尺寸容差 3.0 pt", u"真机界面", u"设计稿", u"1 / 4"}) {
        QVERIFY2(text.contains(QString::fromUtf16(expected)), qPrintable(QString::fromUtf16(expected) + u'\n' + text));
    }
    // pdftotext renders the subtitle's double blanks around the dot as one.
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("Pixel 8 +· +2025-03-14 09:30:15"))));
    // The threshold is cut, not rounded, in the PDF.
    QVERIFY(!text.contains(QStringLiteral("像素阈值 25")));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("问题数量[\\s\\S]*\\b12\\b"))));
}

void PdfReportTest::reopenedResultWithoutIssues()
{
    QTemporaryDir dir;
    ComparisonResult result = ReportTestData::result({});
    result.status = kStatusConsistent;
    const QString path = exportPdf(dir, result, std::nullopt); // reopened from the history: no design
    QCOMPARE(pdfInfo(path).value(QStringLiteral("Pages")), QStringLiteral("3"));
    QVERIFY(pageText(path, 1).contains(QStringLiteral("设计来源：历史记录")));
    const QString evidence = pageText(path, 2);
    for (const char16_t *expected :
         {u"视觉证据", u"透明叠加用于检查位移，热力图用于定位像素差异", u"50% 透明叠加", u"差异热力图", u"2 / 3"})
        QVERIFY2(evidence.contains(QString::fromUtf16(expected)), qPrintable(QString::fromUtf16(expected) + u'\n' + evidence));
    const QString text = pageText(path, 3);
    for (const char16_t *expected : {u"差异清单", u"当前容差下未发现差异", u"未发现超过当前阈值的差异", u"3 / 3"})
        QVERIFY2(text.contains(QString::fromUtf16(expected)), qPrintable(QString::fromUtf16(expected) + u'\n' + text));
    QVERIFY(!text.contains(QStringLiteral("按检测顺序列出")));
}

void PdfReportTest::issuesAreNineToAPage()
{
    QTemporaryDir dir;
    const QString nine = exportPdf(dir, ReportTestData::result(ReportTestData::numberedIssues(9)),
                                   ReportTestData::figmaDesign(), ComparisonSettings(), QStringLiteral("nine.pdf"));
    QCOMPARE(pdfInfo(nine).value(QStringLiteral("Pages")), QStringLiteral("3"));
    const QString nineText = pageText(nine, 3);
    QVERIFY2(nineText.contains(QStringLiteral("按检测顺序列出，可回到应用点击定位")), qPrintable(nineText));
    QVERIFY2(nineText.contains(QStringLiteral("9. 问题 9")) && nineText.contains(QStringLiteral("说明 9")), qPrintable(nineText));
    QVERIFY(!nineText.contains(QStringLiteral("未发现超过当前阈值的差异")));

    const QString ten = exportPdf(dir, ReportTestData::result(ReportTestData::numberedIssues(10)),
                                  ReportTestData::figmaDesign(), ComparisonSettings(), QStringLiteral("ten.pdf"));
    QCOMPARE(pdfInfo(ten).value(QStringLiteral("Pages")), QStringLiteral("4"));
    const QString third = pageText(ten, 3);
    QVERIFY(third.contains(QStringLiteral("9. 问题 9")) && !third.contains(QStringLiteral("10. 问题 10")));
    const QString fourth = pageText(ten, 4);
    QVERIFY2(fourth.contains(QStringLiteral("10. 问题 10")), qPrintable(fourth));
    QVERIFY(fourth.contains(QStringLiteral("说明 10")));
    // The tenth issue is medium (severities cycle) and shows its labels.
    QVERIFY(fourth.contains(QStringLiteral("中 · 视觉")));
    QVERIFY(!fourth.contains(QStringLiteral("问题 9")));
}

void PdfReportTest::longTitleEndsInAnEllipsisBeforeTheTag()
{
    QTemporaryDir dir;
    const QString longTitle = QStringLiteral("登录按钮的文字与设计稿不一致").repeated(8);
    const QString longDetail = QStringLiteral("说明").repeated(300) + QStringLiteral("结尾");
    const QString path = exportPdf(
        dir, ReportTestData::result({ReportTestData::issue(IssueSeverity::high, IssueCategory::text, longTitle,
                                                           longDetail)}));
    const QString text = pageText(path, 3);
    QVERIFY2(text.contains(QStringLiteral("1. 登录按钮")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("…")), qPrintable(text));
    QVERIFY(!text.contains(longTitle));
    QVERIFY(!text.contains(QStringLiteral("结尾")));
    QVERIFY(text.contains(QStringLiteral("高 · 文本")));

    // Word boxes: the cut heading ends within its 280 points (x 68 to 348), left of the tag at 350.
    const QString boxes = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("3"),
                                                                QStringLiteral("-l"), QStringLiteral("3"),
                                                                QStringLiteral("-bbox"), path, QStringLiteral("-")});
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    bool sawHeading = false;
    for (const QRegularExpressionMatch &match : word.globalMatch(boxes)) {
        if (match.captured(3).startsWith(QStringLiteral("登录按钮"))) {
            sawHeading = true;
            QVERIFY2(match.captured(3).endsWith(QStringLiteral("…")), qPrintable(match.captured(3)));
            QVERIFY2(match.captured(2).toDouble() <= 348.5, qPrintable(match.captured(0)));
        }
        if (match.captured(3).startsWith(QStringLiteral("说明说明")))
            QVERIFY2(match.captured(2).toDouble() <= 783.5, qPrintable(match.captured(0)));
    }
    QVERIFY(sawHeading);
}

void PdfReportTest::conclusionColourFollowsTheStatus()
{
    QTemporaryDir dir;
    // The value of the first card: (52, 450, 152, 25) from the bottom left, top at 595 − 475.
    const QRect valueArea(52, 118, 152, 30);
    ComparisonResult result = ReportTestData::result({});
    result.status = kStatusConsistent;
    const HueCount same = hues(pageImage(exportPdf(dir, result, std::nullopt, ComparisonSettings(),
                                                   QStringLiteral("same.pdf")),
                                         1, dir),
                               valueArea);
    QVERIFY2(same.green > 20 && same.orange == 0, qPrintable(QStringLiteral("%1 %2").arg(same.green).arg(same.orange)));

    result.status = kStatusDifferent;
    const HueCount different = hues(pageImage(exportPdf(dir, result, std::nullopt, ComparisonSettings(),
                                                        QStringLiteral("different.pdf")),
                                              1, dir),
                                    valueArea);
    QVERIFY2(different.orange > 20 && different.green == 0,
             qPrintable(QStringLiteral("%1 %2").arg(different.green).arg(different.orange)));
}

void PdfReportTest::heatmapShowsItsStraightColours()
{
    QTemporaryDir dir;
    const QImage page = pageImage(exportPdf(dir, ReportTestData::result({})), 2, dir);
    // Heat map panel (439, 62, 367, 430): area (451, 74, 343, 378); the 2 × 4 map fits as 189 × 378,
    // centred at (622.5, 263). Red-orange (255, 90, 30) at alpha 200 over the white panel.
    const QRgb centre = page.pixel(622, 595 - 263);
    QVERIFY(near(centre, QColor(255, 126, 79), 10));
}

void PdfReportTest::pageCountTruncationAndAspectFit()
{
    QCOMPARE(PdfReportPainter::issuePageCount(19), 3);
    // The threshold is cut towards zero; values no whole number can hold are printed, not trapped.
    QCOMPARE(ReportTexts::truncatedText(-24.6), QStringLiteral("-24"));
    QCOMPARE(ReportTexts::truncatedText(1e20), QStringLiteral("100000000000000000000"));
    QCOMPARE(ReportTexts::truncatedText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("nan"));
    QCOMPARE(ReportTexts::truncatedText(-std::numeric_limits<double>::infinity()), QStringLiteral("-inf"));

    const QRectF area(48, 69, 343, 250);
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(1179, 2556), area),
             QRectF(48 + (343 - 1179 * (250.0 / 2556)) / 2, 69, 1179 * (250.0 / 2556), 250));
    // Small images are enlarged; wide images fill the width.
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(10, 10), area), QRectF(48 + 46.5, 69, 250, 250));
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(686, 100), area), QRectF(48, 69 + 100, 343, 50));
    QCOMPARE(PdfReportPainter::aspectFit(QSizeF(50, 0), area), area);
}

void PdfReportTest::documentInformationIsAnIncrementalUpdate()
{
    QCOMPARE(PdfDocumentInfo::textString(QStringLiteral("Va界😀")), QByteArray("<FEFF00560061754CD83DDE00>"));
    // Bytes that do not end in a trailer naming an information dictionary are left alone.
    QCOMPARE(PdfDocumentInfo::withAuthor("not a document", QStringLiteral("x")), QByteArray("not a document"));
    const QByteArray noInfo = "%PDF-1.4\ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
    QCOMPARE(PdfDocumentInfo::withAuthor(noInfo, QStringLiteral("x")), noInfo);

    // The original file stays a prefix of the result; a reader sees the new author and the old title.
    QTemporaryDir dir;
    const QString path = exportPdf(dir, ReportTestData::result({}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    const qsizetype firstEnd = written.indexOf("%%EOF");
    QVERIFY(firstEnd > 0);
    const QByteArray original = written.left(written.indexOf('\n', firstEnd) + 1);
    const QByteArray renamed = PdfDocumentInfo::withAuthor(original, QStringLiteral("审阅人 <QA>"));
    QVERIFY(renamed.startsWith(original));
    const QString renamedPath = dir.filePath(QStringLiteral("renamed.pdf"));
    QFile out(renamedPath);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(renamed) == renamed.size());
    out.close();
    const QMap<QString, QString> info = pdfInfo(renamedPath);
    QCOMPARE(info.value(QStringLiteral("Author")), QStringLiteral("审阅人 <QA>"));
    QCOMPARE(info.value(QStringLiteral("Title")), QStringLiteral("界面对比报告"));
    QCOMPARE(info.value(QStringLiteral("Pages")), QStringLiteral("3"));
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
    const QString path = exportPdf(dir, ReportTestData::result(ReportTestData::numberedIssues(10)));
    QCOMPARE(pdfInfo(path).value(QStringLiteral("Pages")), QStringLiteral("4"));
    exportPdf(dir, ReportTestData::result({}));
    QCOMPARE(pdfInfo(path).value(QStringLiteral("Pages")), QStringLiteral("3"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("r.pdf")});
}

void PdfReportTest::commandLineWritesBothReports()
{
    QTemporaryDir dir;
    test::TemporaryHome home;
    const QString device = dir.filePath(QStringLiteral("screen.png"));
    const QString design = dir.filePath(QStringLiteral("design.png"));
    QImage screen = ReportTestData::solidImage(90, 180, Qt::white);
    screen.setPixelColor(10, 10, Qt::black);
    QVERIFY(screen.save(device));
    QVERIFY(ReportTestData::solidImage(90, 180, Qt::white).save(design));

    QProcess cli;
    const QString html = dir.filePath(QStringLiteral("out/report.html"));
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    cli.start(test::cliPath(), {QStringLiteral("compare"), QStringLiteral("--device"), device, QStringLiteral("--design"),
                                design, QStringLiteral("--html"), html, QStringLiteral("--pdf"), pdf});
    QVERIFY(cli.waitForFinished(120000));
    const QString errors = QString::fromUtf8(cli.readAllStandardError());
    QVERIFY2(cli.exitCode() == 0 || cli.exitCode() == 1, qPrintable(errors));
    QVERIFY2(errors.contains(QStringLiteral("报告已导出：") + QDir::toNativeSeparators(html)), qPrintable(errors));
    QVERIFY2(errors.contains(QStringLiteral("PDF 报告已导出：") + QDir::toNativeSeparators(pdf)), qPrintable(errors));

    QFile page(html);
    QVERIFY(page.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(page.readAll()).contains(QStringLiteral(" · 导入截图 · 本地图片 · ") + design + QStringLiteral("</div>")));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/report-assets/heatmap.png"))));
    QCOMPARE(pdfInfo(pdf).value(QStringLiteral("Title")), QStringLiteral("界面对比报告"));
    QVERIFY(pageText(pdf, 1).contains(QRegularExpression(QStringLiteral("导入截图 +· +\\d{4}-\\d\\d-\\d\\d "))));

    // A PDF that cannot be created is a failure with the exporter's message.
    QProcess failing;
    failing.start(test::cliPath(), {QStringLiteral("compare"), QStringLiteral("--device"), device,
                                    QStringLiteral("--design"), design, QStringLiteral("--pdf"),
                                    dir.filePath(QStringLiteral("missing/r.pdf"))});
    QVERIFY(failing.waitForFinished(120000));
    QCOMPARE(failing.exitCode(), 2);
    QVERIFY(QString::fromUtf8(failing.readAllStandardError()).contains(QStringLiteral("PDF 导出失败：无法创建 PDF 文件")));
}

QTEST_MAIN(PdfReportTest)
#include "tst_pdf_report.moc"
