// The application state's comparison as a window sees it: from runComparison to the published
// result (and to the history write's end), with the longest stall of the main thread meanwhile,
// measured as the largest gap between the ticks of a 1 ms timer and as the most CPU the main thread
// spent between two ticks (on a loaded machine the first includes time the scheduler gave away). Real screenshots: the 3x
// screenshot of shared/bench-images against its 2x design, as an offline comparison.
#include "BenchSupport.h"

#include "app/AppState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <ctime>

using namespace vantrel;

namespace {

// CPU time of the calling thread: what the main thread itself spent between two ticks, apart from
// the time the scheduler gave to other threads and processes.
qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

const QString kImages = QStringLiteral(VANTREL_SOURCE_DIR "/../shared/bench-images/");

void comparisonInTheApplication(benchmark::State &benchState)
{
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath(QStringLiteral("config")));
    // No phone tools: discovery ends at once.
    qputenv("VANTREL_ADB", "/nonexistent/adb");
    qputenv("VANTREL_XCRUN", "/nonexistent/xcrun");
    qputenv("VANTREL_SHELL", "/bin/false");
    AppState state(nullptr, AppState::Options{home.filePath(QStringLiteral("History")), false});
    state.loadDeviceScreenshot(kImages + QStringLiteral("screen-1179x2556.png"));
    state.loadLocalDesign(kImages + QStringLiteral("design-786x1704.png"));
    if (!state.canCompare()) {
        benchState.SkipWithError("the bench images did not load");
        return;
    }

    // Discovery finds no phone and says so; that alert is not the comparison's.
    QEventLoop settle;
    QTimer::singleShot(200, &settle, &QEventLoop::quit);
    settle.exec();
    state.setAlertMessage(std::nullopt);

    double published = 0, finished = 0, longestGap = 0, longestBusy = 0;
    const std::clock_t cpuStart = std::clock();
    for (auto _ : benchState) {
        QElapsedTimer clock;
        qint64 lastTick = 0, gap = 0, publishedAt = 0;
        qint64 lastCpu = threadCpuNanoseconds(), cpuGap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            const qint64 cpu = threadCpuNanoseconds();
            gap = std::max(gap, now - lastTick);
            cpuGap = std::max(cpuGap, cpu - lastCpu);
            lastTick = now;
            lastCpu = cpu;
        });
        QEventLoop loop;
        const auto onResult = QObject::connect(&state, &AppState::resultChanged, [&] {
            if (state.result())
                publishedAt = clock.nsecsElapsed();
        });
        const auto onBusy = QObject::connect(&state, &AppState::isBusyChanged, [&] {
            if (!state.isBusy())
                loop.quit();
        });
        ticker.start();
        clock.start();
        state.runComparison();
        loop.exec();
        const qint64 end = clock.nsecsElapsed();
        gap = std::max(gap, end - lastTick);
        cpuGap = std::max(cpuGap, threadCpuNanoseconds() - lastCpu);
        ticker.stop();
        QObject::disconnect(onResult);
        QObject::disconnect(onBusy);
        benchState.SetIterationTime(double(end) / 1e9);
        published += double(publishedAt) / 1e6;
        finished += double(end) / 1e6;
        longestGap = std::max(longestGap, double(gap) / 1e6);
        longestBusy = std::max(longestBusy, double(cpuGap) / 1e6);
        if (state.alertMessage())
            benchState.SkipWithError(qPrintable(*state.alertMessage()));
    }
    const double n = double(benchState.iterations());
    benchState.counters["published_ms"] = published / n;
    benchState.counters["history_written_ms"] = finished / n;
    benchState.counters["longest_tick_gap_ms"] = longestGap;
    benchState.counters["longest_main_thread_busy_ms"] = longestBusy;
    benchState.counters["process_cpu_ms"] = bench::processCpuMilliseconds(cpuStart, benchState);
}

} // namespace

BENCHMARK(comparisonInTheApplication)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
