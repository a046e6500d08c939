// Both reports: the HTML page against its fixture, the PDF read back with poppler's tools, and the
// command line writing both.
#include "engine/FileWriter.h"
#include "reports/PdfDocumentInfo.h"
#include "reports/PdfReportPainter.h"
#include "reports/ReportExporter.h"
#include "reports/ReportTexts.h"
#include "support/CliRunner.h"
#include "support/Golden.h"
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

QStringList pageArguments(int page) { return {"-f", QString::number(page), "-l", QString::number(page)}; }

// The text of each page, laid out as on the page.
QStringList pageTexts(const QString &path)
{
    return runTool(QStringLiteral("pdftotext"), {"-layout", path, "-"}).split(u'\f');
}

// The page from its body on, each embedded picture's Base64 shortened to "…" (an empty one stays empty).
QString pageBody(const QString &page)
{
    static const QRegularExpression base64(QStringLiteral("base64,[A-Za-z0-9+/=]+"));
    return page.mid(page.indexOf(QStringLiteral("<body>"))).replace(base64, QStringLiteral("base64,…")) + u'\n';
}

// pdfinfo's title, author, creator and page sizes, then each page's text as pdftotext lays it out with
// blanks collapsed; a text repeated up to its cut keeps one repetition and the ellipsis.
QString pdfTranscript(const QString &path)
{
    static const QRegularExpression info(QStringLiteral("^(Title|Author|Creator|Pages|Page +\\d+ size):.*$"),
                                         QRegularExpression::MultilineOption);
    QStringList lines;
    for (const QRegularExpressionMatch &match : info.globalMatch(runTool(QStringLiteral("pdfinfo"), {"-f", "1", "-l", "9", path})))
        lines << match.captured(0).simplified();
    const QStringList pages = pageTexts(path);
    for (int page = 0; page + 1 < pages.size(); ++page) {
        lines << QStringLiteral("--- page %1").arg(page + 1);
        for (const QString &line : pages[page].split(u'\n'))
            if (!line.trimmed().isEmpty())
                lines << line.simplified();
    }
    static const QRegularExpression repeated(QStringLiteral("(说明|登录按钮的文字与设计稿不一致)+\\S*…"));
    return lines.join(u'\n').replace(repeated, QStringLiteral("\\1…")) + u'\n';
}

// The page as an image at 72 dots per inch, so one pixel is one point (top-left origin).
QImage pageImage(const QString &path, int page)
{
    const QTemporaryDir out;
    const QString stem = out.filePath(QStringLiteral("page"));
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
                  const ComparisonSettings &settings = ComparisonSettings())
{
    const QString path = dir.filePath(QStringLiteral("r.pdf"));
    ReportExporter().exportPDF(result, design, QStringLiteral("Pixel 8"), settings, path);
    return path;
}

} // namespace

