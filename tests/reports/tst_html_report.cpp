#include "engine/FileWriter.h"
#include "reports/ReportExporter.h"
#include "support/ReportTestData.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel;
using vantrel::test::ReportTestData;

namespace {

const QStringList kAssetNames = {QStringLiteral("device.png"), QStringLiteral("design.png"),
                                 QStringLiteral("aligned-design.png"), QStringLiteral("overlay.png"),
                                 QStringLiteral("heatmap.png")};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString exportPage(const QString &path, const ComparisonResult &result, const std::optional<ImportedDesign> &design,
                   const QString &deviceName = QStringLiteral("Pixel 8"),
                   const ComparisonSettings &settings = ComparisonSettings())
{
    ReportExporter().exportHtml(result, design, deviceName, settings, path);
    return QString::fromUtf8(readAll(path));
}

// Two images are the same when every pixel has the same straight-alpha colour.
bool samePixels(const QImage &a, const QImage &b)
{
    return a.size() == b.size()
           && a.convertToFormat(QImage::Format_RGBA8888) == b.convertToFormat(QImage::Format_RGBA8888);
}

} // namespace

class HtmlReportTest : public QObject {
    Q_OBJECT

private slots:
    void pageMatchesTheTemplateByteForByte();
    void escapesEveryInsertedText();
    void resultWithoutIssuesShowsTheEmptyRow();
    void reopenedResultNamesTheHistoryAsSource();
    void formatsNumbersAsPrintfDoes();
    void writesAndReplacesTheAssetsFolder();
    void heatmapAssetKeepsItsStraightColours();
    void imageWithoutPngDataIsSkipped();
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
    settings.positionTolerance = 2.0;
    settings.sizeTolerance = 1.5;
    const QString path = dir.filePath(QStringLiteral("report.html"));
    const QByteArray page = exportPage(path, ReportTestData::result(issues), ReportTestData::figmaDesign(),
                                       QStringLiteral("Pixel 8"), settings)
                                .toUtf8();

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
    const QString page =
        exportPage(dir.filePath(QStringLiteral("r.html")), result, design, QStringLiteral("<b>Pixel</b> & 'Pro'"));

    QVERIFY(page.contains(QStringLiteral("2025-03-14 09:30:15 · &lt;b&gt;Pixel&lt;/b&gt; &amp; 'Pro' · Figma · "
                                         "/tmp/a&amp;b/&quot;设计&quot;.png</div>")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"value\">&lt;i&gt;存在差异&lt;/i&gt;</div>")));
    QVERIFY(page.contains(QStringLiteral("<td>文本 &quot;确定&quot; &gt; '取消'</td>")));
    // The ampersand goes first, so the text "&lt;" reaches the browser as itself.
    QVERIFY(page.contains(QStringLiteral("<td>实际为 &amp;lt; 而非 &lt;</td>")));
    // The severity label is also the pill's second class name.
    QVERIFY(page.contains(QStringLiteral("<td><span class=\"severity 中\">中</span></td>\n  <td>文本</td>")));
    QVERIFY(!page.contains(QStringLiteral("<b>")));
}

void HtmlReportTest::resultWithoutIssuesShowsTheEmptyRow()
{
    QTemporaryDir dir;
    const QString page = exportPage(dir.filePath(QStringLiteral("r.html")), ReportTestData::result({}),
                                    ReportTestData::figmaDesign());
    QVERIFY(page.contains(QStringLiteral(
        "<tbody><tr><td colspan=\"4\">未发现超过当前阈值的差异</td></tr></tbody></table>\n  </section>\n</main></body></html>")));
    QVERIFY(page.endsWith(QStringLiteral("</main></body></html>")));
    QVERIFY(page.contains(QStringLiteral("问题数<div class=\"value\">0</div>")));
    QVERIFY(!page.contains(QStringLiteral("<tr>\n")));
}

