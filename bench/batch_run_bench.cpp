// The batch runner's in-process run (RunBatchReport: fresh in-memory windows, the panel typed
// into, "Calculate", the --json object), for the default runs of both scenarios: what the
// Python module's run() is measured against (bench/python_run_bench.py).
#include <benchmark/benchmark.h>

#include <sstream>

#include "app/batch/batch_run.h"

namespace {

gravlag::BatchOptions DefaultOptions(const char* scenario)
{
    gravlag::BatchOptions options;
    options.scenario = std::string(scenario);
    options.json = true;
    return options;
}

void DefaultRun(benchmark::State& st, const char* scenario)
{
    const gravlag::BatchOptions options = DefaultOptions(scenario);
    for (auto _ : st) {
        nlohmann::json report;
        std::ostringstream err;
        benchmark::DoNotOptimize(gravlag::RunBatchReport(options, report, err));
        benchmark::DoNotOptimize(gravlag::JsonLine(report));
    }
}

} // namespace

BENCHMARK_CAPTURE(DefaultRun, two_bh, "2 BH's")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DefaultRun, mercury, "Mercury")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
