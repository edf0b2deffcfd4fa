#include "core/run.h"

#include <cmath>

#include "core/apsis.h"
#include "core/fast_pass.h"
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

bool Finite(double v) { return std::isfinite(v); }

// One pass the plain way: computed apart, committed when sound. A pass the fast routine
// could not commit comes here, which either names its fault or, should the fast routine have
// been over-cautious, commits the same pass. Returns false when the pass faulted.
bool PlainPass(SimState& state, int last, bool fromHistory, std::int64_t k, RunResult& result,
               PairCarry& carry)
{
    PassResult p = ComputePass(state, last, fromHistory);
    double sep0Squared = 0, sep0 = 0;
    if (p.fault.empty()) {
        const double sx = p.x[1] - p.x[0], sy = p.y[1] - p.y[0];
        sep0Squared = sx * sx + sy * sy;
        sep0 = std::sqrt(sep0Squared);
        if (!Finite(sep0))
            p.fault = "overflow in the distance of body 1 and body 2";
    }
    if (!p.fault.empty()) {
        result.ended = RunEnd::Fault;
        result.message = "Pass " + std::to_string(k) + ": " + p.fault;
        return false;
    }
    state.x = p.x;
    state.y = p.y;
    state.vx = p.vx;
    state.vy = p.vy;
    state.fx = p.fx;
    state.fy = p.fy;
    state.xRet = p.xRet;
    state.yRet = p.yRet;
    if (p.delay21)
        result.values.delay21 = p.delay21;
    if (p.delay31)
        result.values.delay31 = p.delay31;
    // Bodies above the last active one stand still, so shifting their history is the same
    // as rewriting its entry 0.
    state.hist.push(state.x, state.y);
    for (int h = kSepEntries - 1; h >= 1; --h)
        state.sepHist[static_cast<unsigned>(h)] = state.sepHist[static_cast<unsigned>(h - 1)];
    state.sepHist[0] = sep0;
    carry = {sep0Squared, sep0};
    return true;
}

// An apsis event of "Mercury": measured, added to the fit, shown. Returns false, leaving the
// run's values as they were, when the measurement overflowed.
bool ApsisPass(SimState& state, RunHost& host, RunResult& result)
{
    RunValues& run = result.values;
    const ApsisEvent e = MeasureApsis(state);
    const std::int64_t apsisCount = run.apsisCount + 1;
    const ApsisFit fit = AddApsisToFit(run.fit, apsisCount, e.apsisAngle);
    if (!Finite(e.apsisOffset) || !Finite(e.apsisAngle) || !Finite(fit.fitA) || !Finite(fit.fitB)
        || !Finite(fit.predAngle)) {
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

// The main loop for bodies 0..Last; Delayed: c > 0; Lookup: "Prediction" 1.
template <int Last, bool Delayed, bool Lookup>
void RunPasses(SimState& state, RunHost& host, RunResult& result, std::int64_t kEnd)
{
    RunValues& run = result.values;
    PassConstants pc;
    pc.c = state.c;
    pc.dt = state.dt;
    for (unsigned j = 0; j < kBodies; ++j)
        pc.gm[j] = kGConst * state.mass[j];
    pc.nDelayNow = std::floor(0.0 / state.dt);
    SlopeRing slopes;
    if constexpr (Lookup)
        slopes.prime(state.hist, state.dt);
    DelaySteps steps(state.dt);
    PairCarry carry;
    {
        const double ex = state.x[0] - state.x[1], ey = state.y[0] - state.y[1];
        carry.squared = ex * ex + ey * ey;
        carry.distance = std::sqrt(carry.squared);
    }
    double delay21 = 0, delay31 = 0;
    Countdown display{kDisplayInterval}, plot{run.sampleInterval};
    const std::int64_t sampleEvery = host.sampleEvery(run);
    Countdown sample{sampleEvery > 0 ? sampleEvery : 1};

    for (std::int64_t k = 0; k <= kEnd; ++k) {
        if (state.stopFlag == StopRequest::Stop) {
            result.ended = RunEnd::Stopped;
            return;
        }
        if (FastPass<Last, Delayed, Lookup>(state, pc, slopes, steps, carry, delay21, delay31)) {
            if constexpr (Last >= 1)
                run.delay21 = delay21;
            if constexpr (Last >= 2)
                run.delay31 = delay31;
        } else if (!PlainPass(state, Last, Lookup, k, result, carry)) {
            return;
        }
        if constexpr (Lookup)
            slopes.push<Last>(state.hist, pc.dt);
        run.k = k;
        result.passes = k + 1;
        result.lastPass = k;

        if (state.scenarioCode == Scenario::Mercury && IsApsis(state.sepHist)
            && !ApsisPass(state, host, result))
            return;
        if (display.due())
            host.displayUpdate(state, run);
        if (plot.due() && state.scenarioCode == Scenario::TwoBlackHoles)
            host.timePlot(state, run);
        if (sample.due() && sampleEvery > 0)
            host.samplePass(state, run);
    }
}

using PassLoop = void (*)(SimState&, RunHost&, RunResult&, std::int64_t);

template <int Last>
PassLoop PickLoop(bool delayed, bool lookup)
{
    if (lookup)
        return delayed ? &RunPasses<Last, true, true> : &RunPasses<Last, false, true>;
    return delayed ? &RunPasses<Last, true, false> : &RunPasses<Last, false, false>;
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
    const bool lookup = setup.method == RetardationMethod::HistoryLookup;
    const PassLoop loop = last <= 0 ? PickLoop<0>(delayed, lookup)
        : last == 1                 ? PickLoop<1>(delayed, lookup)
                                    : PickLoop<2>(delayed, lookup);
    result.ended = RunEnd::Completed;
    loop(state, host, result, setup.lastPass);
    host.setEndCaption("End");
    return result;
}

} // namespace gravlag