void HtmlReportTest::reopenedResultNamesTheHistoryAsSource()
{
    QTemporaryDir dir;
    const ComparisonResult result = ReportTestData::result({});
    const QString reopened = exportPage(dir.filePath(QStringLiteral("h.html")), result, std::nullopt,
                                        QStringLiteral("导入截图"));
    QVERIFY(reopened.contains(
        QStringLiteral("<div class=\"meta\">2025-03-14 09:30:15 · 导入截图 · 历史记录 · 历史记录</div>")));
    QVERIFY(reopened.contains(QStringLiteral("<p class=\"meta\">模式：视觉 + 元素参数；")));

    ImportedDesign visualOnly = ReportTestData::figmaDesign();
    visualOnly.kind = DesignSourceKind::local;
    visualOnly.source = QStringLiteral("/designs/home.png");
    visualOnly.isVisualOnly = true;
    const QString local = exportPage(dir.filePath(QStringLiteral("l.html")), result, visualOnly);
    QVERIFY(local.contains(QStringLiteral("· Pixel 8 · 本地图片 · /designs/home.png</div>")));
    QVERIFY(local.contains(QStringLiteral("<p class=\"meta\">模式：仅视觉对比；")));
}

void HtmlReportTest::formatsNumbersAsPrintfDoes()
{
    struct Case {
        double score, ratio, threshold, position, size;
        const char16_t *cards;
        const char16_t *parameters;
    };
    const Case cases[] = {
        {87.456, 0.01234, 24.6, 2.0, 2.0, u"87.46%|1.23%", u"像素阈值：25；位置/尺寸容差：2.0/2.0 pt"},
        {100, 0, 24, 0.04, 12.96, u"100.00%|0.00%", u"像素阈值：24；位置/尺寸容差：0.0/13.0 pt"},
        // The stored binary value is rounded, exact ties to even, as printf does: 3.25 and 24.5
        // are exact ties, 1.05 is stored just above itself.
        {0.004, 1, 0.4, 3.25, 1.05, u"0.00%|100.00%", u"像素阈值：0；位置/尺寸容差：3.2/1.1 pt"},
        {0.125, 0.00125, 24.5, -0.04, 0.25, u"0.12%|0.12%", u"像素阈值：24；位置/尺寸容差：-0.0/0.2 pt"},
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        ComparisonResult result = ReportTestData::result({});
        result.score = c.score;
        result.changedPixelRatio = c.ratio;
        ComparisonSettings settings;
        settings.pixelThreshold = c.threshold;
        settings.positionTolerance = c.position;
        settings.sizeTolerance = c.size;
        const QString page = exportPage(dir.filePath(QStringLiteral("n.html")), result, ReportTestData::figmaDesign(),
                                        QStringLiteral("d"), settings);
        const QStringList cards = QString::fromUtf16(c.cards).split(u'|');
        QVERIFY2(page.contains(QStringLiteral("一致度<div class=\"value\">") + cards[0] + QStringLiteral("</div>")),
                 qPrintable(cards[0]));
        QVERIFY2(page.contains(QStringLiteral("差异像素<div class=\"value\">") + cards[1] + QStringLiteral("</div>")),
                 qPrintable(cards[1]));
        QVERIFY2(page.contains(QString::fromUtf16(c.parameters)), qPrintable(QString::fromUtf16(c.parameters)));
    }
}

void HtmlReportTest::writesAndReplacesTheAssetsFolder()
{
    QTemporaryDir dir;
    // Intermediate folders are created; the folder is named after the page without its extension.
    const QString path = dir.filePath(QStringLiteral("out/weekly/my.report.html"));
    QCOMPARE(ReportExporter::assetsDirectory(path), dir.filePath(QStringLiteral("out/weekly/my.report-assets")));
    ComparisonResult first = ReportTestData::result(ReportTestData::numberedIssues(2));
    exportPage(path, first, ReportTestData::figmaDesign());

    const QDir assets(ReportExporter::assetsDirectory(path));
    QStringList expectedNames = kAssetNames;
    expectedNames.sort();
    QCOMPARE(assets.entryList(QDir::Files | QDir::Hidden, QDir::Name), expectedNames);
    const auto sameAssets = [&](const ComparisonResult &r) {
        const QList<QImage> images{r.deviceImage, r.designImage, r.alignedDesignImage, r.overlayImage, r.heatmapImage};
        for (int i = 0; i < images.size(); ++i)
            if (!samePixels(QImage(assets.filePath(kAssetNames[i])), images[i]))
                return false;
        return true;
    };
    QVERIFY(sameAssets(first));

    // A second export to the same place replaces the page and every image, and leaves no
    // temporary files behind.
    ComparisonResult second = ReportTestData::result({});
    second.deviceImage = ReportTestData::solidImage(3, 3, Qt::yellow);
    second.designImage = ReportTestData::solidImage(5, 2, Qt::cyan);
    second.alignedDesignImage = ReportTestData::solidImage(1, 1, Qt::magenta);
    second.overlayImage = ReportTestData::solidImage(2, 2, Qt::darkGreen);
    second.heatmapImage = ReportTestData::solidImage(2, 3, Qt::black, QImage::Format_RGBA8888);
    const QString page = exportPage(path, second, std::nullopt);
    QVERIFY(page.contains(QStringLiteral("未发现超过当前阈值的差异")));
    QVERIFY(!page.contains(QStringLiteral("问题 1")));
    QCOMPARE(assets.entryList(QDir::Files | QDir::Hidden, QDir::Name), expectedNames);
    QCOMPARE(QDir(dir.filePath(QStringLiteral("out/weekly"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("my.report-assets"), QStringLiteral("my.report.html")}));
    QVERIFY(sameAssets(second));
}

void HtmlReportTest::heatmapAssetKeepsItsStraightColours()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.html"));
    exportPage(path, ReportTestData::result({}), ReportTestData::figmaDesign());
    QImage heat(ReportExporter::assetsDirectory(path) + QStringLiteral("/heatmap.png"));
    QVERIFY(!heat.isNull());
    heat = heat.convertToFormat(QImage::Format_RGBA8888);
    const uchar *pixel = heat.constScanLine(1);
    // Red-orange at alpha 200, byte for byte as the engine made it.
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(pixel), 4), QByteArray("\xff\x5a\x1e\xc8", 4));
}

