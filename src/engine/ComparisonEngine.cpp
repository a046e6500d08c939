#include "engine/ComparisonEngine.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>

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

// One input brought to the comparison size: the resized image and its pixels, or the error that
// stopped it (exceptions do not cross the thread pool by themselves).
struct PreparedImage {
    QImage buffer;
    PixelImage pixels;
    std::exception_ptr error;
    double resizeMs = 0;
    double rasteriseMs = 0;
};

PreparedImage prepare(const std::function<QImage()> &source, const SizeValue &size)
{
    PreparedImage out;
    QElapsedTimer timer;
    timer.start();
    try {
        out.buffer = ComparisonEngine::resize(source(), size);
        out.resizeMs = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        out.pixels = ComparisonEngine::pixels(out.buffer, size);
        out.rasteriseMs = double(timer.nsecsElapsed()) / 1e6;
    } catch (...) {
        out.error = std::current_exception();
    }
    return out;
}

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
    const SizeValue size = comparisonSize(pixelSizeValue(device.image));

    // The design is cropped, resized and rasterised on the thread pool while the device image is
    // resized and rasterised here: the two are independent, and they are the costliest stages.
    QFuture<PreparedImage> designJob = QtConcurrent::run(
        [&design, &settings, size] { return prepare([&] { return crop(design.image, settings); }, size); });
    const PreparedImage deviceSide = prepare([&] { return device.image; }, size);
    const PreparedImage designSide = designJob.result();
    for (const PreparedImage *side : {&deviceSide, &designSide}) {
        if (side->error)
            std::rethrow_exception(side->error);
        if (timings) {
            timings->resize += side->resizeMs;
            timings->rasterise += side->rasteriseMs;
        }
    }
    const QImage &deviceBuffer = deviceSide.buffer;
    const QImage &designBuffer = designSide.buffer;
    const PixelImage &devicePixels = deviceSide.pixels;
    const PixelImage &designPixels = designSide.pixels;
    StageClock clock(timings);

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
