#include "design/FigmaNodes.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace vantrel {

const QString FigmaNodes::kUnnamedFrame = QStringLiteral("未命名画板");
const QString FigmaNodes::kUnnamedNode = QStringLiteral("未命名");

namespace {

std::optional<QString> optionalString(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<double> optionalNumber(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    // A number no record can hold (1e999 reads as infinity) counts as absent.
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return std::nullopt;
    return value.toDouble();
}

// True when the value is an array whose elements are all objects.
bool isArrayOfObjects(const QJsonValue &value)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    return std::all_of(array.begin(), array.end(), [](const QJsonValue &element) { return element.isObject(); });
}

// Walks "children" when it is an array of objects, in array order.
template<typename Visit>
void forEachChild(const QJsonObject &node, Visit visit)
{
    const QJsonValue children = node.value(QStringLiteral("children"));
    if (!isArrayOfObjects(children))
        return;
    for (const QJsonValue &child : children.toArray())
        visit(child.toObject());
}

// A colour channel (0 to 1) as a byte, truncated toward zero and kept within 0...255.
int channelByte(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp(std::trunc(value * 255.0), 0.0, 255.0));
}

QString hexByte(int value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The four numbers of "absoluteBoundingBox" (QRectF keeps negative sizes as given).
std::optional<QRectF> boxOf(const QJsonObject &node)
{
    const QJsonValue box = node.value(QLatin1String("absoluteBoundingBox"));
    if (!box.isObject())
        return std::nullopt;
    const QJsonObject object = box.toObject();
    const std::optional<double> x = optionalNumber(object, QStringLiteral("x"));
    const std::optional<double> y = optionalNumber(object, QStringLiteral("y"));
    const std::optional<double> width = optionalNumber(object, QStringLiteral("width"));
    const std::optional<double> height = optionalNumber(object, QStringLiteral("height"));
    if (!x || !y || !width || !height)
        return std::nullopt;
    return QRectF(*x, *y, *width, *height);
}

} // namespace

bool FigmaNodes::isFrameType(const QString &type)
{
    return type == QLatin1String("FRAME") || type == QLatin1String("COMPONENT") || type == QLatin1String("SECTION");
}

std::optional<RectValue> FigmaNodes::bounds(const QJsonObject &node)
{
    const std::optional<QRectF> box = boxOf(node);
    if (!box)
        return std::nullopt;
    return RectValue(box->x(), box->y(), box->width(), box->height());
}

void FigmaNodes::flattenFigmaNode(const QJsonObject &node, QPointF rootOrigin, QList<DesignNode> &into)
{
    const std::optional<QString> id = optionalString(node, QStringLiteral("id"));
    const std::optional<QRectF> box = id ? boxOf(node) : std::nullopt;
    const bool finite = box && std::isfinite(box->x() - rootOrigin.x()) && std::isfinite(box->y() - rootOrigin.y()) &&
                        std::isfinite(box->width()) && std::isfinite(box->height());
    if (finite && box->width() > 0 && box->height() > 0) {
        // One fresh rectangle identity per node (identities come from the system's random source).
        DesignNode flat{
            .id = *id,
            .name = optionalString(node, QStringLiteral("name")).value_or(kUnnamedNode),
            .type = optionalString(node, QStringLiteral("type")).value_or(QStringLiteral("UNKNOWN")),
            .text = optionalString(node, QStringLiteral("characters")),
            .rect = RectValue(box->x() - rootOrigin.x(), box->y() - rootOrigin.y(), box->width(), box->height()),
            .fillHex = solidColor(node.value(QLatin1String("fills"))),
            .strokeHex = solidColor(node.value(QLatin1String("strokes"))),
            .cornerRadius = optionalNumber(node, QStringLiteral("cornerRadius")),
            .fontSize = std::nullopt,
        };
        const QJsonValue style = node.value(QLatin1String("style"));
        if (style.isObject())
            flat.fontSize = optionalNumber(style.toObject(), QStringLiteral("fontSize"));
        into.append(std::move(flat));
    }
    forEachChild(node, [&](const QJsonObject &child) { flattenFigmaNode(child, rootOrigin, into); });
}

void FigmaNodes::collectFrames(const QJsonObject &node, QList<DesignFrameOption> &into)
{
    const QString type = optionalString(node, QStringLiteral("type")).value_or(QString());
    if (isFrameType(type)) {
        const std::optional<QString> id = optionalString(node, QStringLiteral("id"));
        const std::optional<QRectF> box = boxOf(node);
        if (id && box) {
            into.append(DesignFrameOption{*id, optionalString(node, QStringLiteral("name")).value_or(kUnnamedFrame),
                                          SizeValue{box->width(), box->height()}});
        }
    }
    forEachChild(node, [&](const QJsonObject &child) { collectFrames(child, into); });
}

std::optional<QString> FigmaNodes::solidColor(const QJsonValue &paints)
{
    if (!isArrayOfObjects(paints))
        return std::nullopt;
    for (const QJsonValue &value : paints.toArray()) {
        const QJsonObject paint = value.toObject();
        if (paint.value(QStringLiteral("type")).toString() != QLatin1String("SOLID"))
            continue;
        const QJsonValue visible = paint.value(QStringLiteral("visible"));
        if (visible.isBool() && !visible.toBool())
            continue;
        const QJsonValue colorValue = paint.value(QStringLiteral("color"));
        if (!colorValue.isObject())
            return std::nullopt;
        const QJsonObject color = colorValue.toObject();
        const int r = channelByte(color.value(QStringLiteral("r")).toDouble(0));
        const int g = channelByte(color.value(QStringLiteral("g")).toDouble(0));
        const int b = channelByte(color.value(QStringLiteral("b")).toDouble(0));
        const std::optional<double> opacity = optionalNumber(paint, QStringLiteral("opacity"));
        QString hex = QLatin1Char('#') + hexByte(r) + hexByte(g) + hexByte(b);
        if (opacity && *opacity < 0.999)
            hex += hexByte(channelByte(*opacity));
        return hex;
    }
    return std::nullopt;
}

} // namespace vantrel
