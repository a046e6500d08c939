#include "engine/ComparisonEngine.h"

#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

// Adds the milliseconds since the last lap to one stage of the timings, when they are wanted.
class StageClock {
public:
    explicit StageClock(CompareTimings *timings) : m_timings(timings) { m_timer.start(); }
    void lap(double CompareTimings::*stage)
    {
        if (m_timings)
            m_timings->*stage += double(m_timer.nsecsElapsed()) / 1e6;
        m_timer.restart();
    }

private:
    CompareTimings *m_timings;
    QElapsedTimer m_timer;
};

} // namespace

SizeValue ComparisonEngine::comparisonSize(const SizeValue &device)
{
    if (device.width > kMaxComparisonWidth) {
        const double h = std::max(1.0, std::round(device.height * (double(kMaxComparisonWidth) / device.width)));
        return SizeValue{double(kMaxComparisonWidth), h};
    }
    return device;
}

double ComparisonEngine::score(double changedPixelRatio, double meanColorDelta)
{
    const double raw = 100 - (changedPixelRatio * 115 + meanColorDelta / 255 * 18);
    return std::clamp(raw, 0.0, 100.0);
}

QString ComparisonEngine::status(double score, const QList<ComparisonIssue> &issues)
{
    const bool blocking = std::any_of(issues.begin(), issues.end(), [](const ComparisonIssue &issue) {
        return issue.severity == IssueSeverity::high || issue.severity == IssueSeverity::medium;
    });
    if (blocking)
        return kStatusDifferent;
    return score >= 99.5 ? kStatusConsistent : kStatusDifferent;
}

ComparisonResult ComparisonEngine::compare(const CapturedDeviceState &device, const ImportedDesign &design,
                                           const ComparisonSettings &settings, CompareTimings *timings) const
{
    StageClock clock(timings);
    const SizeValue size = comparisonSize(pixelSizeValue(device.image));

    const QImage deviceBuffer = resize(device.image, size);
    const QImage designBuffer = resize(crop(design.image, settings), size);
    clock.lap(&CompareTimings::resize);

    const PixelImage devicePixels = pixels(deviceBuffer, size);
    const PixelImage designPixels = pixels(designBuffer, size);
    clock.lap(&CompareTimings::rasterise);

    const QPointF automatic = estimateTranslation(devicePixels, designPixels);
    const QPointF offset = alignmentOffset(automatic, size, design.canvasSize, settings);
    const QImage aligned = shift(designBuffer, offset, size);
    clock.lap(&CompareTimings::alignment);

    const PixelImage alignedPixels = pixels(aligned, size);
    clock.lap(&CompareTimings::rasterise);

    const VisualOutput visual = visualDiff(devicePixels, alignedPixels, settings.pixelThreshold,
                                           settings.regionMinimumArea, effectiveIgnoredRegions(settings));
    QList<ComparisonIssue> issues = visualIssues(visual.regions);
    clock.lap(&CompareTimings::visualDiff);

    if (!design.isVisualOnly)
        issues += elementDiff(device.elements, design.nodes, device.screenSize, design.canvasSize, devicePixels,
                              settings);
    clock.lap(&CompareTimings::elementDiff);

    ComparisonResult result;
    result.score = score(visual.changedPixelRatio, visual.meanColorDelta);
    result.changedPixelRatio = visual.changedPixelRatio;
    result.meanColorDelta = visual.meanColorDelta;
    result.status = status(result.score, issues);
    result.issues = issues;
    result.heatmapImage = heatmapImage(visual.heatmap);

    QImage overlay(deviceBuffer.size(), QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    {
        QPainter painter(&overlay);
        painter.drawImage(overlay.rect(), deviceBuffer);
        painter.setOpacity(0.5);
        painter.drawImage(QRectF(overlay.rect()), aligned, QRectF(aligned.rect()));
    }
    result.overlayImage = overlay;
    result.createdAt = QDateTime::currentDateTime();
    result.deviceImage = device.image;
    result.designImage = design.image;
    result.alignedDesignImage = aligned;
    clock.lap(&CompareTimings::images);
    return result;
}

} // namespace vantrel
