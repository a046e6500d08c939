#include "EngineTestImages.h"

#include "engine/ComparisonEngine.h"
#include "support/Golden.h"

#include <QTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// Both spaces are 128 units square, so normalised coordinates are exact binary fractions.
const SizeValue kCanvas{128, 128};

DeviceElement element(const QString &label, RectValue rect, const QString &type = QStringLiteral("XCUIElementTypeStaticText"))
{
    DeviceElement e;
    e.id = label;
    e.type = type;
    if (!label.isNull())
        e.label = label;
    e.rect = rect;
    return e;
}

DesignNode node(const QString &name, std::optional<QString> text, RectValue rect, const QString &type = QStringLiteral("TEXT"))
{
    DesignNode n;
    n.id = name;
    n.name = name;
    n.type = type;
    n.text = text;
    n.rect = rect;
    return n;
}

DesignNode filled(const QString &name, RectValue rect, const QString &hex)
{
    DesignNode n = node(name, std::nullopt, rect, QStringLiteral("RECTANGLE"));
    n.fillHex = hex;
    return n;
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
                                                          QString(i.deviceRect ? "D" : ""),
                                                          QString(i.designRect ? "M" : ""));
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
    const DesignNode card = filled(QStringLiteral("卡片"), RectValue(0, 0, 64, 64), QStringLiteral("#FFFFFF"));
    const RectValue cardRect(0, 0, 64, 64);
    const auto at = [](double x) { return element(QStringLiteral("标题"), RectValue(x, 10, 20, 10)); };
    DeviceElement hidden = element(QStringLiteral("文字"), cardRect);
    hidden.visible = false;
    const DesignNode background = filled(QStringLiteral("背景"), RectValue(0, 0, 128, 128), QStringLiteral("#787878"));
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
        {"hidden element is not", {hidden}, {}},
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

class ElementDiffTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The issues of every case, one line each: "category severity title | detail | D M" (D and M:
    // which rectangles the issue has).
    void pairing()
    {
        QString transcript;
        for (const Case &c : cases())
            transcript += QStringLiteral("%1:\n%2").arg(QLatin1String(c.name), summaries(diff(c.elements, c.nodes, c.settings)));
        // The parts pairing is built from: text similarity and design colours.
        for (const auto &[a, b] : {std::pair{"Hello ", "hello"}, {"确定", "确定按钮"}, {"abc", "abd"}, {"  ", "abc"}, {"aab", "bcc"}}) {
            const QString similarity =
                QString::number(ComparisonEngine::stringSimilarity(a, b), 'g', QLocale::FloatingPointShortest);
            transcript += QStringLiteral("similarity \"%1\" \"%2\": %3\n").arg(a, b, similarity);
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
    }

    void sampledColourClampsItsWindow()
    {
        // Centre at (0, 0): the 5 x 5 window clamps to rows and columns 0..2, where (0, 0) counts 9 times.
        PixelImage image = solid(10, 10, 0);
        setPixel(image, 0, 0, 0xFA0000);
        const RgbColor c = ComparisonEngine::sampledColor(image, RectValue(0, 0, 0.02, 0.02));
        QCOMPARE(c.r, 250.0 * 9 / 25);
        QCOMPARE(c.g, 0.0);
    }
};

QTEST_GUILESS_MAIN(ElementDiffTest)
#include "tst_element_diff.moc"
