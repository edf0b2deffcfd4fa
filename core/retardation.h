#pragma once
// How a pass finds where a source body was tau ago: by its current velocity ("Prediction"
// 0), or from its position history ("Prediction" 1): linear interpolation between the two
// entries that bracket the retarded time, linear extrapolation from the two oldest entries
// beyond the history's span.

#include <bit>
#include <cmath>
#include <cstdint>

#include "core/sim_state.h"

namespace gravlag {

// "Prediction" 1 is the history lookup; any other number the velocity estimate.
enum class RetardationMethod { VelocityEstimate, HistoryLookup };

inline constexpr int kHistorySpan = kHistoryEntries - 1; // steps back to the oldest entry

// The history lookup of one run. Beside the position history it keeps the one-step slopes
// of every body's history, (entry h+1 - entry h) / dt, in a ring that shares the history's
// head, so that a lookup reads its slope instead of dividing for it and a pass computes one
// new slope per body; and for each pair of bodies the delay in whole steps its last lookup
// found, with its product by dt.
class HistoryLookup {
public:
    static constexpr unsigned kMask = PositionHistory::kRing - 1u;

    // At a run's start: the slopes of the whole history, no delay found yet.
    void prime(const PositionHistory& hist, double dt);
    // After hist.push: the slopes between the new entry 0 and the one before it, bodies 0..Last.
    template <int Last>
    void push(const PositionHistory& hist, double dt)
    {
        const unsigned head = hist.head();
        for (int b = 0; b <= Last; ++b) {
            xSlope_[b][head] = (hist.x(b, 1) - hist.x(b, 0)) / dt;
            ySlope_[b][head] = (hist.y(b, 1) - hist.y(b, 0)) / dt;
        }
    }

    // Where body j was tau ago (n = floor(tau / dt) whole steps, the rest frac = tau - n * dt),
    // or not found for a body outside 0..2 or a delay that lies after entry 0 (a negative
    // tau / dt, or NaN): no entry answers those. `pair` (0..2) names the pair of bodies whose
    // delay tau is: its n rarely changes from pass to pass, so the last one is compared with
    // the new quotient instead of waited for (the branch is predicted), n * dt kept with it.
    // The delay of `pair` in whole steps that its last lookup found.
    double steps(int pair) const { return n_[pair]; }

    struct Position {
        bool found;
        double x, y;
    };
    Position RetardedPosition(int j, int pair, double tau, double dt, const PositionHistory& hist)
    {
        if (j < 0 || j >= kBodies || pair < 0 || pair >= kBodies)
            return {false, 0, 0};
        const double nNow = std::floor(tau / dt);
        if (std::bit_cast<std::uint64_t>(nNow) != std::bit_cast<std::uint64_t>(n_[pair]))
            [[unlikely]] {
            n_[pair] = nNow;
            nDt_[pair] = nNow * dt;
        }
        const double n = n_[pair];
        if (!(n >= 0)) [[unlikely]]
            return {false, 0, 0};
        const double* xh = hist.xRing(j);
        const double* yh = hist.yRing(j);
        const Place p = PlaceOf(tau, n, nDt_[pair], kHistorySpan * dt, hist.head());
        return {true, xh[p.at] + xSlope_[j][p.slope] * p.by, yh[p.at] + ySlope_[j][p.slope] * p.by};
    }

    // Where a lookup finds a source tau ago, n = floor(tau / dt) whole steps back (nDt = n * dt,
    // spanDt = kHistorySpan * dt): the entry it starts from, the entry whose slope it goes
    // back along, and how far. Within the history's span that is entry n and its own slope,
    // by the rest of tau; beyond it the oldest entry, back along the slope before it.
    struct Place {
        unsigned at, slope;
        double by;
    };
    static Place PlaceOf(double tau, double n, double nDt, double spanDt, unsigned head)
    {
        if (n < kHistorySpan) [[likely]] {
            const unsigned h = (head + static_cast<unsigned>(n)) & kMask;
            return {h, h, tau - nDt};
        }
        constexpr auto kOldest = static_cast<unsigned>(kHistorySpan);
        return {(head + kOldest) & kMask, (head + kOldest - 1u) & kMask, tau - spanDt};
    }

    // Sweep lanes keep the slopes and the pairs' delays meanwhile and write them back.
    double* xSlopes(int body) { return xSlope_[body]; }
    double* ySlopes(int body) { return ySlope_[body]; }
    void setSteps(int pair, double n, double nDt)
    {
        n_[pair] = n;
        nDt_[pair] = nDt;
    }

private:
    double xSlope_[kBodies][PositionHistory::kRing] = {};
    double ySlope_[kBodies][PositionHistory::kRing] = {};
    double n_[kBodies] = {};   // per pair: floor(tau / dt) of its last lookup
    double nDt_[kBodies] = {}; // per pair: n * dt
};

} // namespace gravlag
