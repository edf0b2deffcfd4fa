#pragma once
// The pass of the main loop, compiled once for each number of bodies and retardation
// method. It computes what ComputePass computes, operation for operation and
// in the same order, so every result is the same to the last bit; what it leaves out is
// the branching. Every check that could end the run is folded into one flag, and a pass
// that raises it is left uncommitted, to be computed again by ComputePass, which names the
// fault. Values that a pass shares with the next are carried over instead of recomputed:
// the separation of bodies 0 and 1 after the move (the next pass's first pair) and the
// one-step slopes of the position histories.

#include <bit>
#include <cmath>
#include <cstdint>

#include "core/sim_state.h"

namespace gravlag {

// One-step slopes of the position histories, (entry h+1 - entry h) / dt for h = 0..19, in
// a ring that shares the history's head: after a push only the slope at h = 0 is new.
class SlopeRing {
public:
    static constexpr unsigned kMask = PositionHistory::kRing - 1u;

    void prime(const PositionHistory& hist, double dt)
    {
        for (int b = 0; b < kBodies; ++b)
            for (int h = 0; h + 1 < kHistoryEntries; ++h) {
                const unsigned slot = (hist.head() + static_cast<unsigned>(h)) & kMask;
                xs_[b][slot] = (hist.x(b, h + 1) - hist.x(b, h)) / dt;
                ys_[b][slot] = (hist.y(b, h + 1) - hist.y(b, h)) / dt;
            }
    }
    // After hist.push: the slope between the new entry 0 and the one before it.
    template <int Last>
    void push(const PositionHistory& hist, double dt)
    {
        const unsigned head = hist.head();
        for (int b = 0; b <= Last; ++b) {
            xs_[b][head] = (hist.x(b, 1) - hist.x(b, 0)) / dt;
            ys_[b][head] = (hist.y(b, 1) - hist.y(b, 0)) / dt;
        }
    }
    const double* xRing(int body) const { return xs_[body]; }
    const double* yRing(int body) const { return ys_[body]; }

private:
    double xs_[kBodies][PositionHistory::kRing] = {};
    double ys_[kBodies][PositionHistory::kRing] = {};
};

// The delay of each ordered pair in whole steps, floor(tau / dt), as the last pass found it,
// with its product n * dt.
struct DelaySteps {
    double n[kBodies][kBodies] = {};
    double nDt[kBodies][kBodies] = {};
    explicit DelaySteps(double dt)
    {
        for (auto& row : nDt)
            for (double& v : row)
                v = 0.0 * dt;
    }
};

// What stays the same from pass to pass within one run.
struct PassConstants {
    double c = 0, dt = 0;
    double gm[kBodies] = {};  // gConst * mass(j), the numerator of every force from j
    double nDelayNow = 0;     // floor(0 / dt): the delay in steps when c <= 0
};

// The separation of bodies 0 and 1 as the last pass left them: (x1 - x0)^2 + (y1 - y0)^2,
// which is the same double as (x0 - x1)^2 + (y0 - y1)^2.
struct PairCarry {
    double squared = 0, distance = 0;
};

// One pass for bodies 0..Last. Delayed: c > 0; Lookup: "Prediction" 1. On success the pass
// is committed to the state (bodies, forces, retarded positions, histories, the separation
// history) and the delays of bodies 1 and 2 from body 0 in steps are written to delay21 and
// delay31; returns false, changing nothing, when the pass needs the plain routine.
template <int Last, bool Delayed, bool Lookup>
inline bool FastPass(SimState& s, const PassConstants& pc, const SlopeRing& slopes,
                     DelaySteps& steps, PairCarry& carry, double& delay21, double& delay31)
{
    constexpr int N = Last + 1;
    const double c = pc.c, dt = pc.dt;
    bool ok = true;

    double sepSq[kBodies][kBodies] = {}, sep[kBodies][kBodies] = {}, tau[kBodies][kBodies] = {};
#pragma GCC unroll 3
    for (int i = 0; i < N; ++i)
#pragma GCC unroll 3
        for (int j = i + 1; j < N; ++j) {
            if (i == 0 && j == 1) {
                sepSq[0][1] = carry.squared;
                sep[0][1] = carry.distance;
            } else {
                const double ex = s.x[i] - s.x[j], ey = s.y[i] - s.y[j];
                sepSq[i][j] = ex * ex + ey * ey;
                sep[i][j] = std::sqrt(sepSq[i][j]);
            }
            sepSq[j][i] = sepSq[i][j];
            sep[j][i] = sep[i][j];
            tau[i][j] = tau[j][i] = Delayed ? sep[i][j] / c : 0.0;
        }

    double fx[kBodies], fy[kBodies], xRet[kBodies], yRet[kBodies];
#pragma GCC unroll 3
    for (int j = 0; j < kBodies; ++j) {
        xRet[j] = s.xRet[j];
        yRet[j] = s.yRet[j];
    }
    const unsigned head = s.hist.head();
    constexpr unsigned kMask = SlopeRing::kMask;
#pragma GCC unroll 3
    for (int i = 0; i < N; ++i) {
        fx[i] = 0;
        fy[i] = 0;
    #pragma GCC unroll 3
        for (int j = 0; j < N; ++j) {
            if (j == i)
                continue;
            const double t = tau[i][j];
            double nDelay;
            if constexpr (Lookup) {
                const double* xh = s.hist.xRing(j);
                const double* yh = s.hist.yRing(j);
                // The delay in steps rarely changes from pass to pass: compared with the last
                // pass's, so that the lookup need not wait for the division (the branch is
                // predicted), and taken over when it changed.
                const double nNow = std::floor(t / dt);
                if (std::bit_cast<std::uint64_t>(nNow) != std::bit_cast<std::uint64_t>(steps.n[i][j]))
                    [[unlikely]] {
                    steps.n[i][j] = nNow;
                    steps.nDt[i][j] = nNow * dt;
                }
                const double n = steps.n[i][j];
                ok &= n >= 0;
                if (n < 20) {
                    // A negative n reads entry 0 here; the pass is then redone plainly.
                    const unsigned h = n >= 0 ? static_cast<unsigned>(n) : 0u;
                    const double frac = t - steps.nDt[i][j];
                    xRet[j] = xh[(head + h) & kMask] + slopes.xRing(j)[(head + h) & kMask] * frac;
                    yRet[j] = yh[(head + h) & kMask] + slopes.yRing(j)[(head + h) & kMask] * frac;
                } else {
                    xRet[j] = xh[(head + 20u) & kMask] + slopes.xRing(j)[(head + 19u) & kMask] * (t - 20 * dt);
                    yRet[j] = yh[(head + 20u) & kMask] + slopes.yRing(j)[(head + 19u) & kMask] * (t - 20 * dt);
                }
                nDelay = n;
            } else {
                xRet[j] = s.x[j] - s.vx[j] * t;
                yRet[j] = s.y[j] - s.vy[j] * t;
                nDelay = Delayed ? std::floor(t / dt) : pc.nDelayNow;
            }
            if ((i == 1 || i == 2) && j == 0) {
                ok &= std::isfinite(nDelay);
                (i == 2 ? delay31 : delay21) = nDelay;
            }
            const double dx = s.x[i] - xRet[j], dy = s.y[i] - yRet[j];
            const double r2 = t == 0 ? sepSq[i][j] : dx * dx + dy * dy;
            const double r = t == 0 ? sep[i][j] : std::sqrt(r2);
            const double r3 = r2 * r;
            ok &= r3 != 0;
            ok &= std::isfinite(t);
            ok &= std::isfinite(r3);
            const double f = pc.gm[j] / r3;
            fx[i] = fx[i] + f * dx;
            fy[i] = fy[i] + f * dy;
        }
        // A partial sum that overflows leaves the final sum non-finite, so checking the
        // final one checks them all.
        ok &= std::isfinite(fx[i]);
        ok &= std::isfinite(fy[i]);
    }

    double x[kBodies], y[kBodies], vx[kBodies], vy[kBodies];
#pragma GCC unroll 3
    for (int i = 0; i < kBodies; ++i) {
        x[i] = s.x[i];
        y[i] = s.y[i];
    }
#pragma GCC unroll 3
    for (int i = 0; i < N; ++i) {
        vx[i] = s.vx[i] - dt * fx[i];
        vy[i] = s.vy[i] - dt * fy[i];
        x[i] = x[i] + dt * vx[i];
        y[i] = y[i] + dt * vy[i];
        ok &= std::isfinite(vx[i]);
        ok &= std::isfinite(vy[i]);
        ok &= std::isfinite(x[i]);
        ok &= std::isfinite(y[i]);
    }
    const double sx = x[1] - x[0], sy = y[1] - y[0];
    const double sep0Squared = sx * sx + sy * sy;
    const double sep0 = std::sqrt(sep0Squared);
    ok &= std::isfinite(sep0);
    if (!ok)
        return false;

#pragma GCC unroll 3
    for (int i = 0; i < N; ++i) {
        s.x[i] = x[i];
        s.y[i] = y[i];
        s.vx[i] = vx[i];
        s.vy[i] = vy[i];
        s.fx[i] = fx[i];
        s.fy[i] = fy[i];
        if constexpr (Last > 0) {
            s.xRet[i] = xRet[i];
            s.yRet[i] = yRet[i];
        }
    }
    // Bodies above the last active one stand still, so shifting their history is the same
    // as rewriting its entry 0.
    s.hist.push(s.x, s.y);
#pragma GCC unroll 4
    for (int h = kSepEntries - 1; h >= 1; --h)
        s.sepHist[h] = s.sepHist[h - 1];
    s.sepHist[0] = sep0;
    carry = {sep0Squared, sep0};
    return true;
}

} // namespace gravlag
