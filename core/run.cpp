#include "core/run.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "core/apsis.h"
#include "core/countdown.h"
#include "core/finite.h"
#include "core/integration_run.h"
#include "core/lane_run.h"
#include "core/line_fit.h"
#include "core/pass.h"
#include "core/run_setup.h"
#include "core/vector_state.h"
#include "core/xy_stretch.h"

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

// The delay record of the passes that asked for one: after each committed pass, the delays
// in whole steps of its pairs, as the pass found them: the lookup's own; by velocity the
// carried ones of targets 1 and 2 from body 0 and, of pair (1, 2), its separation at the
// start of the pass (carried in too) over c, the quotient the pass divided.
template <int Last, RetardationMethod Method>
[[gnu::always_inline]] inline void RecordDelays(DelayStats& record, const HistoryLookup& lookup,
                                                const PassCarry& carry, double tau12, double dt)
{
    constexpr int kPairs = Last == 2 ? 3 : 1;
    double steps[kPairs];
    if constexpr (Method == RetardationMethod::HistoryLookup) {
        for (int p = 0; p < kPairs; ++p)
            steps[p] = lookup.steps(p);
    } else {
        steps[0] = DelayInSteps(carry.tau10, dt);
        if constexpr (Last == 2) {
            steps[PairOf(0, 2)] = DelayInSteps(carry.tau20, dt);
            steps[PairOf(1, 2)] = DelayInSteps(tau12, dt);
        }
    }
    bool beyond = false;
    for (int p = 0; p < kPairs; ++p) {
        record.maxSteps = std::max(record.maxSteps, steps[p]);
        beyond = beyond || steps[p] >= kHistorySpan;
    }
    if constexpr (Method == RetardationMethod::HistoryLookup)
        record.passesBeyondHistory += beyond ? 1 : 0;
}

// What the main loop keeps of the state over a stretch of passes, as locals the compiler
// holds in registers: each pass reads what the last one wrote without a trip through memory
// (a store and the load after it sat on every pass's chain of dependent operations). The
// histories stay in the state (`hist` refers to it, or to a copy that takes the pushes of
// passes computed again).
struct LoopBodies {
    std::array<double, kBodies> x, y, vx, vy;
    // Written by every pass and read by none (the separation history only shifted, and read
    // by the apsis check off the pass's chain): locals too, written back with the rest. Each
    // pass's stores into the state cost 4-5 % of a pass at c 0, although none of them is
    // on the chain.
    std::array<double, kBodies> fx, fy, xRet, yRet;
    std::array<double, kSepEntries> sepHist;
    PositionHistory& hist;

    LoopBodies(SimState& s, PositionHistory& history)
        : fx(s.fx), fy(s.fy), xRet(s.xRet), yRet(s.yRet), sepHist(s.sepHist), hist(history)
    {
        // Field by field, not as whole arrays, and unrolled: the compiler holds a double in
        // a register of its own only where every access names it by a constant index.
#pragma GCC unroll 3
        for (std::size_t i = 0; i < kBodies; ++i)
            x[i] = s.x[i], y[i] = s.y[i], vx[i] = s.vx[i], vy[i] = s.vy[i];
    }
    explicit LoopBodies(SimState& s) : LoopBodies(s, s.hist) {}
    template <int Last>
    void store(SimState& s) const
    {
#pragma GCC unroll 3
        for (std::size_t i = 0; i < kBodies; ++i)
            s.x[i] = x[i], s.y[i] = y[i], s.vx[i] = vx[i], s.vy[i] = vy[i];
        s.fx = fx, s.fy = fy, s.xRet = xRet, s.yRet = yRet, s.sepHist = sepHist;
    }
};

// Without a delay by velocity: the retarded positions x - v*0 formed once, when the bodies
// are stored (after at least one committed pass), from where the last pass began.
struct BodiesFormingRetarded : LoopBodies {
    static constexpr bool kFormsRetardedLater = true;
    std::array<double, kBodies> xFrom, yFrom, vxFrom, vyFrom; // set by each pass's commit
    using LoopBodies::LoopBodies;
    // Last: the last active body (the retarded positions of bodies 0..Last are the pass's).
    template <int Last>
    void store(SimState& s) const
    {
        LoopBodies::store<Last>(s);
        if constexpr (Last > 0) {
            for (std::size_t i = 0; i <= std::size_t{Last}; ++i) {
                s.xRet[i] = AlongVelocity(xFrom[i], vxFrom[i], 0.0);
                s.yRet[i] = AlongVelocity(yFrom[i], vyFrom[i], 0.0);
            }
        }
    }
};

