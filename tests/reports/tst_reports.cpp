// Both reports: the HTML page against its fixture, the PDF read back with poppler's tools, and the
// command line writing both.
#include "engine/FileWriter.h"
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

const QStringList kAssetNames = {"device.png", "design.png", "aligned-design.png", "overlay.png", "heatmap.png"};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString exportPage(const QString &path, const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                   const QString &deviceName = QStringLiteral("Pixel 8"),
                   const ComparisonSettings &settings = ComparisonSettings())
{
    ReportExporter().exportHtml(result, design, deviceName, settings, path);
    return QString::fromUtf8(readAll(path));
}

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

class ReportsTest : public QObject {
    Q_OBJECT

private slots:
    void htmlMatchesTheTemplateByteForByte();
    void htmlEscapesEveryInsertedText();
    void htmlSourcesAndEmptyResults();
    void htmlFormatsNumbersAsPrintfDoes_data();
    void htmlFormatsNumbersAsPrintfDoes();
    void htmlWritesAndReplacesTheAssetsFolder();
    void htmlFailedWritesLeaveNoPage();
    void pdfWithIssues();
    void pdfReopenedWithoutIssues();
    void pdfNumbersAndPlacement();
    void pdfDocumentInformationTexts();
    void pdfUnwritableLocationFailsWithCode50();
    void commandLineWritesBothReports();
};

void ReportsTest::htmlMatchesTheTemplateByteForByte()
{
    QTemporaryDir dir;
    const QList<ComparisonIssue> issues = {
        ReportTestData::issue(IssueSeverity::high, IssueCategory::color, QStringLiteral("按钮颜色不一致"),
                              QStringLiteral("设计 #FF3B30，实际 #FF453A")),
        ReportTestData::issue(IssueSeverity::low, IssueCategory::position, QStringLiteral("标题位置偏移"),
                              QStringLiteral("偏移 3.0 pt"))};
    ComparisonSettings settings;
    settings.pixelThreshold = 24.6;
    settings.sizeTolerance = 1.5;
    const QString path = dir.filePath(QStringLiteral("report.html"));
    const QByteArray page =
        exportPage(path, ReportTestData::result(issues), ReportTestData::figmaDesign(), "Pixel 8", settings).toUtf8();

    // The fixture holds the page with a marker where each picture's Base64 goes.
    QByteArray expected = readAll(test::dataPath(QStringLiteral("report-small.html")));
    QVERIFY(!expected.isEmpty());
    for (const QString &name : kAssetNames) {
        const QByteArray png = readAll(ReportExporter::assetsDirectory(path) + u'/' + name);
        QVERIFY2(!png.isEmpty(), qPrintable(name));
        expected.replace("{{" + name.toUtf8() + "}}", png.toBase64());
    }
    QCOMPARE(page, expected);
}

void ReportsTest::htmlEscapesEveryInsertedText()
{
    QTemporaryDir dir;
    ComparisonResult result = ReportTestData::result(
        {ReportTestData::issue(IssueSeverity::medium, IssueCategory::text, QStringLiteral("文本 \"确定\" > '取消'"),
                               QStringLiteral("实际为 &lt; 而非 <"))});
    result.status = QStringLiteral("<i>存在差异</i>");
    ImportedDesign design = ReportTestData::figmaDesign();
    design.source = QStringLiteral("/tmp/a&b/\"设计\".png");
    const QString page = exportPage(dir.filePath("r.html"), result, design, QStringLiteral("<b>Pixel</b> & 'Pro'"));

    QVERIFY(page.contains(QStringLiteral("2025-03-14 09:30:15 · &lt;b&gt;Pixel&lt;/b&gt; &amp; 'Pro' · Figma · "
                                         "/tmp/a&amp;b/&quot;设计&quot;.png</div>")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"value\">&lt;i&gt;存在差异&lt;/i&gt;</div>")));
    QVERIFY(page.contains(QStringLiteral("<td>文本 &quot;确定&quot; &gt; '取消'</td>")));
    // The ampersand goes first, so the text "&lt;" reaches the browser as itself.
    QVERIFY(page.contains(QStringLiteral("<td>实际为 &amp;lt; 而非 &lt;</td>")));
    QVERIFY(page.contains(QStringLiteral("<td><span class=\"severity 中\">中</span></td>\n  <td>文本</td>")));
    QVERIFY(!page.contains(QStringLiteral("<b>")));
}

