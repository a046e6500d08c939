#include "EngineTestImages.h"

#include "engine/ComparisonEngine.h"
#include "support/Golden.h"

#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::array<int, 4> heat(const VisualOutput &out, int x, int y)
{
    const std::uint8_t *p = out.heatmap.pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
}

CapturedDeviceState capture(const QImage &image) { return CapturedDeviceState{image, {}, pixelSizeValue(image)}; }

ImportedDesign visualDesign(const QImage &image)
{
    ImportedDesign d;
    d.image = image;
    d.pixelSize = pixelSizeValue(image);
    d.canvasSize = d.pixelSize;
    return d;
}

// Both spaces are 128 units square, so normalised coordinates are exact binary fractions.
const SizeValue kCanvas{128, 128};

DeviceElement element(const QString &label, RectValue rect, const QString &type = QStringLiteral("XCUIElementTypeStaticText"), bool visible = true)
{
    const std::optional<QString> text = label.isNull() ? std::nullopt : std::optional(label);
    return DeviceElement{.id = label, .type = type, .label = text, .value = {}, .rect = rect, .visible = visible};
}

DesignNode node(const QString &name, std::optional<QString> text, RectValue rect, const QString &type = QStringLiteral("TEXT"),
                std::optional<QString> fill = {})
{
    return DesignNode{.id = name, .name = name, .type = type, .text = text, .rect = rect,
                      .fillHex = fill, .strokeHex = {}, .cornerRadius = {}, .fontSize = {}};
}

QList<ComparisonIssue> diff(const QList<DeviceElement> &elements, const QList<DesignNode> &nodes,
                            const ComparisonSettings &settings = ComparisonSettings())
{
    // The screenshot is grey 100 everywhere.
    return ComparisonEngine::elementDiff(elements, nodes, kCanvas, kCanvas, solid(64, 64, 0x646464), settings);
}

QString summaries(const QList<ComparisonIssue> &issues)
{
    QString list;
    for (const ComparisonIssue &i : issues)
        list += QStringLiteral("  %1 %2 %3 | %4 | %5%6\n").arg(rawValue(i.category), rawValue(i.severity), i.title, i.detail,
                                                          QString(i.deviceRect ? "D" : ""), QString(i.designRect ? "M" : ""));
    return list;
}

ComparisonSettings settings(std::initializer_list<std::pair<double ComparisonSettings::*, double>> values)
{
    ComparisonSettings s;
    for (const auto &[field, value] : values)
        s.*field = value;
    return s;
}

struct Case {
    const char *name;
    QList<DeviceElement> elements;
    QList<DesignNode> nodes;
    ComparisonSettings settings = {};
};

