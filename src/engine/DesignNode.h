#pragma once

#include "engine/Geometry.h"

#include <QString>

#include <optional>

namespace vantrel {

// One node of an imported design, flattened out of its tree.
struct DesignNode {
    QString id;
    QString name;
    QString type;
    std::optional<QString> text;
    RectValue rect;
    std::optional<QString> fillHex;
    std::optional<QString> strokeHex;
    std::optional<double> cornerRadius;
    std::optional<double> fontSize;

    bool operator==(const DesignNode &) const = default;
};

// A selectable frame of a multi-frame design.
struct DesignFrameOption {
    QString id;
    QString name;
    SizeValue size;

    bool operator==(const DesignFrameOption &) const = default;
};

} // namespace vantrel