template <bool RetardedLater>
using StretchBodies = std::conditional_t<RetardedLater, BodiesFormingRetarded, LoopBodies>;

// Whether a stretch computes its passes again after a failed one (below): by velocity,
// whose passes read no history; and whether it leaves the retarded positions to its bodies'
// store: without a delay too.
template <RetardationMethod Method>
constexpr bool kStretchRedoes = Method == RetardationMethod::VelocityEstimate;
template <bool Delayed, RetardationMethod Method>
constexpr bool kStretchRetardedLater = !Delayed && kStretchRedoes<Method>;

// The passes of a stretch before the one that failed its folded checks, computed again from
// the state and the carry the stretch began with (it writes them back only at its end), to
// store what the last of them left: the stretch keeps its forces and retarded positions only
// as long as it goes on, not from one pass to the next. The same passes give the same bits.
// Their pushes go into a copy of the history, which holds them already.
template <int Last, bool Delayed, RetardationMethod Method>
[[gnu::cold, gnu::noinline]] void RedoStretch(SimState& state, const PassConstants& pc,
                                              HistoryLookup& lookup, PassCarry& carried,
                                              std::int64_t passes)
{
    PositionHistory pushes = state.hist;
    StretchBodies<kStretchRetardedLater<Delayed, Method>> b(state, pushes);
    // Naming checks: they hold for every pass whose folded checks held, in whatever order
    // those summed their values (an overflow of the sum alone is a false alarm).
    for (std::int64_t n = 0; n < passes; ++n) {
        PassChecks<true> checks; // naming, not folded
        OnePass<Last, Delayed, Method>(b, pc, lookup, carried, checks);
    }
    b.template store<Last>(state);
}

// Where a stretch of passes ended: at pass k, committed; or before it, when pass k failed
// its folded checks (the state and the carry then as pass k - 1 left them).
struct StretchEnd {
    std::int64_t k;
    bool failed;
};

// Passes k..until, or up to the first apsis among them, none of which calls the host: the
// quiet passes of the main loop, a loop that calls nothing, with the bodies, the carry and
// the constants in locals, as a hand-written loop keeps them. The state, the carry and the
// delay record are written back once, at the stretch's end. With three bodies (both
// scenarios' default runs, with a delay or without, and the history lookup's with a delay)
// XyStretch makes them, x and y together, but for the delay record's runs.
template <int Last, bool Delayed, RetardationMethod Method, bool Record>
[[gnu::noinline]] StretchEnd RunStretch(SimState& state, const PassConstants& constants,
                                        HistoryLookup& lookup, PassCarry& carried,
                                        DelayStats& recorded, bool mercury, std::int64_t k,
                                        std::int64_t until)
{
    constexpr bool kLookup = Method == RetardationMethod::HistoryLookup;
    constexpr bool kFormedLater = kStretchRetardedLater<Delayed, Method>;
    if constexpr (kXyStretch<Last, Delayed, Method> && !Record) {
        const XyStretchEnd end =
            XyStretch<Delayed, kLookup>(state, constants, lookup, carried, mercury, k, until);
        if (!kLookup && end.failed && end.k > k)
            RedoStretch<Last, Delayed, Method>(state, constants, lookup, carried, end.k - k);
        return {end.k, end.failed};
    }
    const PassConstants pc = constants;
    PassCarry carry = carried;
    DelayStats record = recorded;
    StretchBodies<kFormedLater> b(state);
    const std::int64_t first = k;
    bool failed = false;
    for (;; ++k) {
        double tau12 = 0;
        if constexpr (Record && !kLookup && Last == 2)
            tau12 = carry.sep[PairOf(1, 2)] / pc.c;
        PassChecks<false> checks;
        if (!OnePass<Last, Delayed, Method>(b, pc, lookup, carry, checks)) [[unlikely]] {
            failed = true;
            break;
        }
        if constexpr (kLookup)
            lookup.push<Last>(b.hist, pc.dt);
        if constexpr (Record)
            RecordDelays<Last, Method>(record, lookup, carry, tau12, pc.dt);
        if (k == until || (mercury && IsApsis(b.sepHist)))
            break;
    }
    if constexpr (kStretchRedoes<Method>) {
        if (!failed) {
            b.template store<Last>(state);
            carried = carry;
        } else if (k > first) {
            RedoStretch<Last, Delayed, Method>(state, pc, lookup, carried, k - first);
        }
    } else {
        b.template store<Last>(state);
        carried = carry;
    }
    if constexpr (Record)
        recorded = record;
    return {k, failed};
}