void HtmlReportTest::imageWithoutPngDataIsSkipped()
{
    QTemporaryDir dir;
    ComparisonResult result = ReportTestData::result({});
    result.designImage = QImage();
    const QString path = dir.filePath(QStringLiteral("r.html"));
    const QString page = exportPage(path, result, ReportTestData::figmaDesign());
    QVERIFY(page.contains(QStringLiteral("<h3>设计稿</h3><img src=\"data:image/png;base64,\"></div>")));
    QVERIFY(!QFile::exists(ReportExporter::assetsDirectory(path) + QStringLiteral("/design.png")));
    QVERIFY(QFile::exists(ReportExporter::assetsDirectory(path) + QStringLiteral("/aligned-design.png")));
}

void HtmlReportTest::failedWritesLeaveNoPage()
{
    QTemporaryDir dir;
    const ComparisonResult result = ReportTestData::result({});

    // The assets folder's place is taken by a file.
    const QString blocked = dir.filePath(QStringLiteral("blocked.html"));
    FileWriter::writeAtomically(ReportExporter::assetsDirectory(blocked), "not a folder");
    QVERIFY_THROWS_EXCEPTION(FileWriteError, ReportExporter().exportHtml(result, std::nullopt, QStringLiteral("d"),
                                                                        ComparisonSettings(), blocked));
    QVERIFY(!QFile::exists(blocked));

    // An asset cannot be written: the images before it stay, the page is not written.
    const QString partial = dir.filePath(QStringLiteral("partial.html"));
    QVERIFY(QDir().mkpath(ReportExporter::assetsDirectory(partial) + QStringLiteral("/overlay.png")));
    QVERIFY_THROWS_EXCEPTION(FileWriteError, ReportExporter().exportHtml(result, std::nullopt, QStringLiteral("d"),
                                                                        ComparisonSettings(), partial));
    QVERIFY(!QFile::exists(partial));
    QVERIFY(QFile::exists(ReportExporter::assetsDirectory(partial) + QStringLiteral("/aligned-design.png")));
    QVERIFY(!QFile::exists(ReportExporter::assetsDirectory(partial) + QStringLiteral("/heatmap.png")));

    // An earlier page survives a failed export to the same place.
    const QString earlier = dir.filePath(QStringLiteral("earlier.html"));
    exportPage(earlier, result, std::nullopt);
    const QByteArray before = readAll(earlier);
    QVERIFY(QFile::remove(ReportExporter::assetsDirectory(earlier) + QStringLiteral("/overlay.png")));
    QVERIFY(QDir().mkpath(ReportExporter::assetsDirectory(earlier) + QStringLiteral("/overlay.png")));
    QVERIFY_THROWS_EXCEPTION(FileWriteError, ReportExporter().exportHtml(result, ReportTestData::figmaDesign(),
                                                                        QStringLiteral("x"), ComparisonSettings(),
                                                                        earlier));
    QCOMPARE(readAll(earlier), before);
}

QTEST_MAIN(HtmlReportTest)
#include "tst_html_report.moc"
