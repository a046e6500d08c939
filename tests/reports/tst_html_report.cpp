#include "engine/FileWriter.h"
#include "reports/ReportExporter.h"
#include "support/ReportTestData.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

class HtmlReportTest : public QObject {
    Q_OBJECT

private slots:
    void pageMatchesTheTemplateByteForByte();
    void escapesEveryInsertedText();
    void sourcesAndEmptyResults();
    void formatsNumbersAsPrintfDoes_data();
    void formatsNumbersAsPrintfDoes();
    void writesAndReplacesTheAssetsFolder();
    void failedWritesLeaveNoPage();
};

void HtmlReportTest::pageMatchesTheTemplateByteForByte()
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

void HtmlReportTest::escapesEveryInsertedText()
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

void HtmlReportTest::sourcesAndEmptyResults()
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

void HtmlReportTest::formatsNumbersAsPrintfDoes_data()
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

void HtmlReportTest::formatsNumbersAsPrintfDoes()
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

void HtmlReportTest::writesAndReplacesTheAssetsFolder()
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

void HtmlReportTest::failedWritesLeaveNoPage()
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

QTEST_MAIN(HtmlReportTest)
#include "tst_html_report.moc"
