// Both reports (the HTML page against its fixture, the PDF read back with poppler's tools, the
// command line writing both) and the history store.
#include "engine/FileWriter.h"
#include "engine/ModelJson.h"
#include "reports/ComparisonHistoryStore.h"
#include "reports/PdfDocumentInfo.h"
#include "reports/PdfReportPainter.h"
#include "reports/ReportExporter.h"
#include "reports/ReportTexts.h"
#include "support/CliRunner.h"
#include "support/Golden.h"
#include "support/TestEnvironment.h"
#include "support/TestImages.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <limits>

using namespace vantrel;

namespace {

QImage solidImage(int width, int height, const QColor &color, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    image.fill(color);
    return image;
}

// Created at 2025-03-14 09:30:15 local time, with small images; the heat map is straight-alpha
// red-orange (255, 90, 30, 200), as the engine makes it.
ComparisonResult sampleResult(const QList<ComparisonIssue> &issues)
{
    return {.createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 30, 15), Qt::LocalTime), .score = 87.456,
            .changedPixelRatio = 0.01234, .meanColorDelta = 6.5, .status = kStatusDifferent, .issues = issues,
            .deviceImage = solidImage(4, 8, QColor(20, 40, 200)), .designImage = solidImage(4, 8, QColor(30, 160, 60)),
            .alignedDesignImage = solidImage(2, 4, QColor(30, 160, 60)),
            .heatmapImage = solidImage(2, 4, QColor(255, 90, 30, 200), QImage::Format_RGBA8888),
            .overlayImage = solidImage(2, 4, QColor(120, 120, 120, 128), QImage::Format_ARGB32_Premultiplied)};
}

ComparisonIssue makeIssue(IssueSeverity severity, IssueCategory category, const QString &title, const QString &detail)
{
    return {.category = category, .severity = severity, .title = title, .detail = detail,
            .deviceRect = RectValue{QUuid::createUuid(), 0.1, 0.2, 0.3, 0.05}, .designRect = std::nullopt};
}

// Titled "问题 1", "问题 2", …, severities cycling high, medium, low, info.
QList<ComparisonIssue> numberedIssues(int count)
{
    static const IssueSeverity severities[] = {IssueSeverity::high, IssueSeverity::medium, IssueSeverity::low,
                                               IssueSeverity::info};
    QList<ComparisonIssue> issues;
    for (int i = 0; i < count; ++i)
        issues.append(makeIssue(severities[i % 4], IssueCategory::visual, QStringLiteral("问题 %1").arg(i + 1),
                                QStringLiteral("说明 %1").arg(i + 1)));
    return issues;
}

ImportedDesign figmaDesign()
{
    return {.image = solidImage(4, 8, QColor(30, 160, 60)), .name = QStringLiteral("Home"),
            .source = QStringLiteral("https://www.figma.com/design/abc/Home?node-id=1-2&t=x"),
            .kind = DesignSourceKind::figma, .pixelSize = SizeValue{4, 8}, .canvasSize = SizeValue{4, 8}, .nodes = {},
            .availableFrames = {}, .selectedFrameID = std::nullopt, .isVisualOnly = false};
}

ComparisonSettings tolerances(double pixel, double position, double size)
{
    return {.pixelThreshold = pixel, .positionTolerance = position, .sizeTolerance = size, .ignoredRegions = {}};
}

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
    for (int y = 118; y < 148; ++y)
        for (int x = 52; x < 204; ++x) {
            const QRgb p = page.pixel(x, y);
            count.first += qGreen(p) > qRed(p) + 60 && qGreen(p) > qBlue(p) + 60;
            count.second += qRed(p) > 200 && qGreen(p) > 90 && qGreen(p) < 200 && qBlue(p) < 90;
        }
    return count;
}

// What the action throws ("domain code description", or a write error's message), or "none".
QString failure(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &e) {
        return QStringLiteral("%1 %2 %3").arg(e.domain).arg(e.code).arg(e.description);
    } catch (const FileWriteError &e) {
        return e.message;
    }
    return QStringLiteral("none");
}

} // namespace

