#pragma once

#include "engine/Geometry.h"

#include <QList>

namespace vantrel {

struct ComparisonSettings {
    double pixelThreshold = 24.0;
    int regionMinimumArea = 36;
    double positionTolerance = 2.0;
    double sizeTolerance = 2.0;
    double manualOffsetX = 0;
    double manualOffsetY = 0;
    double designCropTop = 0;
    double designCropRight = 0;
    double designCropBottom = 0;
    double designCropLeft = 0;
    QList<RectValue> ignoredRegions;
    bool ignoreStatusBar = false;

    bool operator==(const ComparisonSettings &) const = default;
};

} // namespace vantrel
