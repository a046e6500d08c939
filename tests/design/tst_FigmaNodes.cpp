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
    void skipsEmptyBoxesButVisitsChildren();
    void readsOptionalFields();
    void collectsFramesDepthFirst();
    void solidColours_data();
    void solidColours();
};

void FigmaNodesTest::boundsNeedFourNumbers()
{
    QJsonObject stringy = box(0, 0, 10, 10);
    stringy.insert("width", "10");
    QVERIFY(!FigmaNodes::bounds(node("1", "FRAME", stringy)));
    QJsonObject missing = box(0, 0, 10, 10);
    missing.remove("y");
    QVERIFY(!FigmaNodes::bounds(node("1", "FRAME", missing)));
    QVERIFY(!FigmaNodes::bounds(QJsonObject{{"absoluteBoundingBox", QJsonArray{1, 2, 3, 4}}}));
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
    QCOMPARE(nodes[0].fillHex, std::optional<QString>(QStringLiteral("#FF0000")));
    QCOMPARE(nodes[0].strokeHex, std::optional<QString>(QStringLiteral("#0000FF7F")));
    QCOMPARE(nodes[0].cornerRadius, std::optional<double>(8));

    const QJsonObject bare{{"id", "b"}, {"absoluteBoundingBox", box(0, 0, 1, 1)}, {"cornerRadius", "8"}, {"style", 3}};
    nodes.clear();
    FigmaNodes::flattenFigmaNode(bare, QPointF(0, 0), nodes);
    QCOMPARE(nodes[0].name, QStringLiteral("未命名"));
    QCOMPARE(nodes[0].type, QStringLiteral("UNKNOWN"));
    QCOMPARE(nodes[0].cornerRadius, std::nullopt);
    QCOMPARE(nodes[0].fontSize, std::nullopt);
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

void FigmaNodesTest::solidColours_data()
{
    QTest::addColumn<QJsonValue>("paints");
    QTest::addColumn<QString>("hex"); // empty: none
    QTest::newRow("half opaque") << QJsonValue(QJsonArray{solid(1, 0.5, 0, 0.5)}) << "#FF7F007F";
    QTest::newRow("rounds to opaque") << QJsonValue(QJsonArray{solid(1, 0.5, 0, 0.9995)}) << "#FF7F00";
    QTest::newRow("paint alpha ignored") << QJsonValue(QJsonArray{solid(1, 0.5, 0)}) << "#FF7F00";
    QTest::newRow("just below opaque") << QJsonValue(QJsonArray{solid(0.0392, 0.0392, 0.0392, 0.998)}) << "#090909FE";
    QTest::newRow("hidden first") << QJsonValue(QJsonArray{solid(1, 0, 0, std::nullopt, false), solid(0, 0, 1, std::nullopt, true)})
                                  << "#0000FF";
    QTest::newRow("gradient passed over") << QJsonValue(QJsonArray{QJsonObject{{"type", "GRADIENT_LINEAR"}}, solid(0, 1, 0)}) << "#00FF00";
    QTest::newRow("solid without colour ends") << QJsonValue(QJsonArray{QJsonObject{{"type", "SOLID"}}, solid(1, 1, 1)}) << "";
    QTest::newRow("type in lower case") << QJsonValue(QJsonArray{QJsonObject{{"type", "solid"}, {"color", QJsonObject{{"r", 1}}}}}) << "";
    QTest::newRow("not an array") << QJsonValue(QJsonObject{{"type", "SOLID"}}) << "";
    QTest::newRow("not an object") << QJsonValue(QJsonArray{solid(1, 0, 0), "x"}) << "";
    QTest::newRow("missing channels") << QJsonValue(QJsonArray{QJsonObject{{"type", "SOLID"}, {"color", QJsonObject{{"g", 1}}}}})
                                      << "#00FF00";
    QTest::newRow("out of range") << QJsonValue(QJsonArray{solid(1.5, -0.2, 0.999, -1)}) << "#FF00FE00";
}

void FigmaNodesTest::solidColours()
{
    QFETCH(QJsonValue, paints);
    QFETCH(QString, hex);
    QCOMPARE(FigmaNodes::solidColor(paints).value_or(QString()), hex);
}

QTEST_GUILESS_MAIN(FigmaNodesTest)
#include "tst_FigmaNodes.moc"