QList<Case> cases()
{
    const DesignNode title = node(QStringLiteral("t"), QStringLiteral("标题"), RectValue(10, 10, 20, 10));
    const DesignNode block = node(QStringLiteral("标题"), QStringLiteral("甲"), RectValue(0, 0, 10, 10));
    const DesignNode card = node(QStringLiteral("卡片"), {}, RectValue(0, 0, 64, 64), QStringLiteral("RECTANGLE"), QStringLiteral("#FFFFFF"));
    const RectValue cardRect(0, 0, 64, 64);
    const auto at = [](double x) { return element(QStringLiteral("标题"), RectValue(x, 10, 20, 10)); };
    const DesignNode background = node(QStringLiteral("背景"), {}, RectValue(0, 0, 128, 128), QStringLiteral("RECTANGLE"), QStringLiteral("#787878"));
    const DeviceElement image = element(QStringLiteral("背景"), RectValue(0, 0, 128, 128), QStringLiteral("XCUIElementTypeImage"));
    return {
        // Equal texts far apart pair (score 0.42); the pair then differs in position.
        {"equal texts pair without overlap", {element(QStringLiteral("确定"), RectValue(64, 64, 20, 10))},
         {node(QStringLiteral("按钮"), QStringLiteral("确定"), RectValue(0, 0, 20, 10))}},
        // A contained text pairs too (0.3024), and the texts differ.
        {"contained text pairs", {element(QStringLiteral("确定按钮"), RectValue(64, 64, 20, 10))},
         {node(QStringLiteral("按钮"), QStringLiteral("  确定 "), RectValue(64, 64, 20, 10))}},
        // IoU 0.31 without text similarity scores 0.1798: no pair. IoU 0.32 alone (0.1856) pairs.
        {"overlap below the threshold", {element(QStringLiteral("乙"), RectValue(0, 0, 3.1, 10))}, {block}},
        {"overlap at the threshold", {element(QStringLiteral("乙"), RectValue(0, 0, 3.2, 10))}, {block}},
        {"offset at the tolerance", {at(12)}, {title}},
        {"offset past the tolerance", {at(12.5)}, {title}},
        {"offset of 8", {at(18)}, {title}},
        {"offset past 8", {at(18.05)}, {title}},
        // One decimal, rounded as printf rounds: 2.25 is a tie and goes to the even digit.
        {"tolerance printed as printf does", {at(12.5)}, {title}, settings({{&ComparisonSettings::positionTolerance, 2.25}})},
        // 120 against the grey 100: delta 20, within the pixel threshold 24, beyond 10.
        {"colour within the threshold", {image}, {background}},
        {"colour beyond the threshold", {image}, {background}, settings({{&ComparisonSettings::pixelThreshold, 10}})},
        {"unnamed iOS button is compared", {element(QString(), cardRect, QStringLiteral("XCUIElementTypeButton"))}, {card}},
        {"empty Android element is not", {element(QString(), cardRect, QStringLiteral("android.widget.FrameLayout"))}, {card}},
        {"iOS container is not", {element(QStringLiteral("文字"), cardRect, QStringLiteral("XCUIElementTypeOther"))}, {card}},
        {"hidden element is not", {element(QStringLiteral("文字"), cardRect, QStringLiteral("XCUIElementTypeStaticText"), false)}, {}},
        // Both nodes prefer the same element; the first claims it, the second is missing.
        {"an element pairs once", {element(QStringLiteral("登录"), RectValue(10, 10, 40, 10))},
         {node(QStringLiteral("a"), QStringLiteral("登录"), RectValue(10, 10, 40, 10)),
          node(QStringLiteral("b"), QStringLiteral("登录"), RectValue(10, 10, 40, 10))}},
        // Without elements only visible text nodes are missing, with their text as stored.
        {"no elements", {},
         {node(QStringLiteral("t"), QStringLiteral(" 标题 "), RectValue(0, 0, 20, 10)),
          node(QStringLiteral("r"), std::nullopt, RectValue(0, 20, 20, 10), QStringLiteral("RECTANGLE")),
          node(QStringLiteral("off"), QStringLiteral("屏外"), RectValue(200, 0, 20, 10))}},
        {"unusable crop compares no node", {at(0), element(QString(), RectValue(0, 20, 20, 10))}, {title},
         settings({{&ComparisonSettings::designCropTop, 0.5}, {&ComparisonSettings::designCropBottom, 0.45}})},
        // Crop 0.25 and offset 8 of the visible 96 units: node y 40 maps to
        // (40/128 - 0.25) / 0.75 + 8/96 = 1/6 of the screen, where the element sits.
        {"mapping follows crop and offset", {element(QStringLiteral("标题"), RectValue(10, 128.0 / 6, 20, 40.0 / 3))},
         {node(QStringLiteral("t"), QStringLiteral("标题"), RectValue(10, 40, 20, 10))},
         settings({{&ComparisonSettings::designCropTop, 0.25}, {&ComparisonSettings::manualOffsetY, 8}})},
    };
}

} // namespace

