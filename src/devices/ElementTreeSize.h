#pragma once

#include "engine/DeviceElement.h"

#include <QList>

#include <optional>

namespace vantrel {

// The screen size an element tree implies, for Android and iPhone trees alike.
class ElementTreeSize {
public:
    // The size of the element with the largest area (the earlier one on a tie); none when empty.
    static std::optional<SizeValue> largest(const QList<DeviceElement> &elements);

private:
    ElementTreeSize() = delete;
};

} // namespace vantrel
