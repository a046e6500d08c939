#include "engine/ComparisonEngine.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <utility>

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
    ComparisonResult result = compareImages(device, design, device.image, design.image, settings, timings, true);
    result.deviceImage = device.image;
    result.designImage = design.image;
    return result;
}

ComparisonResult ComparisonEngine::compareFiguresOnly(CapturedDeviceState device, ImportedDesign design,
                                                      const ComparisonSettings &settings,
                                                      CompareTimings *timings) const
{
    QImage deviceImage = std::exchange(device.image, QImage());
    QImage designImage = std::exchange(design.image, QImage());
    return compareImages(device, design, std::move(deviceImage), std::move(designImage), settings, timings, false);
}

ComparisonResult ComparisonEngine::compareImages(const CapturedDeviceState &device, const ImportedDesign &design,
                                                 QImage deviceImage, QImage designImage,
                                                 const ComparisonSettings &settings, CompareTimings *timings,
                                                 bool withImages)
{
    const SizeValue size = comparisonSize(pixelSizeValue(deviceImage));

    // The design is cropped, resized and rasterised on the thread pool while the device image is
    // resized and rasterised here: the two are independent, and they are the costliest stages.
    // Each full-size image is let go once it is shrunk, so unless the caller keeps it, its memory
    // is free before the comparison proper begins; every intermediate image is let go as soon as
    // its last reader is done.
    QFuture<PreparedImage> designJob = QtConcurrent::run([&settings, size, image = std::move(designImage)]() mutable {
        return prepare([&] { return crop(std::exchange(image, QImage()), settings); }, size);
    });
    PreparedImage deviceSide = prepare([&] { return std::exchange(deviceImage, QImage()); }, size);
    PreparedImage designSide = designJob.result();
    for (const PreparedImage *side : {&deviceSide, &designSide}) {
        if (side->error)
            std::rethrow_exception(side->error);
        if (timings) {
            timings->resize += side->resizeMs;
            timings->rasterise += side->rasteriseMs;
        }
    }
    const PixelImage &devicePixels = deviceSide.pixels;
    if (!withImages)
        deviceSide.buffer = QImage();
    StageClock clock(timings);

    const QPointF automatic = estimateTranslation(devicePixels, designSide.pixels);
    designSide.pixels = PixelImage();
    const QPointF offset = alignmentOffset(automatic, size, design.canvasSize, settings);
    const QImage aligned = shift(std::exchange(designSide.buffer, QImage()), offset, size);
    clock.lap(&CompareTimings::alignment);

    PixelImage alignedPixels = pixels(aligned, size);
    clock.lap(&CompareTimings::rasterise);

    VisualOutput visual = visualDiff(devicePixels, alignedPixels, settings.pixelThreshold,
                                     settings.regionMinimumArea, effectiveIgnoredRegions(settings));
    alignedPixels = PixelImage();
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
    result.heatmapImage = heatmapImage(std::move(visual.heatmap));
    result.createdAt = QDateTime::currentDateTime();
    if (withImages) {
        const QImage &deviceBuffer = deviceSide.buffer;
        QImage overlay(deviceBuffer.size(), QImage::Format_ARGB32_Premultiplied);
        overlay.fill(Qt::transparent);
        {
            QPainter painter(&overlay);
            painter.drawImage(overlay.rect(), deviceBuffer);
            painter.setOpacity(0.5);
            painter.drawImage(QRectF(overlay.rect()), aligned, QRectF(aligned.rect()));
        }
        result.overlayImage = overlay;
        result.alignedDesignImage = aligned;
    }
    clock.lap(&CompareTimings::images);
    return result;
}

} // namespace vantrel