class ReportsTest : public QObject {
    Q_OBJECT

private slots:
    void htmlPagesTextsSourcesAndNumbers()
    {
        QTemporaryDir dir;
        // Every inserted text is escaped, the ampersand first so that "&lt;" reaches the browser as itself.
        ComparisonResult escaped = sampleResult(
            {makeIssue(IssueSeverity::medium, IssueCategory::text, QStringLiteral("文本 \"确定\" > '取消'"),
                                   QStringLiteral("实际为 &lt; 而非 <"))});
        escaped.status = QStringLiteral("<i>存在差异</i>");
        ImportedDesign design = figmaDesign();
        design.source = QStringLiteral("/tmp/a&b/\"设计\".png");
        QString transcript = pageBody(exportPage(dir.filePath("e.html"), escaped, design, QStringLiteral("<b>Pixel</b> & 'Pro'")));

        // Reopened from the history (no design), without issues.
        ComparisonResult empty = sampleResult({});
        transcript += pageBody(exportPage(dir.filePath("h.html"), empty, std::nullopt, QStringLiteral("导入截图")));

        // A local visual-only design; a picture without PNG data is left empty and gets no file.
        ImportedDesign visualOnly = figmaDesign();
        visualOnly.kind = DesignSourceKind::local;
        visualOnly.source = QStringLiteral("/designs/home.png");
        visualOnly.isVisualOnly = true;
        empty.designImage = QImage();
        const QString path = dir.filePath("l.html");
        transcript += pageBody(exportPage(path, empty, visualOnly));
        QVERIFY(test::compareWithGolden(QStringLiteral("ui-report-html-pages.txt"), transcript));
        const QDir assets(ReportExporter::assetsDirectory(path));
        QVERIFY(!assets.exists(QStringLiteral("design.png")) && assets.exists(QStringLiteral("aligned-design.png")));

        // Score, ratio, threshold, position and size tolerance. The stored binary value is rounded, exact
        // ties to even, as printf does: 3.25, 24.5 and 0.125 are exact ties, 1.05 is stored just above itself.
        const QList<QList<double>> inputs{{87.456, 0.01234, 24.6, 2.0, 2.0}, {100, 0, 24, 0.04, 12.96},
                                          {0.004, 1, 0.4, 3.25, 1.05}, {0.125, 0.00125, 24.5, -0.04, 0.25}};
        static const QRegularExpression shown(QStringLiteral("(一致度|差异像素)<div class=\"value\">[^<]*|像素阈值：[^<]*"));
        transcript.clear();
        for (const QList<double> &in : inputs) {
            ComparisonResult result = sampleResult({});
            result.score = in[0];
            result.changedPixelRatio = in[1];
            const ComparisonSettings settings = tolerances(in[2], in[3], in[4]);
            const QString page = exportPage(dir.filePath("n.html"), result, figmaDesign(), "d", settings);
            for (const QRegularExpressionMatch &match : shown.globalMatch(page))
                transcript += match.captured(0) + u'\n';
        }
        QVERIFY(test::compareWithGolden(QStringLiteral("ui-report-html-numbers.txt"), transcript));
    }

