// Comparison speed at three screen sizes, with a per-stage breakdown, and the history save.
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench
//   build-bench/bench/bench_compare --benchmark_repetitions=15 --benchmark_report_aggregates_only=true
//   build-bench/bench/bench_compare --write-inputs DIR   (the PNG pairs for bench/peers.sh)
#include "BenchInputs.h"
#include "BenchSupport.h"

#include "engine/ComparisonEngine.h"
#include "reports/ComparisonHistoryStore.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vantrel;

namespace {

struct Size {
    int deviceWidth, deviceHeight, designWidth, designHeight;
};
constexpr Size kSizes[] = {{720, 1560, 480, 1040}, {1179, 2556, 786, 1704}, {1440, 3120, 960, 2080}};

void compareAt(benchmark::State &state)
{
    const Size size = kSizes[state.range(0)];
    const int elements = int(state.range(1));
    const CapturedDeviceState device = bench::deviceAt(size.deviceWidth, size.deviceHeight, elements);
    const ImportedDesign design = bench::designAt(size.designWidth, size.designHeight, elements);
    const ComparisonEngine engine;
    CompareTimings total;
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        CompareTimings t;
        benchmark::DoNotOptimize(engine.compare(device, design, ComparisonSettings(), &t));
        total.resize += t.resize;
        total.rasterise += t.rasterise;
        total.alignment += t.alignment;
        total.visualDiff += t.visualDiff;
        total.elementDiff += t.elementDiff;
        total.images += t.images;
    }
    state.counters["process_cpu_ms"] = bench::processCpuMilliseconds(start, state);
    const double n = double(state.iterations());
    state.counters["resize_ms"] = total.resize / n;
    state.counters["rasterise_ms"] = total.rasterise / n;
    state.counters["align_ms"] = total.alignment / n;
    state.counters["visual_ms"] = total.visualDiff / n;
    state.counters["element_ms"] = total.elementDiff / n;
    state.counters["images_ms"] = total.images / n;
    state.counters["pixels"] = double(size.deviceWidth) * size.deviceHeight;
    state.SetLabel(QStringLiteral("%1x%2 vs %3x%4, %5 elements x %5 nodes")
                       .arg(size.deviceWidth).arg(size.deviceHeight).arg(size.designWidth)
                       .arg(size.designHeight).arg(elements).toStdString());
}
BENCHMARK(compareAt)->ArgsProduct({{0, 1, 2}, {0, 300}})->Unit(benchmark::kMillisecond)->UseRealTime();

// Moving the design by the alignment offset at the comparison size (1179 × 2556 compared at
// 720 × 1561): a whole-pixel move, as the automatic alignment gives, and a fractional one, as a
// manual offset in design units gives (10 × 5 units of a 393 × 852 canvas).
void shiftBy(benchmark::State &state)
{
    const QImage design = bench::designAt(786, 1704, 0).image.scaled(720, 1561, Qt::IgnoreAspectRatio,
                                                                      Qt::SmoothTransformation);
    const QPointF offset = state.range(0) ? QPointF(3 + 720 * 10 / 393.0, -2 + 1561 * 5 / 852.0) : QPointF(3, -2);
    const std::clock_t start = std::clock();
    for (auto _ : state)
        benchmark::DoNotOptimize(ComparisonEngine::shift(design, offset, SizeValue{720, 1561}));
    state.counters["process_cpu_ms"] = bench::processCpuMilliseconds(start, state);
    state.SetLabel(state.range(0) ? "fractional move" : "whole-pixel move");
}
BENCHMARK(shiftBy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void historySave(benchmark::State &state)
{
    const Size size = kSizes[1];
    const ComparisonResult result = ComparisonEngine().compare(
        bench::deviceAt(size.deviceWidth, size.deviceHeight, 0), bench::designAt(size.designWidth, size.designHeight, 0),
        ComparisonSettings());
    QTemporaryDir dir;
    const ComparisonHistoryStore store(dir.path());
    const std::clock_t start = std::clock();
    for (auto _ : state)
        benchmark::DoNotOptimize(store.save(result, QStringLiteral("design"), QStringLiteral("device")));
    state.counters["process_cpu_ms"] = bench::processCpuMilliseconds(start, state);
}
BENCHMARK(historySave)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// Writes the PNG pairs that bench/peers.sh times as whole processes.
int writeInputs(const QString &dir)
{
    for (const Size &size : kSizes) {
        const QString tag = QString::number(size.deviceWidth);
        const QImage device = bench::deviceAt(size.deviceWidth, size.deviceHeight, 0).image;
        const QImage design = bench::designAt(size.designWidth, size.designHeight, 0).image;
        if (!device.save(dir + QStringLiteral("/device-") + tag + QStringLiteral(".png"))
            || !design.save(dir + QStringLiteral("/design-") + tag + QStringLiteral(".png"))
            || !design.scaled(device.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .save(dir + QStringLiteral("/design-") + tag + QStringLiteral("-same-size.png")))
            return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--write-inputs")
        return writeInputs(QString::fromLocal8Bit(argv[2]));
    return bench::runBenchmarks(argc, argv);
}