// The host's calls after a pass, in their order: the apsis's event, the display update, the
// time plot and the sample, each after the delays are shown. Every countdown is asked once a
// pass, whether its call is made or not. False when the apsis's event ends the run.
template <class ShowDelays>
bool CallHost(SimState& state, RunHost& host, RunResult& result, const ShowDelays& showDelays,
              Countdown& display, Countdown& plot, Countdown& sample, bool mercury, bool plotOn,
              bool sampleOn)
{
    RunValues& run = result.values;
    if (mercury && IsApsis(state.sepHist)) {
        showDelays();
        if (!ApsisPass(state, host, result))
            return false;
    }
    if (display.due()) {
        showDelays();
        host.displayUpdate(state, run);
    }
    if (plot.due() && plotOn) {
        showDelays();
        host.timePlot(state, run);
    }
    if (sample.due() && sampleOn) {
        showDelays();
        host.samplePass(state, run);
    }
    return true;
}

// The main loop for bodies 0..Last; Delayed: c > 0; Record: keeps the delay record (only
// with a delay and a pair), an instantiation of its own so that the others stay as they are.
// It runs in stretches (RunStretch): the passes up to the next one that calls the host (a
// countdown due, an apsis, the last pass) ask no countdown, which skip them at once and are
// asked for the stretch's last pass. The stop request is read before each stretch: only the
// host raises it, and the host is called only at a stretch's end.
template <int Last, bool Delayed, RetardationMethod Method, bool Record = false>
void RunPasses(SimState& state, RunHost& host, RunResult& result, std::int64_t kEnd)
{
    static_assert(!Record || (Delayed && Last >= 1));
    constexpr bool kLookup = Method == RetardationMethod::HistoryLookup;
    RunValues& run = result.values;
    const PassConstants pc(state);
    HistoryLookup lookup;
    if constexpr (kLookup)
        lookup.prime(state.hist, pc.dt);
    PassCarry carry(state);
    Countdown display{kDisplayInterval}, plot{run.sampleInterval};
    const std::int64_t sampleEvery = host.sampleEvery(run);
    Countdown sample{sampleEvery > 0 ? sampleEvery : 1};
    const bool plotOn = state.scenarioCode == Scenario::TwoBlackHoles;
    const bool sampleOn = sampleEvery > 0;
    const bool mercury = state.scenarioCode == Scenario::Mercury;
    DelayStats record;
    const auto showDelays = [&] { ShowDelays(carry.tau10, carry.tau20, pc.dt, Last, result); };

    for (std::int64_t k = 0; k <= kEnd; ++k) {
        if (state.stopFlag == StopRequest::Stop) {
            result.ended = RunEnd::Stopped;
            break;
        }
        std::int64_t quiet = display.left;
        if (plotOn)
            quiet = std::min(quiet, plot.left);
        if (sampleOn)
            quiet = std::min(quiet, sample.left);
        const std::int64_t first = k;
        ClearUpperVectorHalves();
        const StretchEnd end = RunStretch<Last, Delayed, Method, Record>(
            state, pc, lookup, carry, record, mercury, k, quiet < kEnd - k ? k + quiet : kEnd);
        k = end.k;
        if (end.failed) [[unlikely]] {
            double tau12 = 0;
            if constexpr (Record && !kLookup && Last == 2)
                tau12 = carry.sep[PairOf(1, 2)] / pc.c;
            if (const auto fault = NamedFault<Last, Delayed, Method>(state, pc, lookup, carry)) {
                result.ended = RunEnd::Fault;
                result.message = "Pass " + std::to_string(k) + ": " + PassFaultText(*fault, Delayed);
                if (k > first) {
                    run.k = k - 1;
                    result.passes = k;
                    result.lastPass = k - 1;
                }
                break;
            }
            // Committed after all: the rest of the pass as in the stretch, which ends here.
            if constexpr (kLookup)
                lookup.push<Last>(state.hist, pc.dt);
            if constexpr (Record)
                RecordDelays<Last, Method>(record, lookup, carry, tau12, pc.dt);
        }
        run.k = k;
        result.passes = k + 1;
        result.lastPass = k;
        // The countdowns over the passes before k, all of which they answered "not yet".
        display.skip(k - first);
        if (plotOn)
            plot.skip(k - first);
        if (sampleOn)
            sample.skip(k - first);

        if (!CallHost(state, host, result, showDelays, display, plot, sample, mercury, plotOn, sampleOn))
            break;
    }
    showDelays();
    if constexpr (Record)
        host.delayRecord(record);
}

