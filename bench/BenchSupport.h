#pragma once

#include <benchmark/benchmark.h>

#include <ctime>

namespace vantrel::bench {

// CPU time of all the process's threads per iteration since `start` (std::clock() taken before the
// loop): unlike wall-clock time it does not depend on how busy the other cores are, and unlike
// Google Benchmark's CPU time it counts work done on Qt's thread pool.
inline double processCpuMilliseconds(std::clock_t start, const benchmark::State &state)
{
    return double(std::clock() - start) * 1000 / CLOCKS_PER_SEC / double(state.iterations());
}

// Runs the benchmarks named on the command line; the caller has created the Qt application.
inline int runBenchmarks(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace vantrel::bench
