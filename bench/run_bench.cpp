// Nanoseconds per pass of the real run routine on in-memory windows, display updates and
// plots included: the panel is typed into and "Calculate" clicked, as in gravlag-batch. The
// cases ending in _report attach the run analysis, as --report does.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>

#include "panel/program.h"
#include "panel/run_reporter.h"
#include "ui/headless/headless_services.h"

namespace {

struct Case {
    bool mercury;
    const char* iterations;
    const char* c;
    const char* prediction;
    bool report = false;
};

void RunCase(benchmark::State& st, Case cs)
{
    double passes = 0;
    for (auto _ : st) {
        st.PauseTiming();
        gravlag::ui::HeadlessServices services;
        gravlag::Program program(services);
        if (cs.mercury)
            services.textBox("Tmethode")->click();
        services.textBox("Titer")->type(cs.iterations);
        services.textBox("Tc")->type(cs.c);
        services.textBox("Tpredsel")->type(cs.prediction);
        std::optional<gravlag::RunReporter> reporter;
        if (cs.report)
            reporter.emplace(program.form1());
        st.ResumeTiming();
        services.button("CommandCalc")->click();
        passes += static_cast<double>(program.form1().lastRun()->passes);
    }
    st.counters["ns_per_pass"] =
        benchmark::Counter(passes * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Growth(benchmark::State& st)
{
    const std::string iterations = std::to_string(st.range(0));
    RunCase(st, {false, iterations.c_str(), "0", "0"});
}

} // namespace

BENCHMARK_CAPTURE(RunCase, a_2bh_c0, Case{false, "320000", "0", "0"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, b_2bh_c50000_velocity, Case{false, "320000", "50000", "0"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, c_2bh_c50000_history, Case{false, "320000", "50000", "1"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, d_mercury_c0, Case{true, "1000000", "0", "0"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, e_mercury_c50000_history, Case{true, "1000000", "50000", "1"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, a_2bh_c0_report, Case{false, "320000", "0", "0", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, b_2bh_c50000_velocity_report, Case{false, "320000", "50000", "0", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, c_2bh_c50000_history_report, Case{false, "320000", "50000", "1", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, d_mercury_c0_report, Case{true, "1000000", "0", "0", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, e_mercury_c50000_history_report, Case{true, "1000000", "50000", "1", true})->Unit(benchmark::kMillisecond);
BENCHMARK(Growth)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