class ReportsTest : public QObject {
    Q_OBJECT

private slots:
    void htmlMatchesTheTemplateByteForByte();
    void htmlPagesForEscapedTextsAndEachSource();
    void htmlFormatsNumbersAsPrintfDoes_data();
    void htmlFormatsNumbersAsPrintfDoes();
    void htmlWritesAndReplacesTheAssetsFolder();
    void failedWritesLeaveNothing();
    void pdfDocumentsReadBack();
    void pdfTextsAndPlacement();
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

void ReportsTest::htmlPagesForEscapedTextsAndEachSource()
{
    QTemporaryDir dir;
    // Every inserted text is escaped, the ampersand first so that "&lt;" reaches the browser as itself.
    ComparisonResult escaped = ReportTestData::result(
        {ReportTestData::issue(IssueSeverity::medium, IssueCategory::text, QStringLiteral("文本 \"确定\" > '取消'"),
                               QStringLiteral("实际为 &lt; 而非 <"))});
    escaped.status = QStringLiteral("<i>存在差异</i>");
    ImportedDesign design = ReportTestData::figmaDesign();
    design.source = QStringLiteral("/tmp/a&b/\"设计\".png");
    QString transcript = pageBody(exportPage(dir.filePath("e.html"), escaped, design, QStringLiteral("<b>Pixel</b> & 'Pro'")));

    // Reopened from the history (no design), without issues.
    ComparisonResult empty = ReportTestData::result({});
    transcript += pageBody(exportPage(dir.filePath("h.html"), empty, std::nullopt, QStringLiteral("导入截图")));

    // A local visual-only design; a picture without PNG data is left empty and gets no file.
    ImportedDesign visualOnly = ReportTestData::figmaDesign();
    visualOnly.kind = DesignSourceKind::local;
    visualOnly.source = QStringLiteral("/designs/home.png");
    visualOnly.isVisualOnly = true;
    empty.designImage = QImage();
    const QString path = dir.filePath("l.html");
    transcript += pageBody(exportPage(path, empty, visualOnly));
    QVERIFY(test::compareWithGolden(QStringLiteral("ui-report-html-pages.txt"), transcript));
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

void ReportsTest::failedWritesLeaveNothing()
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

    // A PDF that cannot be created fails with code 50 and creates no folder.
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
}

void ReportsTest::pdfDocumentsReadBack()
{
    QTemporaryDir dir;
    QList<ComparisonIssue> issues = ReportTestData::numberedIssues(10);
    issues[0] = ReportTestData::issue(IssueSeverity::high, IssueCategory::text,
                                      QStringLiteral("登录按钮的文字与设计稿不一致").repeated(8),
                                      QStringLiteral("说明").repeated(300) + QStringLiteral("结尾"));
    ComparisonSettings settings;
    settings.pixelThreshold = 24.6;
    settings.positionTolerance = 1.25;
    settings.sizeTolerance = 3;
    const QString path = exportPdf(dir, ReportTestData::result(issues), ReportTestData::figmaDesign(), settings);
    QString transcript = pdfTranscript(path);
    const QPair<int, int> orange = conclusionHues(pageImage(path, 1));
    QVERIFY2(orange.second > 20 && orange.first == 0, qPrintable(QStringLiteral("%1 %2").arg(orange.first).arg(orange.second)));

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

    // Exported again to the same place, reopened from the history without issues: replaced whole.
    ComparisonResult result = ReportTestData::result({});
    result.status = kStatusConsistent;
    exportPdf(dir, result, std::nullopt);
    transcript += pdfTranscript(path);
    QVERIFY(test::compareWithGolden(QStringLiteral("ui-report-pdf.txt"), transcript));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("r.pdf")});
    const QPair<int, int> green = conclusionHues(pageImage(path, 1));
    QVERIFY2(green.first > 20 && green.second == 0, qPrintable(QStringLiteral("%1 %2").arg(green.first).arg(green.second)));

    // Heat map panel area (451, 74, 343, 378): the 2 × 4 map fits as 189 × 378, centred at
    // (622.5, 263). Red-orange (255, 90, 30) at alpha 200 over white, not premultiplied twice.
    const QRgb centre = pageImage(path, 2).pixel(622, 595 - 263);
    QVERIFY2(std::abs(qRed(centre) - 255) <= 10 && std::abs(qGreen(centre) - 126) <= 10 && std::abs(qBlue(centre) - 79) <= 10,
             qPrintable(QColor(centre).name()));
}

void ReportsTest::pdfTextsAndPlacement()
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
    // Document information texts are UTF-16 with a byte order mark, in hex.
    QCOMPARE(PdfDocumentInfo::textString(QStringLiteral("Va界😀")), QByteArray("<FEFF00560061754CD83DDE00>"));
    // Bytes that do not end in a trailer naming an information dictionary are left alone.
    const QByteArray noInfo = "%PDF-1.4\ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
    QCOMPARE(PdfDocumentInfo::withAuthor(noInfo, QStringLiteral("x")), noInfo);
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
    QVERIFY2(run.errText().contains(QStringLiteral("报告已导出：") + html) &&
                 run.errText().contains(QStringLiteral("PDF 报告已导出：") + pdf), qPrintable(run.errText()));
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
