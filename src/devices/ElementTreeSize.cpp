#include "devices/ElementTreeSize.h"

namespace vantrel {

std::optional<SizeValue> ElementTreeSize::largest(const QList<DeviceElement> &elements)
{
    const DeviceElement *largest = nullptr;
    for (const DeviceElement &element : elements) {
        if (!largest || element.rect.width * element.rect.height > largest->rect.width * largest->rect.height)
            largest = &element;
    }
    if (!largest)
        return std::nullopt;
    return SizeValue{largest->rect.width, largest->rect.height};
}

} // namespace vantrel
