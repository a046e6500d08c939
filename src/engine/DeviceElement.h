#pragma once

#include "engine/Geometry.h"

#include <QString>

#include <optional>

namespace vantrel {

// One node of a device UI hierarchy.
struct DeviceElement {
    QString id;
    QString type;
    std::optional<QString> label;
    std::optional<QString> value;
    RectValue rect;
    bool visible = true;

    // The label without surrounding white space; when that is empty, the value exactly as stored.
    QString comparisonText() const;

    bool operator==(const DeviceElement &) const = default;
};

} // namespace vantrel