// A whole comparison, then its steps one by one: alignment, pixel difference, element pairing.
class ComparisonEngineTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Size, score and status, unreadable images, identical screens, and the order of the issues.
    void wholeComparisons()
    {
        QCOMPARE(ComparisonEngine::comparisonSize({700, 1500}), (SizeValue{700, 1500}));
        QCOMPARE(ComparisonEngine::comparisonSize({1440, 1}), (SizeValue{720, 1})); // never below one row
        QCOMPARE(ComparisonEngine::score(0.9, 0), 0.0);
        const auto issueOf = [](IssueSeverity severity) { ComparisonIssue i; i.severity = severity; return i; };
        const QList<ComparisonIssue> lowOnly{issueOf(IssueSeverity::low), issueOf(IssueSeverity::info)};
        QCOMPARE(ComparisonEngine::status(99.6, lowOnly), kStatusConsistent);
        QCOMPARE(ComparisonEngine::status(99.5, {}), kStatusConsistent);
        QCOMPARE(ComparisonEngine::status(99.6, {issueOf(IssueSeverity::medium)}), kStatusDifferent);
        QCOMPARE(ComparisonEngine::status(99.4, {}), kStatusDifferent);
        try {
            ComparisonEngine().compare(capture(QImage()), visualDesign(qimage(10, 10, texture)), ComparisonSettings());
            QFAIL("compare accepted an empty screenshot");
        } catch (const AppError &e) {
            QCOMPARE(QStringLiteral("%1 %2 %3").arg(e.domain).arg(e.code).arg(e.description), QStringLiteral("Vantrel 20 图像像素读取失败"));
        }
        const QImage screen = qimage(1179, 600, texture);
        const ComparisonResult result = ComparisonEngine().compare(capture(screen), visualDesign(screen), ComparisonSettings());
        QCOMPARE(result.heatmapImage.size(), QSize(720, 366));
        QCOMPARE(result.deviceImage.size(), QSize(1179, 600));
        // The overlay of two identical images is the resized device image.
        const QImage resized = ComparisonEngine::resize(screen, SizeValue{720, 366});
        QCOMPARE(result.overlayImage.convertToFormat(QImage::Format_RGB32), resized.convertToFormat(QImage::Format_RGB32));
        // A red block and a text node: the node is compared unless the design is visual only.
        const QImage device = qimage(360, 640, [](int x, int y) { return x > 100 && x < 200 && y > 300 && y < 400 ? 0xFF0000u : 0xFFFFFFu; });
        ImportedDesign design = visualDesign(qimage(360, 640, [](int, int) { return 0xFFFFFFu; }));
        design.nodes = {node(QStringLiteral("标题"), QStringLiteral("欢迎"), RectValue(10, 10, 100, 30))};
        design.isVisualOnly = true;
        const QList<ComparisonIssue> visualOnly = ComparisonEngine().compare(capture(device), design, ComparisonSettings()).issues;
        QVERIFY(visualOnly.size() == 1 && visualOnly[0].category == IssueCategory::visual);
        design.isVisualOnly = false;
        const QList<ComparisonIssue> full = ComparisonEngine().compare(capture(device), design, ComparisonSettings()).issues;
        QCOMPARE(full.size(), 2);
        QVERIFY(full[0].category == IssueCategory::visual && full[1].category == IssueCategory::missing); // visual issues first
    }
    // Pixels: sizes rounded, premultiplied; crops clamped and inside the image.
    void pixelsAndCrop()
    {
        const QImage red = qimage(3, 3, [](int, int) { return 0xFF0000u; });
        QCOMPARE(ComparisonEngine::pixels(red, SizeValue{0.4, 0.4}).bytes.size(), 4); // never below 1 × 1
        QCOMPARE(ComparisonEngine::pixels(red, SizeValue{2.5, 1.49}).width, 3); // half away from zero

        QImage half(1, 1, QImage::Format_ARGB32);
        half.setPixel(0, 0, qRgba(200, 100, 50, 128));
        const PixelImage p = ComparisonEngine::pixels(half, SizeValue{1, 1});
        QCOMPARE(int(p.data()[3]), 128);
        QVERIFY(std::abs(int(p.data()[0]) - 100) <= 1); // 200 * 128/255
        const QImage design = qimage(200, 100, [](int x, int) { return x < 100 ? 0x0000FFu : 0xFF0000u; });
        const auto cropped = [](double top, double left, double bottom, const QImage &image) {
            return ComparisonEngine::crop(image, settings({{&ComparisonSettings::designCropTop, top}, {&ComparisonSettings::designCropLeft, left},
                                                           {&ComparisonSettings::designCropBottom, bottom}}));
        };
        QCOMPARE(cropped(0, 0.6, 0, design).size(), QSize(110, 100)); // each side at most 0.45
        QCOMPARE(cropped(0.45, 0, 0.45, design).size(), QSize(200, 10));
        QCOMPARE(cropped(-0.2, 0, 0, design).size(), QSize(200, 100)); // negative counts as 0
        const QImage cut = cropped(0, 0.5, 0, design); // clamped: starts at x = 90 (blue), red from 100
        QCOMPARE(QColor(cut.pixel(0, 0)), QColor(Qt::blue));
        QCOMPARE(QColor(cut.pixel(10, 0)), QColor(Qt::red));
        // Edges rounded one by one: origin and size rounded apart would reach one column or row past
        // a 786 × 1704 design, read as black.
        const QImage white = qimage(786, 1704, [](int, int) { return 0xFFFFFFu; });
        for (const QImage &edge : {cropped(0, 0.25, 0, white), cropped(0.0625, 0, 0, white)})
            QCOMPARE(edge.pixel(edge.width() - 1, edge.height() - 1), qRgb(255, 255, 255));
    }

    void translation_data()
    {
        QTest::addColumn<int>("pair");
        QTest::addColumn<QPointF>("expected");
        QTest::newRow("identical") << 0 << QPointF(0, 0);
        QTest::newRow("design 3 lower: moves up") << 1 << QPointF(0, -3);
        QTest::newRow("design left and up") << 2 << QPointF(5, 7);
        QTest::newRow("12 away: stops at 8") << 3 << QPointF(-8, 0);
        QTest::newRow("flat: the shortest displacement wins") << 4 << QPointF(0, 0);
        QTest::newRow("stripes: zero length beats the equal -2 and +2") << 5 << QPointF(0, 0);
        QTest::newRow("equal lengths: the first met (-1) stays") << 6 << QPointF(1, 0);
        QTest::newRow("narrow images have no samples") << 7 << QPointF(0, 0);
    }

    void translation()
    {
        QFETCH(int, pair);
        QFETCH(QPointF, expected);
        const auto ramp = [](int x, int) { return 0x010101u * std::uint32_t(std::max(0, 2 * x)); };
        const auto stripes = [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; };
        const std::function<std::uint32_t(int, int)> floating[] = {
            texture, [](int x, int y) { return texture(x, y - 3); }, [](int x, int y) { return texture(x + 5, y + 7); },
            [&](int x, int y) { return ramp(x - 12, y); }, [](int, int) { return 0x808080u; }, stripes,
            [&](int x, int y) { return stripes(x + 1, y); }, [](int x, int y) { return texture(x, y + 4); }};
        const std::function<std::uint32_t(int, int)> reference[] = {texture, texture, texture, ramp, floating[4], stripes, stripes, texture};
        const int width = pair == 7 ? 16 : 120;
        QCOMPARE(ComparisonEngine::estimateTranslation(pixelImage(width, 100, reference[pair]), pixelImage(width, 100, floating[pair])), expected);
    }

    void shiftInterpolatesAndLeavesTransparentStrips_data()
    {
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<QPoint>("probe");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("alpha");
        // White from column 10 and row 10 on, black above and left of that.
        QTest::newRow("0.4 right") << QPointF(0.4, 0) << QPoint(10, 20) << 153 << 255; // 0.6 of the white column
        QTest::newRow("0.4 left") << QPointF(-0.4, 0) << QPoint(9, 20) << 102 << 255;  // 0.4 of it
        QTest::newRow("19.2 right") << QPointF(19.2, 0) << QPoint(29, 20) << 204 << 255; // 0.8 of it
        QTest::newRow("19.2 down") << QPointF(0, 19.2) << QPoint(20, 29) << 204 << 255;
        QTest::newRow("0.4 both") << QPointF(0.4, 0.4) << QPoint(10, 10) << 92 << 255; // 0.6 × 0.6
        QTest::newRow("3 right, 2 up: moved corner") << QPointF(3, -2) << QPoint(13, 8) << 255 << 255;
        QTest::newRow("3 right, 2 up: left strip") << QPointF(3, -2) << QPoint(2, 20) << 0 << 0;
        QTest::newRow("3 right, 2 up: bottom strip") << QPointF(3, -2) << QPoint(20, 38) << 0 << 0;
        QTest::newRow("0.5 right: edge column blended") << QPointF(0.5, 0) << QPoint(0, 20) << 0 << 128;
    }

    void shiftInterpolatesAndLeavesTransparentStrips()
    {
        QFETCH(QPointF, offset);
        QFETCH(QPoint, probe);
        QFETCH(int, red);
        QFETCH(int, alpha);
        const QImage corner = qimage(40, 40, [](int x, int y) { return x >= 10 && y >= 10 ? 0xFFFFFFu : 0u; });
        const PixelImage moved = ComparisonEngine::pixels(ComparisonEngine::shift(corner, offset, SizeValue{40, 40}), SizeValue{40, 40});
        const std::uint8_t *p = moved.pixel(probe.x(), probe.y());
        QVERIFY2(std::abs(p[0] - red) <= 2 && std::abs(p[3] - alpha) <= 2, qPrintable(QStringLiteral("%1 %2").arg(p[0]).arg(p[3])));
    }

    // Changed pixels counted and painted; ignored regions.
    void visualDifference()
    {
        PixelImage device = pixelImage(24, 24, texture);
        PixelImage design = device;
        for (int x = 1; x < 4; ++x)
            setPixel(design, x, 1, 0);
        setPixel(device, 1, 1, 0x181818); // d = 24 exactly: changed at threshold 24
        setPixel(device, 2, 1, 0x171717); // d = 23: unchanged
        setPixel(device, 3, 1, 0xFFFFFF); // d = 255
        const VisualOutput out = ComparisonEngine::visualDiff(device, design, 24, 36, {});
        // Unchanged pixels: the device's luminance, dimmed.
        const std::uint8_t *d = device.pixel(7, 5);
        const int g = int((0.299 * d[0] + 0.587 * d[1] + 0.114 * d[2]) * 0.22);
        QCOMPARE(heat(out, 7, 5), (std::array<int, 4>{g, g, g, 255}));
        QCOMPARE(out.changedPixelRatio, 2.0 / 576);
        QCOMPARE(out.meanColorDelta, (24.0 + 23 + 255) / 576);
        QCOMPARE(heat(out, 1, 1), (std::array<int, 4>{255, 156, 28, 104}));
        QCOMPARE(heat(out, 3, 1), (std::array<int, 4>{255, 0, 28, 230}));
        QCOMPARE(heat(out, 2, 1)[3], 255);
        // Saved as PNG, the heat map stays red-orange.
        const QImage png = QImage::fromData(pngBytes(ComparisonEngine::heatmapImage(out.heatmap)), "png");
        QCOMPARE(png.convertToFormat(QImage::Format_ARGB32).pixel(3, 1), qRgba(255, 0, 28, 230));
        // Ignored regions are half open and tested per pixel.
        const PixelImage white = solid(10, 10, 0xFFFFFF), black = solid(10, 10, 0x000000);
        const VisualOutput masked = ComparisonEngine::visualDiff(white, black, 24, 36, {RectValue(0.2, 0.2, 0.3, 0.3)});
        // Inside (2, 2) and (4, 4); x = 0.5 and y = 0.5 are the right and bottom edges: outside.
        for (const auto &[x, y, alpha] : {std::tuple{2, 2, 45}, {4, 4, 45}, {5, 4, 230}, {4, 5, 230}, {1, 3, 230}})
            QCOMPARE(heat(masked, x, y)[3], alpha);
        QCOMPARE(masked.changedPixelRatio, 1.0);
        // Everything ignored: nothing compared, no division by zero.
        const VisualOutput none = ComparisonEngine::visualDiff(white, black, 24, 36, {RectValue(0, 0, 1, 1)});
        QVERIFY(none.changedPixelRatio == 0 && none.meanColorDelta == 0 && none.regions.isEmpty());
    }

    // Tile regions cut at the edges and keep the minimum area; issues graded by area.
    void regionsAndGrades()
    {
        // 725 × 30 pixels: the last tile column is 5 pixels wide, the last tile row 6 high.
        QList<bool> flags(61 * 3, false);
        flags.last() = true;
        const QList<RectValue> edge = ComparisonEngine::tileRegions(flags, 61, 3, 12, 725, 30, 144);
        QCOMPARE(edge.size(), 1);
        QCOMPARE(edge[0].width, 5 / 725.0);
        QCOMPARE(edge[0].height, 6 / 30.0);
        // Kept when the uncut span (144) reaches the minimum area, not beyond it.
        QVERIFY(ComparisonEngine::tileRegions(flags, 61, 3, 12, 725, 30, 145).isEmpty());
        // Areas 0.04025 (high) and exactly 0.04 (medium).
        const QList<ComparisonIssue> issues = ComparisonEngine::visualIssues({RectValue(0, 0, 0.25, 0.161), RectValue(0, 0, 0.25, 0.16)});
        QVERIFY(issues[0].severity == IssueSeverity::high && issues[1].severity == IssueSeverity::medium);
    }

    // The issues of every case, one line each: "category severity title | detail | D M" (D and M:
    // which rectangles the issue has).
    void elementPairing()
    {
        QString transcript;
        for (const Case &c : cases())
            transcript += QStringLiteral("%1:\n%2").arg(QLatin1String(c.name), summaries(diff(c.elements, c.nodes, c.settings)));
        // The parts pairing is built from: text similarity and design colours.
        for (const auto &[a, b] : {std::pair{"Hello ", "hello"}, {"确定", "确定按钮"}, {"abc", "abd"}, {"  ", "abc"}, {"aab", "bcc"}}) {
            const double similarity = ComparisonEngine::stringSimilarity(a, b);
            transcript += QStringLiteral("similarity \"%1\" \"%2\": %3\n").arg(a, b, QString::number(similarity, 'g', QLocale::FloatingPointShortest));
        }
        for (const char *hex : {"#FFF", "##FF8800", "11223344", "#a0b0c0#", "#GG0000", "#-12345"}) {
            const std::optional<RgbColor> c = ComparisonEngine::rgb(QString::fromLatin1(hex));
            const QString rgb = c ? QStringLiteral("%1 %2 %3").arg(c->r).arg(c->g).arg(c->b) : QStringLiteral("none");
            transcript += QStringLiteral("colour %1: %2\n").arg(hex, rgb);
        }
        QVERIFY(compareWithGolden(QStringLiteral("engine-element-pairing.txt"), transcript));

        // At most 120 element issues, the first ones kept.
        QList<DesignNode> nodes;
        for (int i = 0; i < 130; ++i)
            nodes.append(node(QStringLiteral("n%1").arg(i), QStringLiteral("文本%1").arg(i), RectValue(0, 0, 10, 10)));
        const QList<ComparisonIssue> issues = diff({}, nodes);
        QCOMPARE(issues.size(), 120);
        QCOMPARE(issues.last().title, QStringLiteral("缺少设计元素：n119"));

        // Centre at (0, 0): the 5 x 5 window clamps to rows and columns 0..2, where (0, 0) counts 9 times.
        PixelImage image = solid(10, 10, 0);
        setPixel(image, 0, 0, 0xFA0000);
        const RgbColor c = ComparisonEngine::sampledColor(image, RectValue(0, 0, 0.02, 0.02));
        QCOMPARE(c.r, 250.0 * 9 / 25);
        QCOMPARE(c.g, 0.0);
    }
};

QTEST_GUILESS_MAIN(ComparisonEngineTest)
#include "tst_comparison_engine.moc"