    void htmlPageAndItsAssetsFolder()
    {
        QTemporaryDir dir;
        // Intermediate folders are created; the folder is named after the page without its extension.
        const QString path = dir.filePath(QStringLiteral("out/weekly/my.report.html"));
        QCOMPARE(ReportExporter::assetsDirectory(path), dir.filePath(QStringLiteral("out/weekly/my.report-assets")));
        const QDir assets(ReportExporter::assetsDirectory(path));
        const auto sameAssets = [&](const ComparisonResult &r) {
            const QList<QImage> images{r.deviceImage, r.designImage, r.alignedDesignImage, r.overlayImage, r.heatmapImage};
            for (int i = 0; i < images.size(); ++i)
                if (QImage(assets.filePath(kAssetNames[i])).convertToFormat(QImage::Format_RGBA8888) !=
                    images[i].convertToFormat(QImage::Format_RGBA8888))
                    return false;
            return assets.entryList(QDir::Files | QDir::Hidden).size() == kAssetNames.size(); // the five, nothing else
        };
        const ComparisonResult first = sampleResult(
            {makeIssue(IssueSeverity::high, IssueCategory::color, QStringLiteral("按钮颜色不一致"), QStringLiteral("设计 #FF3B30，实际 #FF453A")),
             makeIssue(IssueSeverity::low, IssueCategory::position, QStringLiteral("标题位置偏移"), QStringLiteral("偏移 3.0 pt"))});
        const ComparisonSettings settings = tolerances(24.6, 2, 1.5);
        const QByteArray page = exportPage(path, first, figmaDesign(), "Pixel 8", settings).toUtf8();
        QVERIFY(sameAssets(first));
        // The fixture holds the page with a marker where each picture's Base64 goes.
        QByteArray expected = readAll(test::dataPath(QStringLiteral("report-small.html")));
        for (const QString &name : kAssetNames)
            expected.replace("{{" + name.toUtf8() + "}}", readAll(assets.filePath(name)).toBase64());
        QCOMPARE(page, expected);

        // A second export to the same place replaces the page and every image, and leaves no
        // temporary files behind.
        ComparisonResult second = sampleResult({});
        for (QImage *image : {&second.deviceImage, &second.designImage, &second.alignedDesignImage, &second.overlayImage, &second.heatmapImage})
            image->invertPixels();
        QVERIFY(!exportPage(path, second, std::nullopt).contains(QStringLiteral("按钮颜色不一致")));
        QVERIFY(sameAssets(second));
        QCOMPARE(QDir(dir.filePath("out/weekly")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"my.report-assets", "my.report.html"}));
    }

    void failedWritesLeaveNothing()
    {
        QTemporaryDir dir;
        const ComparisonResult result = sampleResult({});
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
        QVERIFY_THROWS_EXCEPTION(FileWriteError, ReportExporter().exportHtml(result, figmaDesign(), "x",
                                                                            ComparisonSettings(), earlier));
        QCOMPARE(readAll(earlier), before);

        // A PDF that cannot be created fails with code 50 and creates no folder.
        for (const QString &path : {dir.filePath(QStringLiteral("missing/folder/r.pdf")), dir.path()})
            QCOMPARE(failure([&] { ReportExporter().exportPDF(result, std::nullopt, "d", ComparisonSettings(), path); }),
                     QStringLiteral("Vantrel 50 无法创建 PDF 文件"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
    }

    void pdfDocumentsReadBack()
    {
        QTemporaryDir dir;
        QList<ComparisonIssue> issues = numberedIssues(10);
        issues[0] = makeIssue(IssueSeverity::high, IssueCategory::text,
                                          QStringLiteral("登录按钮的文字与设计稿不一致").repeated(8),
                                          QStringLiteral("说明").repeated(300) + QStringLiteral("结尾"));
        const QString path = dir.filePath(QStringLiteral("r.pdf"));
        ReportExporter().exportPDF(sampleResult(issues), figmaDesign(), QStringLiteral("Pixel 8"), tolerances(24.6, 1.25, 3), path);
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
        ComparisonResult result = sampleResult({});
        result.status = kStatusConsistent;
        ReportExporter().exportPDF(result, std::nullopt, QStringLiteral("Pixel 8"), {}, path);
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

    void pdfTextsAndPlacement()
    {
        // Values no whole number can hold are printed, not trapped.
        QStringList truncated;
        for (const double value : {-24.6, 1e20, std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()})
            truncated << ReportTexts::truncatedText(value);
        QCOMPARE(truncated.join(u' '), QStringLiteral("-24 100000000000000000000 nan -inf"));
        // Small images are enlarged and centred; wide images fill the width.
        const QRectF area(48, 69, 343, 250);
        QCOMPARE(PdfReportPainter::aspectFit(QSizeF(10, 10), area), QRectF(48 + 46.5, 69, 250, 250));
        QCOMPARE(PdfReportPainter::aspectFit(QSizeF(686, 100), area), QRectF(48, 69 + 100, 343, 50));
        QCOMPARE(PdfReportPainter::aspectFit(QSizeF(50, 0), area), area);
        // Bytes that do not end in a trailer naming an information dictionary are left alone.
        const QByteArray noInfo = "%PDF-1.4\ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
        QCOMPARE(PdfDocumentInfo::withAuthor(noInfo, QStringLiteral("x")), noInfo);
    }

    void commandLineWritesBothReports()
    {
        QTemporaryDir dir;
        test::TemporaryHome home;
        const QString design = test::writeFile(dir.filePath(QStringLiteral("design.png")), test::pngBytes(90, 180, Qt::white));
        const QStringList compare{"compare", "--device", test::writeFile(dir.filePath(QStringLiteral("screen.png")), test::pngBytes(90, 180, Qt::gray)), "--design", design};
        const QString html = dir.filePath(QStringLiteral("out/report.html")), pdf = dir.filePath(QStringLiteral("report.pdf"));
        const test::CliRun run = test::runCli(compare + QStringList{"--html", html, "--pdf", pdf});
        QVERIFY2(run.exitCode == 1 && run.errText().contains(QStringLiteral("报告已导出：") + html) &&
                     run.errText().contains(QStringLiteral("PDF 报告已导出：") + pdf), qPrintable(run.errText()));
        QVERIFY(QString::fromUtf8(readAll(html)).contains(QStringLiteral(" · 导入截图 · 本地图片 · ") + design + "</div>"));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/report-assets/heatmap.png"))));
        QVERIFY(pageTexts(pdf)[0].contains(QRegularExpression(QStringLiteral("导入截图 +· +\\d{4}-\\d\\d-\\d\\d "))));
        // A PDF that cannot be created is a failure with the exporter's message.
        const test::CliRun failing = test::runCli(compare + QStringList{"--pdf", dir.filePath("missing/r.pdf")});
        QVERIFY(failing.exitCode == 2 && failing.errText().contains(QStringLiteral("PDF 导出失败：无法创建 PDF 文件")));
    }

    // The history store: entries saved, spoiled and refused in one root. The listing after each step
    // (newest first, "✗" where an entry does not load, then the folders) and each refusal join one transcript.
    void historyStore()
    {
        QTemporaryDir dir;
        const ComparisonHistoryStore store(dir.filePath(QStringLiteral("nested/History")));
        QString log;
        const auto listing = [&](const char *step) {
            log += QString::fromUtf8(step) + u':';
            for (const ComparisonHistoryEntry &e : store.entries())
                log += u' ' + e.designName + (store.load(e) ? QString() : QStringLiteral("✗"));
            log += QStringLiteral(" (%1 folders)\n").arg(QDir(store.rootPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
        };
        const auto saveAt = [&](const char *name, int minute, ComparisonResult r = sampleResult(numberedIssues(1))) {
            r.createdAt = r.createdAt.addSecs(60 * minute);
            return store.rootPath() + u'/' + store.save(r, QString::fromUtf8(name), QStringLiteral("p")).directoryName + u'/';
        };
        ComparisonResult result = sampleResult(numberedIssues(2));
        result.createdAt = result.createdAt.addMSecs(450);
        const ComparisonHistoryEntry entry = store.save(result, QStringLiteral("首页"), QStringLiteral("iPhone 15"));
        QVERIFY(QRegularExpression(QStringLiteral("^20250314-093015-[0-9A-F]{8}$")).match(entry.directoryName).hasMatch());
        QVERIFY(json::uuidString(entry.id).startsWith(entry.directoryName.right(8)));
        const QDir saved(store.rootPath() + u'/' + entry.directoryName);
        log += saved.entryList(QDir::Files, QDir::Name).join(u' ') + u'\n';
        QCOMPARE(store.entries().value(0).createdAt, result.createdAt.addMSecs(-450)); // whole seconds
        const std::optional<ComparisonResult> loaded = store.load(entry);
        QVERIFY(loaded && loaded->issues == result.issues && loaded->meanColorDelta == result.meanColorDelta);
        QCOMPARE(loaded->designImage.size(), result.designImage.size());
        // The straight-alpha heat map comes back neither wrapped nor brightened.
        QCOMPARE(loaded->heatmapImage.convertToFormat(QImage::Format_RGBA8888), result.heatmapImage);

        QVERIFY(QFile::remove(saveAt("no heat map", 3) + QStringLiteral("heatmap.png")));
        FileWriter::writeAtomically(saveAt("bad result", 2) + QStringLiteral("result.json"), "{\"score\": 1}");
        FileWriter::writeAtomically(saveAt("bad entry", 1) + QStringLiteral("entry.json"), "{ not json");
        QDir(store.rootPath()).mkdir(QStringLiteral("empty-folder"));
        FileWriter::writeAtomically(store.rootPath() + QStringLiteral("/stray.txt"), "x");
        // Folders a, b, c listed in that order: the two at the same second keep it.
        const QDateTime t(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC);
        for (const auto &[folder, when] : {std::pair{"a", t}, {"b", t.addSecs(60)}, {"c", t}}) {
            const ComparisonHistoryEntry e{QUuid::createUuid(), when, folder, {}, 0, kStatusConsistent, folder};
            test::writeFile(store.rootPath() + u'/' + folder + QStringLiteral("/entry.json"), json::prettyBytes(json::toJson(e)));
        }
        listing("spoiled");
        QVERIFY(ComparisonHistoryStore(dir.filePath(QStringLiteral("missing"))).entries().isEmpty());

        // Refused saves: numbers JSON cannot hold before anything is written, a picture that cannot be
        // encoded where the save stands.
        result.issues[0].deviceRect->x = std::numeric_limits<double>::infinity();
        log += failure([&] { saveAt("refused", 10, result); }) + u'\n';
        listing("refused infinity");
        result = sampleResult({});
        result.designImage = QImage();
        log += failure([&] { saveAt("refused", 10, result); }) + u'\n';
        listing("refused image");
        log += QDir(store.rootPath() + u'/' + store.entries()[0].directoryName).entryList(QDir::Files, QDir::Name).join(u' ') + u'\n';
        QVERIFY(test::compareWithGolden(QStringLiteral("ui-history.txt"), log));

        // Tampered folder names never leave the root, even to reach a complete entry (in its parent).
        ComparisonHistoryEntry tampered = entry;
        const QDir parent(dir.filePath(QStringLiteral("nested")));
        for (const QString &name : saved.entryList(QDir::Files))
            QVERIFY(QFile::rename(saved.filePath(name), parent.filePath(name)));
        for (const QString &name : {QStringLiteral(".."), parent.path(), QStringLiteral("../../nested"), QStringLiteral("."), QString()}) {
            tampered.directoryName = name;
            QVERIFY2(!store.load(tampered), qPrintable(name));
        }
        for (const QString &name : parent.entryList(QDir::Files))
            QVERIFY(QFile::rename(parent.filePath(name), saved.filePath(name)));
        QVERIFY(store.load(entry));
    }
};

QTEST_MAIN(ReportsTest)
#include "tst_reports.moc"
