#pragma once

#include <QRectF>
#include <QUuid>

namespace vantrel {

// A rectangle with an identity. The unit is that of the space it lives in (device units, design
// units or fractions of the comparison image).
struct RectValue {
    QUuid id = QUuid::createUuid();
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    RectValue() = default;
    RectValue(double x, double y, double width, double height)
        : x(x), y(y), width(width), height(height) {}
    RectValue(QUuid id, double x, double y, double width, double height)
        : id(id), x(x), y(y), width(width), height(height) {}

    QRectF toRectF() const { return QRectF(x, y, width, height); }
    // Half-open containment: x <= px < x + width and y <= py < y + height.
    bool contains(double px, double py) const
    {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    bool operator==(const RectValue &) const = default;
};

struct SizeValue {
    double width = 0;
    double height = 0;
    bool operator==(const SizeValue &) const = default;
};

} // namespace vantrel
