#pragma once

namespace vantrel {

// Milliseconds spent in each stage of one comparison; filled on request, for measurements.
struct CompareTimings {
    double resize = 0;
    double rasterise = 0;
    double alignment = 0;
    double visualDiff = 0;
    double elementDiff = 0;
    double images = 0; // heat map and overlay
};

} // namespace vantrel