// The main loop of a run whose thread has a LaneDriver: it hands its quiet passes to the
// driver and computes a pass itself only when the driver gives it back for one.
template <int Last, bool Delayed, RetardationMethod Method>
void RunPassesInLanes(SimState& state, RunHost& host, RunResult& result, std::int64_t kEnd)
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
    LaneDriver* lanes = CurrentLaneDriver();

    for (std::int64_t k = 0; k <= kEnd; ++k) {
        if (state.stopFlag == StopRequest::Stop) {
            result.ended = RunEnd::Stopped;
            break;
        }
        bool committed = false;
        LaneRun laneRun{{Last, Delayed, Method}, &state, &pc, &lookup, &carry,
                        &display, &plot, &sample,
                        state.scenarioCode == Scenario::TwoBlackHoles, sampleEvery > 0,
                        state.scenarioCode == Scenario::Mercury, k, kEnd, false};
        if (lanes && lanes->advance(laneRun)) {
            // The passes before k were committed in the lanes, quietly.
            if (laneRun.k > k) {
                run.k = laneRun.k - 1;
                result.passes = laneRun.k;
                result.lastPass = laneRun.k - 1;
            }
            k = laneRun.k;
            committed = laneRun.committed;
        } else {
            lanes = nullptr;
        }
        if (!committed) {
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
        }
        run.k = k;
        result.passes = k + 1;
        result.lastPass = k;

        if (!CallHost(state, host, result, showDelays, display, plot, sample,
                      state.scenarioCode == Scenario::Mercury,
                      state.scenarioCode == Scenario::TwoBlackHoles, sampleEvery > 0))
            break;
    }
    showDelays();
}

using PassLoop = void (*)(SimState&, RunHost&, RunResult&, std::int64_t);

template <int Last>
PassLoop PickLoop(bool delayed, RetardationMethod method, bool record)
{
    using enum RetardationMethod;
    if constexpr (Last >= 1)
        if (record && delayed)
            return method == HistoryLookup ? &RunPasses<Last, true, HistoryLookup, true>
                                           : &RunPasses<Last, true, VelocityEstimate, true>;
    if (!(Last >= 1 && record && delayed) && CurrentLaneDriver()) {
        if (method == HistoryLookup)
            return delayed ? &RunPassesInLanes<Last, true, HistoryLookup>
                           : &RunPassesInLanes<Last, false, HistoryLookup>;
        return delayed ? &RunPassesInLanes<Last, true, VelocityEstimate>
                       : &RunPassesInLanes<Last, false, VelocityEstimate>;
    }
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

    result.ended = RunEnd::Completed;
    if (setup.integration) {
        RunIntegrationPasses(state, host, result, setup.lastPass, *setup.integration,
                             setup.model.integrator != Integrator::Euler,
                             setup.model.integrator == Integrator::Euler
                                 && setup.method == RetardationMethod::HistoryLookup);
        host.setEndCaption("End");
        return result;
    }
    const int last = run.nLast;
    // The instantaneous law is the panel's loop without a delay.
    const bool delayed = state.c > 0 && setup.model.forceLaw == ForceLaw::Retarded;
    const bool record = host.recordDelays();
    const PassLoop loop = last <= 0 ? PickLoop<0>(delayed, setup.method, record)
        : last == 1                 ? PickLoop<1>(delayed, setup.method, record)
                                    : PickLoop<2>(delayed, setup.method, record);
    loop(state, host, result, setup.lastPass);
    // Without a delay, or without a pair, every delay is 0 steps.
    if (record && !(delayed && last >= 1))
        host.delayRecord(DelayStats{});
    host.setEndCaption("End");
    return result;
}

} // namespace gravlag
