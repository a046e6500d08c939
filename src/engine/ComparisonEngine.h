#pragma once

#include "engine/CompareTimings.h"
#include "engine/Models.h"
#include "engine/PixelImage.h"
#include "engine/VisualOutput.h"

#include <QPointF>

#include <optional>

namespace vantrel {

struct RgbColor {
    double r = 0;
    double g = 0;
    double b = 0;
    bool operator==(const RgbColor &) const = default;
};

// Compares a device capture with an imported design. Holds no state; every helper is static.
class ComparisonEngine {
public:
    static constexpr int kMaxComparisonWidth = 720;
    static constexpr int kMaxVisualIssues = 24;
    static constexpr int kMaxElementIssues = 120;
    static constexpr int kTileSize = 12;

    // Throws AppError (domain "Vantrel", code 20) when an image's pixels cannot be read.
    ComparisonResult compare(const CapturedDeviceState &device, const ImportedDesign &design,
                             const ComparisonSettings &settings,
                             CompareTimings *timings = nullptr) const;
    // The same comparison for a caller that shows no image: the result has the figures, the
    // issues and the heat map, but neither the inputs nor an aligned design or overlay. The
    // full-size images are taken over and freed as soon as they are shrunk, so a comparison of
    // large screenshots needs about a third less memory at its peak.
    ComparisonResult compareFiguresOnly(CapturedDeviceState device, ImportedDesign design,
                                        const ComparisonSettings &settings,
                                        CompareTimings *timings = nullptr) const;

    static SizeValue comparisonSize(const SizeValue &devicePixelSize);

    // Images and alignment.
    static PixelImage pixels(const QImage &image, const SizeValue &size);
    static QImage image(const PixelImage &pixels);
    static QImage resize(const QImage &image, const SizeValue &size);
    static QImage crop(const QImage &design, const ComparisonSettings &settings);
    static QPointF estimateTranslation(const PixelImage &reference, const PixelImage &floating);
    static QPointF alignmentOffset(const QPointF &automatic, const SizeValue &comparison,
                                   const SizeValue &canvas, const ComparisonSettings &settings);
    static QImage shift(const QImage &image, const QPointF &offset, const SizeValue &size);
    static QList<RectValue> effectiveIgnoredRegions(const ComparisonSettings &settings);

    // Pixel difference.
    static VisualOutput visualDiff(const PixelImage &device, const PixelImage &design, double threshold,
                                   int minimumArea, const QList<RectValue> &ignoredRegions);
    static QList<RectValue> tileRegions(const QList<bool> &flags, int width, int height, int tileSize,
                                        int pixelWidth, int pixelHeight, int minimumArea);
    static QList<ComparisonIssue> visualIssues(const QList<RectValue> &regions);
    // The heat map as an image that shows its changed pixels red-orange.
    static QImage heatmapImage(PixelImage heatmap);

    // Element difference.
    static QList<ComparisonIssue> elementDiff(const QList<DeviceElement> &deviceElements,
                                              const QList<DesignNode> &designNodes,
                                              const SizeValue &deviceCanvas,
                                              const SizeValue &designCanvas,
                                              const PixelImage &screenshot,
                                              const ComparisonSettings &settings);
    static double stringSimilarity(const QString &a, const QString &b);
    static std::optional<RgbColor> rgb(const QString &hex);
    static RgbColor sampledColor(const PixelImage &image, const RectValue &normalizedRect);

    // Score 0-100 from the two pixel measures, and the status text for a score and its issues.
    static double score(double changedPixelRatio, double meanColorDelta);
    static QString status(double score, const QList<ComparisonIssue> &issues);

private:
    static ComparisonResult compareImages(const CapturedDeviceState &device, const ImportedDesign &design,
                                          QImage deviceImage, QImage designImage,
                                          const ComparisonSettings &settings, CompareTimings *timings,
                                          bool withImages);
};

} // namespace vantrel
