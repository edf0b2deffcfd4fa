#include "core/run.h"

#include <cmath>

#include "core/apsis.h"
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

    const int last = static_cast<int>(run.nLast);
    const bool fromHistory = setup.fromHistory;
    const std::int64_t kEnd = setup.lastPass;
    const std::int64_t sampleEvery = host.sampleEvery(run);

    result.ended = RunEnd::Completed;
    for (std::int64_t k = 0; k <= kEnd; ++k) {
        if (state.stopFlag == 1) {
            result.ended = RunEnd::Stopped;
            break;
        }
        PassResult p = ComputePass(state, last, fromHistory);
        double sep0 = 0;
        if (p.fault.empty()) {
            const double sx = p.x[1] - p.x[0], sy = p.y[1] - p.y[0];
            sep0 = std::sqrt(sx * sx + sy * sy);
            if (!Finite(sep0))
                p.fault = "overflow in the distance of body 1 and body 2";
        }
        if (!p.fault.empty()) {
            result.ended = RunEnd::Fault;
            result.message = "Pass " + std::to_string(k) + ": " + p.fault;
            break;
        }
        // Commit the pass.
        state.x = p.x;
        state.y = p.y;
        state.vx = p.vx;
        state.vy = p.vy;
        state.fx = p.fx;
        state.fy = p.fy;
        state.xRet = p.xRet;
        state.yRet = p.yRet;
        if (p.delay21)
            run.delay21 = p.delay21;
        if (p.delay31)
            run.delay31 = p.delay31;
        // Bodies above the last active one stand still, so shifting their history is the
        // same as rewriting its entry 0.
        state.hist.push(state.x, state.y);
        for (int h = kSepEntries - 1; h >= 1; --h)
            state.sepHist[static_cast<unsigned>(h)] = state.sepHist[static_cast<unsigned>(h - 1)];
        state.sepHist[0] = sep0;
        run.k = k;
        result.passes = k + 1;
        result.lastPass = k;

        if (state.scenarioCode == 1 && IsApsis(state.sepHist)) {
            const ApsisEvent e = MeasureApsis(state);
            RunValues next = run;
            next.apsisCount = run.apsisCount + 1;
            next.parabA = e.parabA;
            next.parabB = e.parabB;
            next.apsisOffset = e.apsisOffset;
            next.apsisAngle = e.apsisAngle;
            AddApsisToFit(next, e.apsisAngle);
            if (!Finite(e.apsisOffset) || !Finite(e.apsisAngle) || !Finite(*next.fitA)
                || !Finite(*next.fitB) || !Finite(*next.predAngle)) {
                result.ended = RunEnd::Fault;
                result.message = "Pass " + std::to_string(k)
                    + ": overflow or division by zero in the apsis measurement";
                break;
            }
            run = std::move(next);
            host.apsisEvent(state, run);
        }
        if (k % kDisplayInterval == 0)
            host.displayUpdate(state, run);
        if (state.scenarioCode == 0 && k % run.sampleInterval == 0)
            host.timePlot(state, run);
        if (sampleEvery > 0 && k % sampleEvery == 0)
            host.samplePass(state, run);
    }
    host.setEndCaption("End");
    return result;
}

} // namespace gravlag
