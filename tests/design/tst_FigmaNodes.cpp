// Flattening Figma nodes, listing frames, reading boxes and solid colours.
#include "design/FigmaNodes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace vantrel;

namespace {

QJsonObject box(double x, double y, double w, double h)
{
    return QJsonObject{{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

QJsonObject node(const QString &id, const QString &type, const QJsonObject &bounds, const QJsonArray &children = {})
{
    QJsonObject object{{"id", id}, {"type", type}, {"name", id + QStringLiteral("-name")}};
    if (!bounds.isEmpty())
        object.insert("absoluteBoundingBox", bounds);
    if (!children.isEmpty())
        object.insert("children", children);
    return object;
}

QJsonObject solid(double r, double g, double b, std::optional<double> opacity = std::nullopt,
                  std::optional<bool> visible = std::nullopt)
{
    QJsonObject paint{{"type", "SOLID"}, {"color", QJsonObject{{"r", r}, {"g", g}, {"b", b}, {"a", 0.1}}}};
    if (opacity)
        paint.insert("opacity", *opacity);
    if (visible)
        paint.insert("visible", *visible);
    return paint;
}

QStringList ids(const QList<DesignNode> &nodes)
{
    QStringList list;
    for (const DesignNode &n : nodes)
        list << n.id;
    return list;
}

} // namespace

class FigmaNodesTest : public QObject {
    Q_OBJECT
private slots:
    void boundsNeedFourNumbers();
    void flattensRelativeToTheFrame();
    void skipsEmptyBoxesButVisitsChildren();
    void readsOptionalFields();
    void collectsFramesDepthFirst();
    void solidColours();
    void solidColourEdgeCases();
};

void FigmaNodesTest::boundsNeedFourNumbers()
{
    const auto rect = FigmaNodes::bounds(node("1", "FRAME", box(1.5, -2, 375, 812)));
    QVERIFY(rect);
    QCOMPARE(rect->x, 1.5);
    QCOMPARE(rect->y, -2.0);
    QCOMPARE(rect->width, 375.0);
    QCOMPARE(rect->height, 812.0);
    QVERIFY(!rect->id.isNull());
    QVERIFY(FigmaNodes::bounds(node("2", "FRAME", box(0, 0, 1, 1)))->id != rect->id);

    QJsonObject stringy = box(0, 0, 10, 10);
    stringy.insert("width", "10");
    QVERIFY(!FigmaNodes::bounds(node("1", "FRAME", stringy)));
    QJsonObject missing = box(0, 0, 10, 10);
    missing.remove("y");
    QVERIFY(!FigmaNodes::bounds(node("1", "FRAME", missing)));
    QVERIFY(!FigmaNodes::bounds(QJsonObject{{"absoluteBoundingBox", QJsonArray{1, 2, 3, 4}}}));
}

void FigmaNodesTest::flattensRelativeToTheFrame()
{
    QJsonObject text = node("3:1", "TEXT", box(120, 340, 50, 20));
    text.insert("characters", QStringLiteral("登录"));
    const QJsonObject frame = node("1:1", "FRAME", box(100, 300, 375, 812),
                                   {node("2:1", "GROUP", box(110, 310, 200, 100), {text}), node("2:2", "RECTANGLE", box(100, 1000, 10, 10))});
    QList<DesignNode> nodes;
    FigmaNodes::flattenFigmaNode(frame, QPointF(100, 300), nodes);
    QCOMPARE(ids(nodes), (QStringList{"1:1", "2:1", "3:1", "2:2"}));
    QCOMPARE(nodes[0].rect.x, 0.0);
    QCOMPARE(nodes[0].rect.y, 0.0);
    QCOMPARE(nodes[2].rect.x, 20.0);
    QCOMPARE(nodes[2].rect.y, 40.0);
    QCOMPARE(nodes[2].rect.width, 50.0);
    QCOMPARE(nodes[2].text, std::optional<QString>(QStringLiteral("登录")));
    QCOMPARE(nodes[3].rect.y, 700.0);

    // Appends to what is already there.
    FigmaNodes::flattenFigmaNode(text, QPointF(0, 0), nodes);
    QCOMPARE(nodes.size(), 5);
    QCOMPARE(nodes[4].rect.x, 120.0);
}

void FigmaNodesTest::skipsEmptyBoxesButVisitsChildren()
{
    QJsonObject noId = node("x", "FRAME", box(0, 0, 5, 5), {node("4", "TEXT", box(1, 1, 1, 1))});
    noId.remove("id");
    QJsonObject hidden = node("5", "VECTOR", box(0, 0, 3, 3));
    hidden.insert("visible", false);
    const QJsonObject root = node("1", "FRAME", box(0, 0, 100, 100),
                                  {node("2", "LINE", box(0, 50, 100, 0), {node("3", "TEXT", box(1, 2, 3, 4))}),
                                   noId, node("6", "GROUP", QJsonObject{}, {hidden}), node("7", "RECTANGLE", box(0, 0, -1, 5))});
    QList<DesignNode> nodes;
    FigmaNodes::flattenFigmaNode(root, QPointF(0, 0), nodes);
    QCOMPARE(ids(nodes), (QStringList{"1", "3", "4", "5"}));

    // A children member that is not an array of objects is not walked.
    QJsonObject mixed = node("1", "FRAME", box(0, 0, 10, 10));
    mixed.insert("children", QJsonArray{node("2", "TEXT", box(0, 0, 1, 1)), 7});
    nodes.clear();
    FigmaNodes::flattenFigmaNode(mixed, QPointF(0, 0), nodes);
    QCOMPARE(ids(nodes), QStringList{"1"});
}

void FigmaNodesTest::readsOptionalFields()
{
    QJsonObject full = node("9", "TEXT", box(0, 0, 10, 10));
    full.insert("fills", QJsonArray{solid(1, 0, 0)});
    full.insert("strokes", QJsonArray{solid(0, 0, 1, 0.5)});
    full.insert("cornerRadius", 8);
    full.insert("style", QJsonObject{{"fontSize", 17.5}});
    QList<DesignNode> nodes;
    FigmaNodes::flattenFigmaNode(full, QPointF(0, 0), nodes);
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(nodes[0].name, QStringLiteral("9-name"));
    QCOMPARE(nodes[0].type, QStringLiteral("TEXT"));
    QCOMPARE(nodes[0].fillHex, std::optional<QString>(QStringLiteral("#FF0000")));
    QCOMPARE(nodes[0].strokeHex, std::optional<QString>(QStringLiteral("#0000FF7F")));
    QCOMPARE(nodes[0].cornerRadius, std::optional<double>(8));
    QCOMPARE(nodes[0].fontSize, std::optional<double>(17.5));
    QCOMPARE(nodes[0].text, std::nullopt);

    const QJsonObject bare{{"id", "b"}, {"absoluteBoundingBox", box(0, 0, 1, 1)}, {"cornerRadius", "8"}, {"style", 3}};
    nodes.clear();
    FigmaNodes::flattenFigmaNode(bare, QPointF(0, 0), nodes);
    QCOMPARE(nodes[0].name, QStringLiteral("未命名"));
    QCOMPARE(nodes[0].type, QStringLiteral("UNKNOWN"));
    QCOMPARE(nodes[0].cornerRadius, std::nullopt);
    QCOMPARE(nodes[0].fontSize, std::nullopt);
    QCOMPARE(nodes[0].fillHex, std::nullopt);
}

void FigmaNodesTest::collectsFramesDepthFirst()
{
    QJsonObject unnamed = node("S", "SECTION", box(0, 0, 10, 20));
    unnamed.remove("name");
    const QJsonObject document = node("0:0", "DOCUMENT", QJsonObject{}, {
        node("0:1", "CANVAS", QJsonObject{}, {
            node("A", "FRAME", box(0, 0, 375, 812), {node("A1", "COMPONENT", box(0, 0, 100, 50)), node("T", "TEXT", box(0, 0, 5, 5))}),
            node("B", "FRAME", box(400, 0, 390, 844)),
            node("N", "FRAME", QJsonObject{}),
        }),
        node("0:2", "CANVAS", QJsonObject{}, {unnamed, node("I", "INSTANCE", box(0, 0, 1, 1))}),
    });
    QList<DesignFrameOption> frames;
    FigmaNodes::collectFrames(document, frames);
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames[0], (DesignFrameOption{"A", "A-name", SizeValue{375, 812}}));
    QCOMPARE(frames[1], (DesignFrameOption{"A1", "A1-name", SizeValue{100, 50}}));
    QCOMPARE(frames[2], (DesignFrameOption{"B", "B-name", SizeValue{390, 844}}));
    QCOMPARE(frames[3], (DesignFrameOption{"S", "未命名画板", SizeValue{10, 20}}));
}

void FigmaNodesTest::solidColours()
{
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(1, 0.5, 0, 0.5)}), std::optional<QString>("#FF7F007F"));
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(1, 0.5, 0, 0.9995)}), std::optional<QString>("#FF7F00"));
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(1, 0.5, 0)}), std::optional<QString>("#FF7F00"));
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(0.0392, 0.0392, 0.0392, 0.998)}), std::optional<QString>("#090909FE"));
    // Hidden red first, visible blue next: blue.
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(1, 0, 0, std::nullopt, false), solid(0, 0, 1, std::nullopt, true)}),
             std::optional<QString>("#0000FF"));
    // Gradients are passed over.
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{QJsonObject{{"type", "GRADIENT_LINEAR"}}, solid(0, 1, 0)}),
             std::optional<QString>("#00FF00"));
}

void FigmaNodesTest::solidColourEdgeCases()
{
    // The first visible SOLID paint without a colour ends the search.
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{QJsonObject{{"type", "SOLID"}}, solid(1, 1, 1)}), std::nullopt);
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{QJsonObject{{"type", "solid"}, {"color", QJsonObject{{"r", 1}}}}}), std::nullopt);
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{}), std::nullopt);
    QCOMPARE(FigmaNodes::solidColor(QJsonValue(QJsonObject{{"type", "SOLID"}})), std::nullopt);
    QCOMPARE(FigmaNodes::solidColor(QJsonValue()), std::nullopt);
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(1, 0, 0), "x"}), std::nullopt);
    // Missing channels count as 0; out-of-range channels stay within a byte.
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{QJsonObject{{"type", "SOLID"}, {"color", QJsonObject{{"g", 1}}}}}),
             std::optional<QString>("#00FF00"));
    QCOMPARE(FigmaNodes::solidColor(QJsonArray{solid(1.5, -0.2, 0.999, -1)}), std::optional<QString>("#FF00FE00"));
}

QTEST_GUILESS_MAIN(FigmaNodesTest)
#include "tst_FigmaNodes.moc"
