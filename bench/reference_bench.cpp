// The reference integrator against the generic euler scheme on the default "Mercury" start
// state (set up by the run's own set-up): 1000 time units, 2 and 3 bodies, c 0 and 1000,
// the cost per time unit, and for the reference the history's largest size (flat in the
// run's length: it holds only what the largest delay reaches back to).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "core/physics/make_integration.h"
#include "core/physics/reference_integration.h"
#include "fake_host.h"

namespace {

using namespace gravlag;

constexpr double kDuration = 1000; // time units

System MercuryStart(int bodies, double c)
{
    testing::FakeHost host;
    SimState state = testing::DefaultState();
    testing::UseMercury(state, host);
    host.boxes[PanelBox::Tn_object] = std::to_string(bodies);
    host.boxes[PanelBox::Titer] = "-1"; // set up only
    RunSimulation(state, host);
    System system{c, {}};
    for (int i = 0; i < bodies; ++i)
        system.bodies.push_back(
            {state.mass[i], state.x[i], state.y[i], state.vx[i], state.vy[i]});
    return system;
}

void Run(benchmark::State& st, Integrator integrator, int bodies, double c)
{
    const System system = MercuryStart(bodies, c);
    double units = 0, steps = 0, bytes = 0;
    for (auto _ : st) {
        std::string problem;
        auto run = MakeIntegration(system, {integrator, ForceLaw::Retarded, kDefaultTolerance},
                                   0.001, RetardationMethod::VelocityEstimate, problem);
        if (!run) {
            st.SkipWithError(problem.c_str());
            return;
        }
        const auto* reference = dynamic_cast<const ReferenceIntegration*>(run.get());
        while (run->time() < kDuration) {
            if (!run->step(problem)) {
                st.SkipWithError(problem.c_str());
                return;
            }
            if (reference)
                bytes = std::max(bytes, static_cast<double>(reference->historyBytes()));
        }
        units += run->time();
        steps += static_cast<double>(run->steps());
    }
    st.counters["ms_per_time_unit"] =
        benchmark::Counter(units * 1e-3, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    st.counters["steps_per_time_unit"] = steps / units;
    st.counters["history_bytes"] = bytes;
}

} // namespace

BENCHMARK_CAPTURE(Run, reference_2_bodies_c0, gravlag::Integrator::Reference, 2, 0.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, reference_3_bodies_c0, gravlag::Integrator::Reference, 3, 0.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, reference_2_bodies_c1000, gravlag::Integrator::Reference, 2, 1000.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, reference_3_bodies_c1000, gravlag::Integrator::Reference, 3, 1000.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, euler_2_bodies_c0, gravlag::Integrator::Euler, 2, 0.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, euler_3_bodies_c0, gravlag::Integrator::Euler, 3, 0.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, euler_2_bodies_c1000, gravlag::Integrator::Euler, 2, 1000.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run, euler_3_bodies_c1000, gravlag::Integrator::Euler, 3, 1000.0)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
