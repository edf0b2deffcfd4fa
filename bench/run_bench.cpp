// Nanoseconds per pass of the real run routine on in-memory windows, display updates and
// plots included: the panel is typed into and "Calculate" clicked, as in gravlag-batch. The
// cases ending in _report attach the run analysis, as --report does. The Versus cases time
// the same runs in turn with a hand-tuned loop of their arithmetic (tuned_loop.h), whose end
// state must be the run's to the bit, and give the run's cost per pass over the loop's; the
// last lines printed are those ratios and the run's (b) over (a).
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "panel/program.h"
#include "panel/run_reporter.h"
#include "tuned_loop.h"
#include "ui/headless/headless_services.h"

namespace {

struct Case {
    bool mercury;
    const char* iterations;
    const char* c;
    const char* prediction;
    bool report = false;
    bool afterAvx = false; // the click comes with the vector registers' upper halves in use
};

// Leaves the upper halves of the vector registers in use, as AVX code that does not clear them
// when it leaves (vzeroupper) does; nothing on a processor without AVX. The main loop is SSE2
// code, which some processors then run far slower: the run clears them first.
void LeaveUpperVectorHalvesInUse()
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx"))
        asm volatile("vpcmpeqd %%ymm0, %%ymm0, %%ymm0\n\tvpcmpeqd %%ymm1, %%ymm1, %%ymm1\n\t"
                     "vpcmpeqd %%ymm2, %%ymm2, %%ymm2\n\tvpcmpeqd %%ymm3, %%ymm3, %%ymm3\n\t"
                     "vpcmpeqd %%ymm4, %%ymm4, %%ymm4\n\tvpcmpeqd %%ymm5, %%ymm5, %%ymm5\n\t"
                     "vpcmpeqd %%ymm6, %%ymm6, %%ymm6\n\tvpcmpeqd %%ymm7, %%ymm7, %%ymm7\n\t"
                     "vpcmpeqd %%ymm8, %%ymm8, %%ymm8\n\tvpcmpeqd %%ymm9, %%ymm9, %%ymm9\n\t"
                     "vpcmpeqd %%ymm10, %%ymm10, %%ymm10\n\tvpcmpeqd %%ymm11, %%ymm11, %%ymm11\n\t"
                     "vpcmpeqd %%ymm12, %%ymm12, %%ymm12\n\tvpcmpeqd %%ymm13, %%ymm13, %%ymm13\n\t"
                     "vpcmpeqd %%ymm14, %%ymm14, %%ymm14\n\tvpcmpeqd %%ymm15, %%ymm15, %%ymm15"
                     ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                     "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#endif
}

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
        if (cs.afterAvx)
            LeaveUpperVectorHalvesInUse();
        services.button("CommandCalc")->click();
        passes += static_cast<double>(program.form1().lastRun()->passes);
    }
    st.counters["ns_per_pass"] =
        benchmark::Counter(passes * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The panel of one case, typed into and ready for "Calculate".
struct TypedPanel {
    gravlag::ui::HeadlessServices services;
    gravlag::Program program{services};
    TypedPanel(const Case& cs, const char* iterations)
    {
        if (cs.mercury)
            services.textBox("Tmethode")->click();
        services.textBox("Titer")->type(iterations);
        services.textBox("Tc")->type(cs.c);
        services.textBox("Tpredsel")->type(cs.prediction);
    }
    const gravlag::RunResult& calculate()
    {
        services.button("CommandCalc")->click();
        return *program.form1().lastRun();
    }
};

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Each iteration times the tuned loop and then the run (set-up and display work included, as
// RunCase), processor time of this thread; the counters are medians over the iterations.
void Versus(benchmark::State& st, Case cs, gravlag::bench::TunedKind kind)
{
    using namespace gravlag;
    TypedPanel setUp(cs, "-1"); // set up only: the state the first pass starts from
    if (setUp.calculate().passes != 0) {
        st.SkipWithError("the set-up made passes");
        return;
    }
    const SimState start = setUp.program.state();
    std::vector<double> runNs, tunedNs, ratios;
    for (auto _ : st) {
        st.PauseTiming();
        TypedPanel panel(cs, cs.iterations);
        SimState tuned = start;
        double t0 = ThreadSeconds();
        const RunResult& result = panel.calculate();
        const double run = ThreadSeconds() - t0;
        const auto passes = static_cast<double>(result.passes);
        t0 = ThreadSeconds();
        bench::RunTunedLoop(tuned, kind, result.passes);
        const double loop = ThreadSeconds() - t0;
        if (result.ended != RunEnd::Completed) {
            st.SkipWithError("the run did not complete");
            return;
        }
        if (const std::string field = bench::TunedMismatch(tuned, panel.program.state());
            !field.empty()) {
            st.SkipWithError(("the tuned loop's end state differs from the run's in " + field).c_str());
            return;
        }
        runNs.push_back(run * 1e9 / passes);
        tunedNs.push_back(loop * 1e9 / passes);
        ratios.push_back(run / loop);
        st.ResumeTiming();
    }
    st.counters["run_ns_per_pass"] = Median(runNs);
    st.counters["tuned_ns_per_pass"] = Median(tunedNs);
    st.counters["run_over_tuned"] = Median(ratios);
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
BENCHMARK_CAPTURE(RunCase, a_2bh_c0_after_avx, Case{false, "320000", "0", "0", false, true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, d_mercury_c0_after_avx, Case{true, "1000000", "0", "0", false, true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, a_2bh_c0_report, Case{false, "320000", "0", "0", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, b_2bh_c50000_velocity_report, Case{false, "320000", "50000", "0", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, c_2bh_c50000_history_report, Case{false, "320000", "50000", "1", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, d_mercury_c0_report, Case{true, "1000000", "0", "0", true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunCase, e_mercury_c50000_history_report, Case{true, "1000000", "50000", "1", true})->Unit(benchmark::kMillisecond);
BENCHMARK(Growth)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMillisecond);

using gravlag::bench::TunedKind;
BENCHMARK_CAPTURE(Versus, a_2bh_c0, Case{false, "320000", "0", "0"}, TunedKind::Instantaneous)
    ->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Versus, b_2bh_c50000_velocity, Case{false, "320000", "50000", "0"}, TunedKind::VelocityEstimate)
    ->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Versus, c_2bh_c50000_history, Case{false, "320000", "50000", "1"}, TunedKind::HistoryLookup)
    ->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Versus, d_mercury_c0, Case{true, "1000000", "0", "0"}, TunedKind::Instantaneous)
    ->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Versus, e_mercury_c50000_history, Case{true, "1000000", "50000", "1"}, TunedKind::HistoryLookup)
    ->Iterations(7)->Unit(benchmark::kMillisecond);

namespace {

// The console's table, then the Versus ratios on lines of their own.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const std::string name = r.benchmark_name();
            const auto ratio = r.counters.find("run_over_tuned");
            if (name.rfind("Versus/", 0) != 0 || ratio == r.counters.end())
                continue;
            // With repetitions, the median stands for the case (it follows the repetitions);
            // the mean, deviation and variation rows are not ratios.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
                continue;
            const std::string caseName = name.substr(7, name.find('/', 7) - 7);
            ratios_[caseName] = {ratio->second.value, r.counters.at("run_ns_per_pass").value};
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const auto& [name, v] : ratios_)
            std::printf("run / tuned loop per pass, %s: %.3f\n", name.c_str(), v.first);
        const auto a = ratios_.find("a_2bh_c0"), b = ratios_.find("b_2bh_c50000_velocity");
        if (a != ratios_.end() && b != ratios_.end())
            std::printf("run per pass, (b) / (a): %.3f\n", b->second.second / a->second.second);
    }

private:
    std::map<std::string, std::pair<double, double>> ratios_; // run/tuned, run ns per pass
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
