#pragma once

#include <QString>

#include <optional>

namespace vantrel {

// A file (and optionally one node) named by a Figma link.
struct FigmaReference {
    QString fileKey;               // as written in the link
    std::optional<QString> nodeID; // colon form, e.g. "12:34"

    bool operator==(const FigmaReference &) const = default;
};

} // namespace vantrel
