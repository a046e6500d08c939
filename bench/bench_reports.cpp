// Time to export the HTML page (with its assets) and the PDF report of a 1179 × 2556 comparison,
// and the sizes of the files written.
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench
//   build-bench/bench/bench_reports --benchmark_repetitions=9
#include "BenchSupport.h"
#include "app/LocalInputs.h"
#include "engine/ComparisonEngine.h"
#include "reports/ReportExporter.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>
#include <functional>

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

// Runs one export per iteration into a fresh folder; `sizes` then records the files' sizes.
void measure(benchmark::State &state, const QString &fileName,
             const std::function<void(const ComparisonResult &, const QString &)> &write,
             const std::function<void(benchmark::State &, const QString &)> &sizes)
{
    const ComparisonResult &result = exampleResult();
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    const std::clock_t start = std::clock();
    for (auto _ : state)
        write(result, path);
    state.counters["process_cpu_ms"] = bench::processCpuMilliseconds(start, state);
    sizes(state, path);
    state.SetLabel(QStringLiteral("%1 issues").arg(result.issues.size()).toStdString());
}

void exportHtml(benchmark::State &state)
{
    measure(
        state, QStringLiteral("report.html"),
        [](const ComparisonResult &result, const QString &path) {
            ReportExporter().exportHtml(result, std::nullopt, kOfflineDeviceName, ComparisonSettings(), path);
        },
        [](benchmark::State &s, const QString &path) {
            s.counters["page_kB"] = double(QFileInfo(path).size()) / 1024;
            s.counters["assets_kB"] = double(folderBytes(ReportExporter::assetsDirectory(path))) / 1024;
        });
}

void exportPdf(benchmark::State &state)
{
    measure(
        state, QStringLiteral("report.pdf"),
        [](const ComparisonResult &result, const QString &path) {
            ReportExporter().exportPDF(result, std::nullopt, kOfflineDeviceName, ComparisonSettings(), path);
        },
        [](benchmark::State &s, const QString &path) { s.counters["pdf_kB"] = double(QFileInfo(path).size()) / 1024; });
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
    return bench::runBenchmarks(argc, argv);
}
