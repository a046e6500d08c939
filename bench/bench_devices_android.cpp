// Android: parsing a large uiautomator dump, and the cost of running a trivial tool through
// ProcessRunner compared with a bare QProcess doing the same.
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench --target bench_devices_android
//   build-bench/bench/bench_devices_android --benchmark_repetitions=11 --benchmark_report_aggregates_only=true
#include "BenchSupport.h"
#include "devices/android/AndroidElementXMLParser.h"
#include "devices/tools/ProcessRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <optional>

using namespace vantrel;

namespace {

// A uiautomator dump of `nodes` nodes: rows of list items, each a layout with an icon, a title
// and a subtitle, nested as on a real screen.
QByteArray uiautomatorDump(int nodes)
{
    QByteArray xml = "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?><hierarchy rotation=\"0\">"
                     "<node index=\"0\" text=\"\" resource-id=\"\" class=\"android.widget.FrameLayout\" "
                     "package=\"com.example.shop\" content-desc=\"\" checkable=\"false\" checked=\"false\" "
                     "clickable=\"false\" enabled=\"true\" focusable=\"false\" focused=\"false\" scrollable=\"false\" "
                     "long-clickable=\"false\" password=\"false\" selected=\"false\" bounds=\"[0,0][1080,2400]\">";
    int written = 1;
    for (int row = 0; written < nodes; ++row) {
        const int top = 210 + (row % 40) * 54;
        const QByteArray bounds = QStringLiteral("[0,%1][1080,%2]").arg(top).arg(top + 54).toUtf8();
        xml += "<node index=\"" + QByteArray::number(row) + "\" text=\"\" resource-id=\"com.example.shop:id/row\" "
               "class=\"android.widget.LinearLayout\" package=\"com.example.shop\" content-desc=\"\" clickable=\"true\" "
               "enabled=\"true\" bounds=\"" + bounds + "\">";
        ++written;
        const char *kinds[] = {"android.widget.ImageView", "android.widget.TextView", "android.widget.TextView"};
        for (int child = 0; child < 3 && written < nodes; ++child, ++written) {
            const int left = child == 0 ? 42 : 160;
            const QByteArray childBounds =
                QStringLiteral("[%1,%2][%3,%4]").arg(left).arg(top + 4 + child * 2).arg(left + 600).arg(top + 50).toUtf8();
            xml += "<node index=\"" + QByteArray::number(child) + "\" text=\"" + (child ? "商品 " + QByteArray::number(row) : "")
                   + "\" resource-id=\"com.example.shop:id/cell_" + QByteArray::number(child) + "\" class=\"" + kinds[child]
                   + "\" package=\"com.example.shop\" content-desc=\"" + (child == 0 ? "图标" : "")
                   + "\" clickable=\"false\" enabled=\"true\" bounds=\"" + childBounds + "\" />";
        }
        xml += "</node>";
    }
    xml += "</node></hierarchy>";
    return xml;
}

void parseUiautomatorDump(benchmark::State &state)
{
    const QByteArray dump = uiautomatorDump(int(state.range(0)));
    qsizetype parsed = 0;
    for (auto _ : state) {
        const QList<DeviceElement> elements = AndroidElementXMLParser::parse(dump);
        parsed = elements.size();
        benchmark::DoNotOptimize(elements.constData());
    }
    state.counters["elements"] = double(parsed);
    state.counters["bytes"] = double(dump.size());
}
BENCHMARK(parseUiautomatorDump)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

CommandOutput runOnce(const QString &program)
{
    std::optional<CommandOutput> output;
    QEventLoop loop;
    auto task = [&]() -> QCoro::Task<void> {
        const QStringList arguments{QStringLiteral("ok")};
        output = co_await ProcessRunner::run(program, arguments, 10);
        loop.quit();
    };
    task();
    if (!output)
        loop.exec();
    return *output;
}

// The whole ProcessRunner.run of /bin/echo, awaited from the main thread.
void processRunnerTrivialTool(benchmark::State &state)
{
    for (auto _ : state) {
        const CommandOutput output = runOnce(QStringLiteral("/bin/echo"));
        if (output.status != 0)
            state.SkipWithError("echo failed");
    }
}
BENCHMARK(processRunnerTrivialTool)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: the same child through a bare, blocking QProcess on the calling thread.
void bareProcessTrivialTool(benchmark::State &state)
{
    for (auto _ : state) {
        QProcess process;
        process.start(QStringLiteral("/bin/echo"), {QStringLiteral("ok")});
        process.waitForFinished(10'000);
        benchmark::DoNotOptimize(process.readAllStandardOutput());
    }
}
BENCHMARK(bareProcessTrivialTool)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
