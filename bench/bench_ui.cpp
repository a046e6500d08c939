// The live picture on an image canvas: the cost of showing a new frame (one scaling to the
// displayed size, then the paint) against a repaint of the same frame (the cached pixmap only).
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench --target bench_ui
//   QT_QPA_PLATFORM=offscreen build-bench/bench/bench_ui --benchmark_repetitions=11
#include "BenchSupport.h"
#include "ui/ImageCanvas.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

using namespace vantrel;

namespace {

// Two different frames at the size the iPhone stream delivers (75 % of 1179 × 2556).
QList<QImage> streamFrames()
{
    QList<QImage> frames;
    for (const char *name : {"screen-1179x2556.png", "screen-1179x2556-shifted.png"}) {
        const QImage screen(QStringLiteral("/work/shared/bench-images/") + QLatin1String(name));
        frames.append(screen.scaled(884, 1917, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                          .convertToFormat(QImage::Format_RGB32));
    }
    return frames;
}

void newFrame(benchmark::State &state)
{
    const QList<QImage> frames = streamFrames();
    ImageCanvas canvas;
    canvas.resize(420, 860); // a device card in the main window
    QImage target(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    qsizetype next = 0;
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        canvas.setImage(frames[next]);
        next = (next + 1) % frames.size();
        canvas.render(&target);
    }
    state.counters["process_cpu_ms"] = bench::processCpuMilliseconds(start, state);
}
BENCHMARK(newFrame)->Unit(benchmark::kMillisecond);

void repaintSameFrame(benchmark::State &state)
{
    ImageCanvas canvas;
    canvas.resize(420, 860); // a device card in the main window
    canvas.setImage(streamFrames().first());
    canvas.setHighlightedRegions({RectValue(0.1, 0.2, 0.3, 0.1)});
    QImage target(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    const std::clock_t start = std::clock();
    for (auto _ : state)
        canvas.render(&target);
    state.counters["process_cpu_ms"] = bench::processCpuMilliseconds(start, state);
}
BENCHMARK(repaintSameFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
