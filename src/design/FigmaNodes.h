#pragma once

#include "engine/DesignNode.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPointF>

#include <optional>

namespace vantrel {

// Reading Figma node objects: geometry, the flattened node list, the frame list and colours.
class FigmaNodes {
public:
    static const QString kUnnamedFrame; // "未命名画板"
    static const QString kUnnamedNode;  // "未命名"

    // "FRAME", "COMPONENT" or "SECTION".
    static bool isFrameType(const QString &type);

    // "absoluteBoundingBox" with numeric x, y, width and height, in absolute Figma units.
    static std::optional<RectValue> bounds(const QJsonObject &node);

    // Appends the node and its descendants (depth-first, parents first) that have an id and a
    // non-empty box, with positions relative to `rootOrigin`.
    static void flattenFigmaNode(const QJsonObject &node, QPointF rootOrigin, QList<DesignNode> &into);

    // Appends every frame (depth-first, parents first) that has an id and a box.
    static void collectFrames(const QJsonObject &node, QList<DesignFrameOption> &into);

    // "#RRGGBB" or "#RRGGBBAA" of the first visible SOLID paint of a paint list; none otherwise.
    static std::optional<QString> solidColor(const QJsonValue &paints);
};

} // namespace vantrel
