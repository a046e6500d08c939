#pragma once

#include "engine/Geometry.h"
#include "engine/PixelImage.h"

#include <QList>

namespace vantrel {

// The pixel half of a comparison.
struct VisualOutput {
    double changedPixelRatio = 0;
    double meanColorDelta = 0;
    QList<RectValue> regions; // normalised, largest area first
    PixelImage heatmap;
};

} // namespace vantrel
