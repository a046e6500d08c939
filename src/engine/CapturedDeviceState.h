#pragma once

#include "engine/DeviceElement.h"

#include <QImage>
#include <QList>

namespace vantrel {

// What a device (or an imported screenshot) hands to the comparison.
struct CapturedDeviceState {
    QImage image;
    QList<DeviceElement> elements;
    SizeValue screenSize;
};

} // namespace vantrel
