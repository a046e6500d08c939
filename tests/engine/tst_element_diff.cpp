#include "EngineTestImages.h"

#include "engine/ComparisonEngine.h"

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

DesignNode node(const QString &name, std::optional<QString> text, RectValue rect,
                const QString &type = QStringLiteral("TEXT"))
{
    DesignNode n;
    n.id = name;
    n.name = name;
    n.type = type;
    n.text = text;
    n.rect = rect;
    return n;
}

QList<ComparisonIssue> diff(const QList<DeviceElement> &elements, const QList<DesignNode> &nodes,
                            const ComparisonSettings &settings = ComparisonSettings(),
                            const PixelImage &screenshot = solid(64, 64, 0x646464))
{
    return ComparisonEngine::elementDiff(elements, nodes, kCanvas, kCanvas, screenshot, settings);
}

QList<IssueCategory> categories(const QList<ComparisonIssue> &issues)
{
    QList<IssueCategory> list;
    for (const ComparisonIssue &issue : issues)
        list.append(issue.category);
    return list;
}

} // namespace

class ElementDiffTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stringSimilarity()
    {
        QCOMPARE(ComparisonEngine::stringSimilarity(QStringLiteral("Hello "), QStringLiteral("hello")), 1.0);
        QCOMPARE(ComparisonEngine::stringSimilarity(QStringLiteral("确定"), QStringLiteral("确定按钮")), 0.72);
        QCOMPARE(ComparisonEngine::stringSimilarity(QStringLiteral("abc"), QStringLiteral("abd")), 0.55 * 2 / 4);
        QCOMPARE(ComparisonEngine::stringSimilarity(QStringLiteral("  "), QStringLiteral("abc")), 0.0);
        QCOMPARE(ComparisonEngine::stringSimilarity(QStringLiteral("aab"), QStringLiteral("bcc")), 0.55 * 1 / 3);
    }

    void rgbParsing()
    {
        QVERIFY(!ComparisonEngine::rgb(QStringLiteral("#FFF")));
        QCOMPARE(ComparisonEngine::rgb(QStringLiteral("##FF8800")), (RgbColor{255, 136, 0}));
        QCOMPARE(ComparisonEngine::rgb(QStringLiteral("11223344")), (RgbColor{17, 34, 51}));
        QCOMPARE(ComparisonEngine::rgb(QStringLiteral("#a0b0c0#")), (RgbColor{160, 176, 192}));
        QVERIFY(!ComparisonEngine::rgb(QStringLiteral("#GG0000")));
        QVERIFY(!ComparisonEngine::rgb(QStringLiteral("#-12345")));
    }

    void sampledColourAveragesAClampedWindow()
    {
        PixelImage image = solid(10, 10, 0);
        setPixel(image, 0, 0, 0xFA0000); // only the corner pixel is red
        // Centre at (0, 0): the 5 x 5 window clamps to rows and columns 0..2, where (0, 0) counts 9 times.
        const RgbColor c = ComparisonEngine::sampledColor(image, RectValue(0, 0, 0.02, 0.02));
        QCOMPARE(c.r, 250.0 * 9 / 25);
        QCOMPARE(c.g, 0.0);
    }

    void textsPairWithoutOverlap()
    {
        // Equal texts far apart pair (score 0.42); the pair then differs in position.
        QList<ComparisonIssue> issues =
            diff({element(QStringLiteral("确定"), RectValue(64, 64, 20, 10))},
                 {node(QStringLiteral("按钮"), QStringLiteral("确定"), RectValue(0, 0, 20, 10))});
        QCOMPARE(categories(issues), QList<IssueCategory>{IssueCategory::position});
        QCOMPARE(issues[0].severity, IssueSeverity::high);
        QCOMPARE(issues[0].title, QStringLiteral("位置偏差：按钮"));
        QCOMPARE(issues[0].detail, QStringLiteral("偏移约 90.5 pt，容差 2.0 pt"));

        // A contained text pairs too (0.3024), and the texts differ.
        issues = diff({element(QStringLiteral("确定按钮"), RectValue(64, 64, 20, 10))},
                      {node(QStringLiteral("按钮"), QStringLiteral("  确定 "), RectValue(64, 64, 20, 10))});
        QCOMPARE(categories(issues), QList<IssueCategory>{IssueCategory::text});
        QCOMPARE(issues[0].detail, QStringLiteral("设计稿“确定”，真机“确定按钮”"));
        QCOMPARE(issues[0].title, QStringLiteral("文本不一致：按钮"));
    }

    void overlapAloneMustReachTheThreshold()
    {
        // IoU 0.31 without text similarity scores 0.1798: no pair, so a missing and an extra issue.
        const DesignNode n = node(QStringLiteral("标题"), QStringLiteral("甲"), RectValue(0, 0, 10, 10));
        QList<ComparisonIssue> issues = diff({element(QStringLiteral("乙"), RectValue(0, 0, 3.1, 10))}, {n});
        QCOMPARE(categories(issues), (QList<IssueCategory>{IssueCategory::missing, IssueCategory::extra}));
        QCOMPARE(issues[0].title, QStringLiteral("缺少设计元素：标题"));
        QCOMPARE(issues[0].detail, QStringLiteral("设计文本“甲”未在真机元素树中匹配到"));
        QVERIFY(!issues[0].deviceRect && issues[0].designRect);
        QCOMPARE(issues[1].title, QStringLiteral("真机存在额外元素"));
        QCOMPARE(issues[1].detail, QStringLiteral("“乙”未在设计稿结构中匹配到"));
        QCOMPARE(issues[1].severity, IssueSeverity::low);
        QVERIFY(issues[1].deviceRect && !issues[1].designRect);

        // IoU 0.32 alone (0.1856) pairs: the texts and widths then differ.
        issues = diff({element(QStringLiteral("乙"), RectValue(0, 0, 3.2, 10))}, {n});
        QCOMPARE(categories(issues), (QList<IssueCategory>{IssueCategory::text, IssueCategory::size}));
        QCOMPARE(issues[1].severity, IssueSeverity::medium);
        QCOMPARE(issues[1].detail, QStringLiteral("宽度差 6.8 pt，高度差 0.0 pt，容差 2.0 pt"));
    }

    void positionToleranceBoundaries()
    {
        const auto offsetIssues = [](double dx) {
            return diff({element(QStringLiteral("标题"), RectValue(10 + dx, 10, 20, 10))},
                        {node(QStringLiteral("t"), QStringLiteral("标题"), RectValue(10, 10, 20, 10))});
        };
        QVERIFY(offsetIssues(2).isEmpty()); // exactly the tolerance
        QCOMPARE(offsetIssues(8).first().severity, IssueSeverity::medium);
        QCOMPARE(offsetIssues(8.05).first().severity, IssueSeverity::high);
        QCOMPARE(offsetIssues(2.5).first().category, IssueCategory::position);

        // One decimal, rounded as printf rounds: 2.25 is a tie and goes to the even digit.
        ComparisonSettings s;
        s.positionTolerance = 2.25;
        const QList<ComparisonIssue> issues =
            diff({element(QStringLiteral("标题"), RectValue(12.5, 10, 20, 10))},
                 {node(QStringLiteral("t"), QStringLiteral("标题"), RectValue(10, 10, 20, 10))}, s);
        QCOMPARE(issues.first().detail, QStringLiteral("偏移约 2.5 pt，容差 2.2 pt"));
    }

    void colourThresholdFollowsThePixelThreshold()
    {
        DesignNode n = node(QStringLiteral("背景"), std::nullopt, RectValue(0, 0, 128, 128), QStringLiteral("RECTANGLE"));
        n.fillHex = QStringLiteral("#787878"); // 120 against a 100 grey screenshot: delta 20
        const DeviceElement e = element(QStringLiteral("背景"), RectValue(0, 0, 128, 128), QStringLiteral("XCUIElementTypeImage"));
        ComparisonSettings s;
        QVERIFY(diff({e}, {n}, s).isEmpty());
        s.pixelThreshold = 10;
        const QList<ComparisonIssue> issues = diff({e}, {n}, s);
        QCOMPARE(categories(issues), QList<IssueCategory>{IssueCategory::color});
        QCOMPARE(issues[0].severity, IssueSeverity::medium);
        QCOMPARE(issues[0].title, QStringLiteral("颜色可能不一致：背景"));
        QCOMPARE(issues[0].detail, QStringLiteral("设计色 #787878，截图区域采样差值 20"));
    }

    void containersAndEmptyAndroidElementsAreNeverCompared()
    {
        DesignNode n = node(QStringLiteral("卡片"), std::nullopt, RectValue(0, 0, 64, 64), QStringLiteral("RECTANGLE"));
        n.fillHex = QStringLiteral("#FFFFFF"); // a pair would report the colour
        const RectValue same(0, 0, 64, 64);
        QCOMPARE(categories(diff({element(QString(), same, QStringLiteral("XCUIElementTypeButton"))}, {n})),
                 QList<IssueCategory>{IssueCategory::color});
        QVERIFY(diff({element(QString(), same, QStringLiteral("android.widget.FrameLayout"))}, {n}).isEmpty());
        QVERIFY(diff({element(QStringLiteral("文字"), same, QStringLiteral("XCUIElementTypeOther"))}, {n}).isEmpty());
        DeviceElement hidden = element(QStringLiteral("文字"), same);
        hidden.visible = false;
        QVERIFY(diff({hidden}, {}).isEmpty());
    }

    void greedyPairingClaimsElementsOnce()
    {
        // Both nodes prefer the same element; the first claims it, the second is missing.
        const DeviceElement e = element(QStringLiteral("登录"), RectValue(10, 10, 40, 10));
        const QList<ComparisonIssue> issues =
            diff({e}, {node(QStringLiteral("a"), QStringLiteral("登录"), RectValue(10, 10, 40, 10)),
                       node(QStringLiteral("b"), QStringLiteral("登录"), RectValue(10, 10, 40, 10))});
        QCOMPARE(categories(issues), QList<IssueCategory>{IssueCategory::missing});
        QCOMPARE(issues[0].title, QStringLiteral("缺少设计元素：b"));
    }

    void screenshotWithoutElements()
    {
        const QList<ComparisonIssue> issues =
            diff({}, {node(QStringLiteral("t"), QStringLiteral(" 标题 "), RectValue(0, 0, 20, 10)),
                      node(QStringLiteral("r"), std::nullopt, RectValue(0, 20, 20, 10), QStringLiteral("RECTANGLE")),
                      node(QStringLiteral("off"), QStringLiteral("屏外"), RectValue(200, 0, 20, 10))});
        QCOMPARE(categories(issues), QList<IssueCategory>{IssueCategory::missing});
        QCOMPARE(issues[0].detail, QStringLiteral("设计文本“ 标题 ”未在真机元素树中匹配到"));
    }

    void unusableCropComparesNoNode()
    {
        ComparisonSettings s;
        s.designCropTop = 0.5;
        s.designCropBottom = 0.45;
        const QList<ComparisonIssue> issues =
            diff({element(QStringLiteral("标题"), RectValue(0, 0, 20, 10)), element(QString(), RectValue(0, 20, 20, 10))},
                 {node(QStringLiteral("t"), QStringLiteral("标题"), RectValue(0, 0, 20, 10))}, s);
        QCOMPARE(categories(issues), QList<IssueCategory>{IssueCategory::extra});
    }

    void mappingFollowsCropAndManualOffset()
    {
        ComparisonSettings s;
        s.designCropTop = 0.25; // design y 32 of 128 becomes the top
        s.manualOffsetY = 8;    // in design units of the visible 96-unit height
        // Node at y = 40 maps to ((40/128 - 0.25) / 0.75 + 8/96) = 1/6 of the screen; the
        // element at 128/6 units sits exactly there.
        const QList<ComparisonIssue> issues =
            diff({element(QStringLiteral("标题"), RectValue(0, 128.0 / 6, 20, 40.0 / 3))},
                 {node(QStringLiteral("t"), QStringLiteral("标题"), RectValue(0, 40, 20, 10))}, s);
        QVERIFY2(issues.isEmpty(), issues.isEmpty() ? "" : qPrintable(issues.first().detail));
    }

    void elementIssuesAreCappedAt120()
    {
        QList<DesignNode> nodes;
        for (int i = 0; i < 130; ++i)
            nodes.append(node(QStringLiteral("n%1").arg(i), QStringLiteral("文本%1").arg(i), RectValue(0, 0, 10, 10)));
        const QList<ComparisonIssue> issues = diff({}, nodes);
        QCOMPARE(issues.size(), 120);
        QCOMPARE(issues.last().title, QStringLiteral("缺少设计元素：n119"));
    }
};

QTEST_GUILESS_MAIN(ElementDiffTest)
#include "tst_element_diff.moc"
