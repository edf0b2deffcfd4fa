#include "core/run.h"

#include <cmath>
#include <limits>

#include "core/apsis.h"
#include "core/line_fit.h"
#include "core/place_pair.h"
#include "core/retardation.h"
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

std::string BodyName(int i) { return "body " + std::to_string(i + 1); }

bool Finite(double v) { return std::isfinite(v); }

} // namespace

PassResult ComputePass(const SimState& s, int last, bool fromHistory)
{
    PassResult p;
    p.xRet = s.xRet;
    p.yRet = s.yRet;
    p.fx = s.fx;
    p.fy = s.fy;
    const double c = s.c, dt = s.dt;
    // The current separation of a pair and its delay do not depend on which body is the
    // target: (x(i) - x(j))^2 and (x(j) - x(i))^2 are the same double. Computed once a pair.
    double sepSquared[kBodies][kBodies] = {}, sep[kBodies][kBodies] = {}, delay[kBodies][kBodies] = {};
    for (int i = 0; i <= last; ++i)
        for (int j = i + 1; j <= last; ++j) {
            const auto ui = static_cast<unsigned>(i), uj = static_cast<unsigned>(j);
            const double ex = s.x[ui] - s.x[uj], ey = s.y[ui] - s.y[uj];
            sepSquared[i][j] = sepSquared[j][i] = ex * ex + ey * ey;
            sep[i][j] = sep[j][i] = std::sqrt(sepSquared[i][j]);
            delay[i][j] = delay[j][i] = c > 0 ? sep[i][j] / c : 0.0;
        }
    for (int i = 0; i <= last; ++i) {
        const auto ui = static_cast<unsigned>(i);
        p.fx[ui] = 0;
        p.fy[ui] = 0;
        for (int j = 0; j <= last; ++j) {
            if (j == i)
                continue;
            const auto uj = static_cast<unsigned>(j);
            const double tau = delay[i][j];
            p.xRet[uj] = s.x[uj] - s.vx[uj] * tau;
            p.yRet[uj] = s.y[uj] - s.vy[uj] * tau;
            if (fromHistory
                && !RetardedPosition(j, XHistory(s.hist, j), YHistory(s.hist, j), tau, dt, p.xRet,
                                     p.yRet)) {
                p.fault = "the history lookup of " + BodyName(j) + " as seen from " + BodyName(i)
                    + " has no entry for its delay";
                return p;
            }
            if ((i == 1 || i == 2) && j == 0) {
                const double nDelay = std::floor(tau / dt);
                if (!Finite(nDelay)) {
                    p.fault = "overflow: the delay of " + BodyName(i) + " from " + BodyName(0)
                        + " in time steps is beyond range (c too small for dt)";
                    return p;
                }
                (i == 2 ? p.delay31 : p.delay21) = nDelay;
            }
            const double dx = s.x[ui] - p.xRet[uj], dy = s.y[ui] - p.yRet[uj];
            // Without a delay the retarded position is the current one to the last bit
            // (x - v*0 and h0 + s*0 give x back), so its distance is the one just taken.
            const double r2 = tau == 0 ? sepSquared[i][j] : dx * dx + dy * dy;
            const double r = tau == 0 ? sep[i][j] : std::sqrt(r2);
            const double r3 = r2 * r;
            if (r3 == 0) {
                p.fault = "division by zero: " + BodyName(i) + " and the "
                    + (c > 0 ? "retarded " : "") + "position of " + BodyName(j) + " coincide";
                return p;
            }
            const double f = s.gConst * s.mass[uj] / r3;
            p.fx[ui] = p.fx[ui] + f * dx;
            p.fy[ui] = p.fy[ui] + f * dy;
            if (!Finite(tau) || !Finite(r3) || !Finite(p.fx[ui]) || !Finite(p.fy[ui])) {
                p.fault = "overflow in the force on " + BodyName(i) + " from " + BodyName(j);
                return p;
            }
        }
    }
    p.x = s.x;
    p.y = s.y;
    p.vx = s.vx;
    p.vy = s.vy;
    for (int i = 0; i <= last; ++i) {
        const auto ui = static_cast<unsigned>(i);
        p.vx[ui] = p.vx[ui] - dt * p.fx[ui];
        p.vy[ui] = p.vy[ui] - dt * p.fy[ui];
        p.x[ui] = p.x[ui] + dt * p.vx[ui];
        p.y[ui] = p.y[ui] + dt * p.vy[ui];
        if (!Finite(p.vx[ui]) || !Finite(p.vy[ui]) || !Finite(p.x[ui]) || !Finite(p.y[ui])) {
            p.fault = "overflow in the motion of " + BodyName(i);
            return p;
        }
    }
    return p;
}

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
    }
    host.setEndCaption("End");
    return result;
}

} // namespace gravlag
