// Time to export the HTML page (with its assets) and the PDF report of a 1179 × 2556 comparison,
// and the sizes of the files written.
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench
//   build-bench/bench/bench_reports --benchmark_repetitions=9
#include "app/LocalInputs.h"
#include "engine/ComparisonEngine.h"
#include "reports/ReportExporter.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>

using namespace vantrel;

namespace {

// The bundled example pair: a 1179 × 2556 screenshot against its 786 × 1704 design.
const ComparisonResult &exampleResult()
{
    static const ComparisonResult result = [] {
        const QString examples = QStringLiteral(VANTREL_SOURCE_DIR "/examples/");
        const QImage device(examples + QStringLiteral("checkout-device.png"));
        const QImage design(examples + QStringLiteral("checkout-design.png"));
        return ComparisonEngine().compare(LocalInputs::offlineCapture(device),
                                          LocalInputs::localDesign(design, examples + QStringLiteral("checkout-design.png")),
                                          ComparisonSettings());
    }();
    return result;
}

qint64 folderBytes(const QString &path)
{
    qint64 total = 0;
    QDirIterator it(path, QDir::Files);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    return total;
}

// CPU time of the whole process (all threads) per iteration since `start`: the cost of an export
// independent of how busy the machine's other cores are.
double processCpuMilliseconds(std::clock_t start, const benchmark::State &state)
{
    return double(std::clock() - start) * 1000 / CLOCKS_PER_SEC / double(state.iterations());
}

void exportHtml(benchmark::State &state)
{
    const ComparisonResult &result = exampleResult();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.html"));
    const ReportExporter exporter;
    const std::clock_t start = std::clock();
    for (auto _ : state)
        exporter.exportHtml(result, std::nullopt, kOfflineDeviceName, ComparisonSettings(), path);
    state.counters["process_cpu_ms"] = processCpuMilliseconds(start, state);
    state.counters["page_kB"] = double(QFileInfo(path).size()) / 1024;
    state.counters["assets_kB"] = double(folderBytes(ReportExporter::assetsDirectory(path))) / 1024;
    state.SetLabel(QStringLiteral("%1 issues").arg(result.issues.size()).toStdString());
}

void exportPdf(benchmark::State &state)
{
    const ComparisonResult &result = exampleResult();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    const ReportExporter exporter;
    const std::clock_t start = std::clock();
    for (auto _ : state)
        exporter.exportPDF(result, std::nullopt, kOfflineDeviceName, ComparisonSettings(), path);
    state.counters["process_cpu_ms"] = processCpuMilliseconds(start, state);
    state.counters["pdf_kB"] = double(QFileInfo(path).size()) / 1024;
    state.SetLabel(QStringLiteral("%1 issues").arg(result.issues.size()).toStdString());
}

// Images are encoded on worker threads, so wall-clock time is what counts.
BENCHMARK(exportHtml)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(exportPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the PDF
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
