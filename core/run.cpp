#include "core/run.h"

#include <cmath>

#include "core/apsis.h"
#include "core/finite.h"
#include "core/line_fit.h"
#include "core/pass.h"
#include "core/run_setup.h"

namespace gravlag {

std::string_view RunEndName(RunEnd ended)
{
    switch (ended) {
    case RunEnd::Completed: return "completed";
    case RunEnd::Stopped: return "stopped";
    case RunEnd::Fault: return "fault";
    case RunEnd::Refused: return "refused";
    }
    return "completed";
}

namespace {

constexpr std::int64_t kDisplayInterval = 100;

// An apsis event of "Mercury": measured, added to the fit, shown. Returns false, leaving the
// run's values as they were, when the measurement overflowed.
bool ApsisPass(SimState& state, RunHost& host, RunResult& result)
{
    RunValues& run = result.values;
    const ApsisEvent e = MeasureApsis(state);
    const std::int64_t apsisCount = run.apsisCount + 1;
    const ApsisFit fit = AddApsisToFit(run.fit, apsisCount, e.apsisAngle);
    if (!Finite(e.apsisOffset, e.apsisAngle, fit.fitA, fit.fitB, fit.predAngle)) {
        result.ended = RunEnd::Fault;
        result.message = "Pass " + std::to_string(run.k)
            + ": overflow or division by zero in the apsis measurement";
        return false;
    }
    run.apsisCount = apsisCount;
    run.parabA = e.parabA;
    run.parabB = e.parabB;
    run.apsisOffset = e.apsisOffset;
    run.apsisAngle = e.apsisAngle;
    run.fit = fit;
    host.apsisEvent(state, run);
    return true;
}

// Counts passes down to the next one that is a multiple of `every` (k counts from 0).
struct Countdown {
    std::int64_t every, left = 0;
    bool due()
    {
        const bool now = left == 0;
        left = now ? every - 1 : left - 1;
        return now;
    }
};

// The pass that failed its folded checks, computed again with checks that name the first
// failure (out of the main loop's way); committed after all should none fail.
template <int Last, bool Delayed, RetardationMethod Method>
[[gnu::cold, gnu::noinline]] std::optional<PassFault>
NamedFault(SimState& state, const PassConstants& pc, HistoryLookup& lookup, PassCarry& carry)
{
    PassChecks<true> checks;
    if (OnePass<Last, Delayed, Method>(state, pc, lookup, carry, checks))
        return std::nullopt;
    return checks.fault();
}

// The delays in whole steps of the last committed pass, for what shows them. The carry's
// delays come by value, so that the loop's carry can stay in registers.
[[gnu::noinline]] void ShowDelays(double tau10, double tau20, double dt, int last,
                                  RunResult& result)
{
    if (result.passes == 0)
        return;
    if (last >= 1)
        result.values.delay21 = DelayInSteps(tau10, dt);
    if (last >= 2)
        result.values.delay31 = DelayInSteps(tau20, dt);
}

// The main loop for bodies 0..Last; Delayed: c > 0.
template <int Last, bool Delayed, RetardationMethod Method>
void RunPasses(SimState& state, RunHost& host, RunResult& result, std::int64_t kEnd)
{
    constexpr bool kLookup = Method == RetardationMethod::HistoryLookup;
    RunValues& run = result.values;
    const PassConstants pc(state);
    HistoryLookup lookup;
    if constexpr (kLookup)
        lookup.prime(state.hist, pc.dt);
    PassCarry carry(state);
    const auto showDelays = [&] { ShowDelays(carry.tau10, carry.tau20, pc.dt, Last, result); };
    Countdown display{kDisplayInterval}, plot{run.sampleInterval};
    const std::int64_t sampleEvery = host.sampleEvery(run);
    Countdown sample{sampleEvery > 0 ? sampleEvery : 1};

    for (std::int64_t k = 0; k <= kEnd; ++k) {
        if (state.stopFlag == StopRequest::Stop) {
            result.ended = RunEnd::Stopped;
            break;
        }
        PassChecks<false> checks;
        if (!OnePass<Last, Delayed, Method>(state, pc, lookup, carry, checks)) [[unlikely]] {
            if (const auto fault = NamedFault<Last, Delayed, Method>(state, pc, lookup, carry)) {
                result.ended = RunEnd::Fault;
                result.message =
                    "Pass " + std::to_string(k) + ": " + PassFaultText(*fault, Delayed);
                break;
            }
        }
        if constexpr (kLookup)
            lookup.push<Last>(state.hist, pc.dt);
        run.k = k;
        result.passes = k + 1;
        result.lastPass = k;

        if (state.scenarioCode == Scenario::Mercury && IsApsis(state.sepHist)) {
            showDelays();
            if (!ApsisPass(state, host, result))
                break;
        }
        if (display.due()) {
            showDelays();
            host.displayUpdate(state, run);
        }
        if (plot.due() && state.scenarioCode == Scenario::TwoBlackHoles) {
            showDelays();
            host.timePlot(state, run);
        }
        if (sample.due() && sampleEvery > 0) {
            showDelays();
            host.samplePass(state, run);
        }
    }
    showDelays();
}

using PassLoop = void (*)(SimState&, RunHost&, RunResult&, std::int64_t);

template <int Last>
PassLoop PickLoop(bool delayed, RetardationMethod method)
{
    using enum RetardationMethod;
    if (method == HistoryLookup)
        return delayed ? &RunPasses<Last, true, HistoryLookup>
                       : &RunPasses<Last, false, HistoryLookup>;
    return delayed ? &RunPasses<Last, true, VelocityEstimate>
                   : &RunPasses<Last, false, VelocityEstimate>;
}

} // namespace

RunResult RunSimulation(SimState& state, RunHost& host)
{
    RunResult result;
    RunValues& run = result.values;

    SetupOutcome setup = SetUpRun(state, host, run);
    if (!setup.refusal.empty()) {
        host.setEndCaption("End");
        result.ended = RunEnd::Refused;
        result.message = setup.refusal;
        return result;
    }

    const int last = run.nLast;
    const bool delayed = state.c > 0;
    const PassLoop loop = last <= 0 ? PickLoop<0>(delayed, setup.method)
        : last == 1                 ? PickLoop<1>(delayed, setup.method)
                                    : PickLoop<2>(delayed, setup.method);
    result.ended = RunEnd::Completed;
    loop(state, host, result, setup.lastPass);
    host.setEndCaption("End");
    return result;
}

} // namespace gravlag