void ReportsTest::htmlSourcesAndEmptyResults()
{
    QTemporaryDir dir;
    ComparisonResult result = ReportTestData::result({});
    const QString reopened = exportPage(dir.filePath("h.html"), result, std::nullopt, QStringLiteral("导入截图"));
    QVERIFY(reopened.contains(QStringLiteral("<div class=\"meta\">2025-03-14 09:30:15 · 导入截图 · 历史记录 · 历史记录</div>")));
    QVERIFY(reopened.contains(QStringLiteral("<p class=\"meta\">模式：视觉 + 元素参数；")));
    QVERIFY(reopened.contains(QStringLiteral("问题数<div class=\"value\">0</div>")));
    QVERIFY(reopened.endsWith(QStringLiteral(
        "<tbody><tr><td colspan=\"4\">未发现超过当前阈值的差异</td></tr></tbody></table>\n  </section>\n</main></body></html>")));

    // A local visual-only design; a picture without PNG data is left empty and gets no file.
    ImportedDesign visualOnly = ReportTestData::figmaDesign();
    visualOnly.kind = DesignSourceKind::local;
    visualOnly.source = QStringLiteral("/designs/home.png");
    visualOnly.isVisualOnly = true;
    result.designImage = QImage();
    const QString path = dir.filePath("l.html");
    const QString local = exportPage(path, result, visualOnly);
    QVERIFY(local.contains(QStringLiteral("· Pixel 8 · 本地图片 · /designs/home.png</div>")));
    QVERIFY(local.contains(QStringLiteral("<p class=\"meta\">模式：仅视觉对比；")));
    QVERIFY(local.contains(QStringLiteral("<h3>设计稿</h3><img src=\"data:image/png;base64,\"></div>")));
    QVERIFY(!QFile::exists(ReportExporter::assetsDirectory(path) + QStringLiteral("/design.png")));
    QVERIFY(QFile::exists(ReportExporter::assetsDirectory(path) + QStringLiteral("/aligned-design.png")));
}

void ReportsTest::htmlFormatsNumbersAsPrintfDoes_data()
{
    QTest::addColumn<QList<double>>("inputs"); // score, ratio, threshold, position, size
    QTest::addColumn<QStringList>("expected"); // score card, pixel card, parameters
    QTest::newRow("rounded") << QList<double>{87.456, 0.01234, 24.6, 2.0, 2.0}
                             << QStringList{"87.46%", "1.23%", "像素阈值：25；位置/尺寸容差：2.0/2.0 pt"};
    QTest::newRow("whole") << QList<double>{100, 0, 24, 0.04, 12.96}
                           << QStringList{"100.00%", "0.00%", "像素阈值：24；位置/尺寸容差：0.0/13.0 pt"};
    // The stored binary value is rounded, exact ties to even, as printf does: 3.25 and 24.5 are
    // exact ties, 1.05 is stored just above itself.
    QTest::newRow("ties") << QList<double>{0.004, 1, 0.4, 3.25, 1.05}
                          << QStringList{"0.00%", "100.00%", "像素阈值：0；位置/尺寸容差：3.2/1.1 pt"};
    QTest::newRow("more ties") << QList<double>{0.125, 0.00125, 24.5, -0.04, 0.25}
                               << QStringList{"0.12%", "0.12%", "像素阈值：24；位置/尺寸容差：-0.0/0.2 pt"};
}

void ReportsTest::htmlFormatsNumbersAsPrintfDoes()
{
    QFETCH(QList<double>, inputs);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    ComparisonResult result = ReportTestData::result({});
    result.score = inputs[0];
    result.changedPixelRatio = inputs[1];
    ComparisonSettings settings;
    settings.pixelThreshold = inputs[2];
    settings.positionTolerance = inputs[3];
    settings.sizeTolerance = inputs[4];
    const QString page = exportPage(dir.filePath("n.html"), result, ReportTestData::figmaDesign(), "d", settings);
    QVERIFY(page.contains(QStringLiteral("一致度<div class=\"value\">") + expected[0] + QStringLiteral("</div>")));
    QVERIFY(page.contains(QStringLiteral("差异像素<div class=\"value\">") + expected[1] + QStringLiteral("</div>")));
    QVERIFY(page.contains(expected[2]));
}

void ReportsTest::htmlWritesAndReplacesTheAssetsFolder()
{
    QTemporaryDir dir;
    // Intermediate folders are created; the folder is named after the page without its extension.
    const QString path = dir.filePath(QStringLiteral("out/weekly/my.report.html"));
    QCOMPARE(ReportExporter::assetsDirectory(path), dir.filePath(QStringLiteral("out/weekly/my.report-assets")));
    const QDir assets(ReportExporter::assetsDirectory(path));
    QStringList sortedNames = kAssetNames;
    sortedNames.sort();
    const auto sameAssets = [&](const ComparisonResult &r) {
        const QList<QImage> images{r.deviceImage, r.designImage, r.alignedDesignImage, r.overlayImage, r.heatmapImage};
        for (int i = 0; i < images.size(); ++i) {
            const QImage written(assets.filePath(kAssetNames[i]));
            if (written.convertToFormat(QImage::Format_RGBA8888) != images[i].convertToFormat(QImage::Format_RGBA8888))
                return false;
        }
        return assets.entryList(QDir::Files | QDir::Hidden, QDir::Name) == sortedNames;
    };
    const ComparisonResult first = ReportTestData::result(ReportTestData::numberedIssues(2));
    exportPage(path, first, ReportTestData::figmaDesign());
    QVERIFY(sameAssets(first));
    // The heat map keeps its straight colours: red-orange at alpha 200, byte for byte.
    const QImage heat = QImage(assets.filePath("heatmap.png")).convertToFormat(QImage::Format_RGBA8888);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(heat.constScanLine(1)), 4), QByteArray("\xff\x5a\x1e\xc8", 4));

    // A second export to the same place replaces the page and every image, and leaves no
    // temporary files behind.
    ComparisonResult second = ReportTestData::result({});
    second.deviceImage = ReportTestData::solidImage(3, 3, Qt::yellow);
    second.designImage = ReportTestData::solidImage(5, 2, Qt::cyan);
    second.alignedDesignImage = ReportTestData::solidImage(1, 1, Qt::magenta);
    second.overlayImage = ReportTestData::solidImage(2, 2, Qt::darkGreen);
    second.heatmapImage = ReportTestData::solidImage(2, 3, Qt::black, QImage::Format_RGBA8888);
    QVERIFY(!exportPage(path, second, std::nullopt).contains(QStringLiteral("问题 1")));
    QVERIFY(sameAssets(second));
    QCOMPARE(QDir(dir.filePath("out/weekly")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"my.report-assets", "my.report.html"}));
}

void ReportsTest::htmlFailedWritesLeaveNoPage()
{
    QTemporaryDir dir;
    const ComparisonResult result = ReportTestData::result({});
    const auto exportTo = [&](const QString &path) {
        ReportExporter().exportHtml(result, std::nullopt, QStringLiteral("d"), ComparisonSettings(), path);
    };
    // The assets folder's place is taken by a file.
    const QString blocked = dir.filePath(QStringLiteral("blocked.html"));
    FileWriter::writeAtomically(ReportExporter::assetsDirectory(blocked), "not a folder");
    QVERIFY_THROWS_EXCEPTION(FileWriteError, exportTo(blocked));
    QVERIFY(!QFile::exists(blocked));

    // An asset cannot be written: an earlier page survives.
    const QString earlier = dir.filePath(QStringLiteral("earlier.html"));
    exportTo(earlier);
    const QByteArray before = readAll(earlier);
    const QString overlay = ReportExporter::assetsDirectory(earlier) + QStringLiteral("/overlay.png");
    QVERIFY(QFile::remove(overlay) && QDir().mkpath(overlay));
    QVERIFY_THROWS_EXCEPTION(FileWriteError, ReportExporter().exportHtml(result, ReportTestData::figmaDesign(), "x",
                                                                        ComparisonSettings(), earlier));
    QCOMPARE(readAll(earlier), before);
}

void ReportsTest::pdfWithIssues()
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

void ReportsTest::pdfReopenedWithoutIssues()
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

void ReportsTest::pdfNumbersAndPlacement()
{
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

void ReportsTest::pdfDocumentInformationTexts()
{
    QCOMPARE(PdfDocumentInfo::textString(QStringLiteral("Va界😀")), QByteArray("<FEFF00560061754CD83DDE00>"));
    // Bytes that do not end in a trailer naming an information dictionary are left alone.
    const QByteArray noInfo = "%PDF-1.4\ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
    QCOMPARE(PdfDocumentInfo::withAuthor(noInfo, QStringLiteral("x")), noInfo);
}

void ReportsTest::pdfUnwritableLocationFailsWithCode50()
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

void ReportsTest::commandLineWritesBothReports()
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
    QVERIFY(QString::fromUtf8(readAll(html)).contains(QStringLiteral(" · 导入截图 · 本地图片 · ") + design + "</div>"));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/report-assets/heatmap.png"))));
    QVERIFY(pageTexts(pdf)[0].contains(QRegularExpression(QStringLiteral("导入截图 +· +\\d{4}-\\d\\d-\\d\\d "))));

    // A PDF that cannot be created is a failure with the exporter's message.
    const test::CliRun failing =
        test::runCli({"compare", "--device", device, "--design", design, "--pdf", dir.filePath("missing/r.pdf")});
    QCOMPARE(failing.exitCode, 2);
    QVERIFY(failing.errText().contains(QStringLiteral("PDF 导出失败：无法创建 PDF 文件")));
}

QTEST_MAIN(ReportsTest)
#include "tst_reports.moc"
