#pragma once
// The pass of the main loop, in four phases: the separations and delays of the pairs
// (PassDelays), the pull on each target from its sources' retarded positions (PassForces),
// semi-implicit Euler and the separations after the move (PassStep), then the state, the
// histories and the carry (PassCommit). OnePass is compiled for each number of bodies
// (0..Last take part), for c > 0 or not and for each retardation method, so that a pass
// branches on none of them. It computes the pass apart from the state and commits it only
// when its checks hold, so that a fault leaves the state as the last completed pass left it.
//
// The run computes each pass with folded checks, which only lower one flag. A pass that
// lowers it is computed once more by the same code with naming checks, which keep the first
// failure in the order of the formulas: that is the fault.
//
// What makes it fast without changing a bit: what a pass shares with the next is carried
// over (separations after the move; for the history lookup its slopes and its delays in whole
// steps); the delays shown as "t 21" and "t 31" are divided out only when something shows
// them, their range checked by comparing tau with a bound found once per run; the roots and
// quotients of a target's two sources, and of two pairs, go two at a time (lanes.h).

#include <cfloat>
#include <cmath>
#include <optional>

#include "core/finite.h"
#include "core/lanes.h"
#include "core/pass_fault.h"
#include "core/retardation.h"
#include "core/sim_state.h"

namespace gravlag {

// The pair of bodies i != j (0..2): (0, 1) is 0, (0, 2) is 1, (1, 2) is 2.
constexpr int PairOf(int i, int j) { return i + j - 1; }

// The largest tau >= 0 for which tau / dt is finite, or -infinity when even 0 / dt is not.
// The quotient grows with tau, so for tau >= 0 (or NaN) floor(tau / dt) is finite exactly
// when tau <= this bound.
double LargestFiniteDelay(double dt);

// The checks of a pass, in the order of the formulas. Naming (NamesFault true), they keep
// the first that fails, with the bodies it concerns. Folded (false), they hold only when all
// checks hold, in few operations: the finite values go into one sum, which is finite only
// when each of them is (an overflow of the sum itself is a false alarm, and a pass that fails
// the folded checks is only computed again with naming checks); what the positions after
// the move imply is not tested again:
// - a new position x + dt * v is finite only when the new velocity v is (dt * inf and
//   dt * NaN are not finite, also for dt 0), and that velocity v - dt * f only when the
//   target's force sum f is;
// - a force gm / r3 from r3 = 0 is infinite or NaN, and so is its product with the
//   difference of the positions (inf * 0 is NaN), which makes the target's sum not finite;
// - a delay tau that is not finite makes the retarded position, and so r3, not finite.
template <bool NamesFault>
class PassChecks {
public:
    // The history lookup of source j for target i found an entry for its delay.
    void lookup(bool found, int i, int j) { expect(found, PassFaultKind::NoHistoryEntry, i, j); }
    // The delay of target i from body 0 in whole steps is finite: tau within their range.
    void delay(double tau, double maxDelay, int i)
    {
        expect(tau <= maxDelay, PassFaultKind::DelayOverflow, i, 0);
    }
    // The force of source j on target i: r3 not 0, then r3, tau and the target's sums after
    // adding the force finite. Folded: r3 finite (the rest follows from the new positions),
    // unless `r3Seen`: the same r3 went into the sum already (without a delay both bodies of
    // a pair divide by the same r3).
    void force(double tau, double r3, double fx, double fy, int i, int j, bool r3Seen = false)
    {
        if constexpr (NamesFault) {
            expect(r3 != 0, PassFaultKind::Coincide, i, j);
            expect(Finite(tau, r3, fx, fy), PassFaultKind::ForceOverflow, i, j);
        } else if (!r3Seen) {
            sum_ = sum_ + r3;
        }
    }
    // The new velocity and position of body i finite. Folded: the position.
    void motion(double vx, double vy, double x, double y, int i)
    {
        if constexpr (NamesFault) {
            expect(Finite(vx, vy, x, y), PassFaultKind::MotionOverflow, i);
        } else {
            sum_ = sum_ + x;
            sum_ = sum_ + y;
        }
    }
    // The new distance of bodies 0 and 1 finite.
    void distance(double sep0)
    {
        if constexpr (NamesFault)
            expect(Finite(sep0), PassFaultKind::DistanceOverflow);
        else
            sum_ = sum_ + sep0;
    }

    bool ok() const
    {
        if constexpr (NamesFault)
            return ok_;
        else
            return ok_ & (std::fabs(sum_) <= DBL_MAX);
    }
    const PassFault& fault() const { return fault_; }

private:
    void expect(bool holds, PassFaultKind kind, int target = 0, int source = 0)
    {
        if constexpr (NamesFault)
            if (!holds && ok_)
                fault_ = {kind, target, source};
        ok_ &= holds;
    }

    bool ok_ = true;
    double sum_ = 0; // folded: the finite values' sum, NaN or infinite when one is not finite
    PassFault fault_{};
};

// What stays the same from pass to pass within one run.
struct PassConstants {
    double c = 0, dt = 0;
    double gm[kBodies] = {}; // kGConst * mass(j): the numerator of every force from j
    double maxDelay = 0;     // LargestFiniteDelay(dt): the range of the shown delays
    explicit PassConstants(const SimState& s);
};

// What a pass leaves for the next and for the shown delays.
struct PassCarry {
    // The separations of the pairs (0, 1), (0, 2), (1, 2) after the last pass's move, squared
    // and plain: (x0 - x1)^2 + (y0 - y1)^2 and so on.
    double sepSquared[kBodies] = {}, sep[kBodies] = {};
    double tau10 = 0, tau20 = 0; // the delays of targets 1 and 2 from body 0 in the last pass
    explicit PassCarry(const SimState& s);
};

// A delay in whole steps, as "t 21" and "t 31" show it.
inline double DelayInSteps(double tau, double dt) { return std::floor(tau / dt); }

// The separations of the pairs of bodies 0..Last, and always (0, 1), which the separation
// history keeps: x(i) - x(j) with i < j, squared and plain.
template <int Pairs>
[[gnu::always_inline]] inline void Separations(const double* x, const double* y, double* squared,
                                               double* distance)
{
    constexpr int kFirst[kBodies] = {0, 0, 1}, kSecond[kBodies] = {1, 2, 2};
#pragma GCC unroll 3
    for (int p = 0; p < Pairs; ++p) {
        const double ex = x[kFirst[p]] - x[kSecond[p]], ey = y[kFirst[p]] - y[kSecond[p]];
        squared[p] = ex * ex + ey * ey;
    }
    if constexpr (Pairs == 3) {
        const DoublePair r = SqrtOfBoth(squared[0], squared[1]);
        distance[0] = r.first;
        distance[1] = r.second;
        distance[2] = std::sqrt(squared[2]);
    } else {
        distance[0] = std::sqrt(squared[0]);
    }
}

// How many pairs' separations a pass takes from the last pass's carry rather than from the
// positions now. With a delay by velocity the delays wait for no load when all separations
// come from the last pass, which measured them after its move; otherwise pair (0, 1) comes
// from there and the others from the positions now. Each is the faster way for its passes.
template <int Last, bool Delayed, RetardationMethod Method>
constexpr int kCarriedPairs =
    Delayed && Method != RetardationMethod::HistoryLookup && Last == 2 ? 3 : 1;

// The retarded position of a source at x moving at v, tau ago, estimated along its velocity.
[[gnu::always_inline]] inline double AlongVelocity(double x, double v, double tau)
{
    return x - v * tau;
}

// Whether `Bodies` form the retarded positions of a pass without a delay themselves, from
// the positions and velocities the pass began with (xFrom, yFrom, vxFrom, vyFrom, which the
// commit then sets), when they are asked for: a main loop that keeps the bodies in locals
// leaves them out of its passes. Without a delay x - v*0 is x but for the sign of a zero,
// and kept in the state, so that it is still taken, once, as the pass would take it.
template <class Bodies>
constexpr bool kFormsRetardedLater = requires { requires Bodies::kFormsRetardedLater; };
// A pass that leaves them so: without a delay, by velocity, on such bodies.
template <bool Delayed, RetardationMethod Method, class Bodies>
constexpr bool kRetardedLater =
    !Delayed && Method != RetardationMethod::HistoryLookup && kFormsRetardedLater<Bodies>;

// The pairs at the start of a pass, indexed by PairOf.
struct PassPairs {
    double sepSq[kBodies] = {}, sep[kBodies] = {}; // separation squared and plain
    double tau[kBodies] = {};                      // delay: separation / c, 0 without one
    double ex[kBodies] = {}, ey[kBodies] = {}; // without a delay: x(i) - x(j), i < j
};

// The pull on each target (fx, fy: the force per unit mass, pointing from the source) and
// the source positions it was computed from. Only the active bodies' entries are set.
struct PassPull {
    double fx[kBodies], fy[kBodies], xRet[kBodies], yRet[kBodies];
};

// The bodies after the move, not yet committed, and the separations of the carried pairs.
struct PassMotion {
    double x[kBodies], y[kBodies], vx[kBodies], vy[kBodies];
    double sepSquared[kBodies], sep[kBodies];
};

// Separations and delays of the pairs from the positions at the start of the pass, the
// carried ones from `carry`: (x(i) - x(j))^2 and (x(j) - x(i))^2 are the same double, so once
// a pair.
template <int Last, bool Delayed, RetardationMethod Method, class Bodies>
[[gnu::always_inline]] inline void PassDelays(const Bodies& s, const PassConstants& pc,
                                              const PassCarry& carry, PassPairs& pairs)
{
    constexpr int N = Last + 1;
    constexpr int kCarried = kCarriedPairs<Last, Delayed, Method>;
#pragma GCC unroll 3
    for (int p = 0; p < kCarried; ++p) {
        pairs.sepSq[p] = carry.sepSquared[p];
        pairs.sep[p] = carry.sep[p];
    }
    if constexpr (!Delayed && N >= 2) {
        // The differences the forces take (PassForces), pair (0, 1)'s too.
        pairs.ex[0] = s.x[0] - s.x[1];
        pairs.ey[0] = s.y[0] - s.y[1];
    }
    if constexpr (kCarried == 1 && N == 3) {
#pragma GCC unroll 2
        for (int i = 0; i < 2; ++i) {
            const double ex = s.x[i] - s.x[2], ey = s.y[i] - s.y[2];
            pairs.sepSq[PairOf(i, 2)] = ex * ex + ey * ey;
            pairs.ex[PairOf(i, 2)] = ex;
            pairs.ey[PairOf(i, 2)] = ey;
        }
        const DoublePair r = SqrtOfBoth(pairs.sepSq[1], pairs.sepSq[2]);
        pairs.sep[1] = r.first;
        pairs.sep[2] = r.second;
    }
    if constexpr (Delayed && N >= 2) {
        const double c = pc.c;
        pairs.tau[0] = pairs.sep[0] / c;
        if constexpr (N == 3) {
            const DoublePair t = QuotientsOfBoth(pairs.sep[1], pairs.sep[2], c, c);
            pairs.tau[1] = t.first;
            pairs.tau[2] = t.second;
        }
    }
}

// The pull on each target i from its sources j in ascending order, each at its retarded
// position (by the history lookup or back along its velocity), with the checks in the order
// of the formulas. The roots and quotients of a target's two sources go together.
template <int Last, bool Delayed, RetardationMethod Method, class Bodies, class Checks>
[[gnu::always_inline]] inline void PassForces(const Bodies& s, const PassConstants& pc,
                                              HistoryLookup& lookup, const PassPairs& pairs,
                                              Checks& checks, PassPull& pull)
{
    constexpr int N = Last + 1;
    constexpr bool kLookup = Method == RetardationMethod::HistoryLookup;
    constexpr int M = N > 1 ? N - 1 : 1; // sources per target
    // Without a delay by velocity, the difference of target and source is the pair's,
    // x(i) - x(j) for i < j, and its negative taken as a subtraction for i > j. That is
    // x(i) - (x(j) - v*0) but for the sign of a zero: x - v*0 is x for finite v (every
    // committed v is, and so is every start), except that -0 - v*0 is +0 for v < 0; and
    // x(i) - x(j) is -(x(j) - x(i)) except for the sign of 0. The sign of a zero term is lost
    // in the target's sum, which starts from +0: +0 + -0 is +0, and a zero added to or taken
    // from a non-zero sum leaves it. A non-finite term stays one either way, so the checks
    // see the same. The retarded position itself is still computed, for the state (here, or
    // by bodies that form it later: kFormsRetardedLater).
    constexpr bool kPairDifference = !Delayed && !kLookup;
    constexpr bool kLater = kRetardedLater<Delayed, Method, Bodies>;
    const double dt = pc.dt;
    const double* const tau = pairs.tau;
    double* const xRet = pull.xRet;
    double* const yRet = pull.yRet;
    if constexpr (!kLater) {
#pragma GCC unroll 3
        for (int j = 0; j < kBodies; ++j) {
            xRet[j] = s.xRet[j];
            yRet[j] = s.yRet[j];
        }
    }
#pragma GCC unroll 3
    for (int i = 0; i < N; ++i) {
        int source[M];
        double dx[M], dy[M], r2[M], r[M], r3[M], f[M];
        bool found[M] = {};
        int m = 0;
#pragma GCC unroll 3
        for (int j = 0; j < N; ++j) {
            if (j == i)
                continue;
            const double t = tau[PairOf(i, j)];
            if constexpr (kLookup) {
                const HistoryLookup::Position at =
                    lookup.RetardedPosition(j, PairOf(i, j), t, dt, s.hist);
                found[m] = at.found;
                xRet[j] = at.x;
                yRet[j] = at.y;
            } else if constexpr (!kLater) {
                xRet[j] = AlongVelocity(s.x[j], s.vx[j], t);
                yRet[j] = AlongVelocity(s.y[j], s.vy[j], t);
            }
            source[m] = j;
            if constexpr (kPairDifference) {
                dx[m] = pairs.ex[PairOf(i, j)];
                dy[m] = pairs.ey[PairOf(i, j)];
            } else {
                dx[m] = s.x[i] - xRet[j];
                dy[m] = s.y[i] - yRet[j];
            }
            // Without a delay the retarded position is the current one to the last bit, so its
            // distance is the one carried: x - v*0 gives x back for any finite v, and every
            // committed v is finite; the lookup's h0 + s*0 does only for a finite slope s.
            if constexpr (kLookup)
                r2[m] = t == 0 ? pairs.sepSq[PairOf(i, j)] : dx[m] * dx[m] + dy[m] * dy[m];
            else
                r2[m] = Delayed ? dx[m] * dx[m] + dy[m] * dy[m] : pairs.sepSq[PairOf(i, j)];
            r[m] = pairs.sep[PairOf(i, j)];
            ++m;
        }
        if constexpr (Delayed && N == 3) {
            const DoublePair root = SqrtOfBoth(r2[0], r2[1]);
            r[0] = kLookup && tau[PairOf(i, source[0])] == 0 ? r[0] : root.first;
            r[1] = kLookup && tau[PairOf(i, source[1])] == 0 ? r[1] : root.second;
        } else if constexpr (Delayed) {
#pragma GCC unroll 2
            for (m = 0; m < N - 1; ++m)
                r[m] = kLookup && tau[PairOf(i, source[m])] == 0 ? r[m] : std::sqrt(r2[m]);
        }
#pragma GCC unroll 2
        for (m = 0; m < N - 1; ++m)
            r3[m] = r2[m] * r[m];
        if constexpr (N == 3) {
            const DoublePair q = QuotientsOfBoth(pc.gm[source[0]], pc.gm[source[1]], r3[0], r3[1]);
            f[0] = q.first;
            f[1] = q.second;
        } else {
#pragma GCC unroll 2
            for (m = 0; m < N - 1; ++m)
                f[m] = pc.gm[source[m]] / r3[m];
        }
        pull.fx[i] = 0;
        pull.fy[i] = 0;
#pragma GCC unroll 2
        for (m = 0; m < N - 1; ++m) {
            const int j = source[m];
            const double t = tau[PairOf(i, j)];
            if constexpr (kLookup)
                checks.lookup(found[m], i, j);
            if (j == 0)
                checks.delay(t, pc.maxDelay, i);
            if (kPairDifference && j < i) {
                pull.fx[i] = pull.fx[i] - f[m] * dx[m];
                pull.fy[i] = pull.fy[i] - f[m] * dy[m];
            } else {
                pull.fx[i] = pull.fx[i] + f[m] * dx[m];
                pull.fy[i] = pull.fy[i] + f[m] * dy[m];
            }
            checks.force(t, r3[m], pull.fx[i], pull.fy[i], i, j, !Delayed && j < i);
        }
    }
}

// Semi-implicit Euler: the new velocity from the pull, then the new position from the new
// velocity; bodies above the last active one stand still. Then the separations after the
// move, which the next pass and the separation history take, with their checks.
template <int Last, bool Delayed, RetardationMethod Method, class Bodies, class Checks>
[[gnu::always_inline]] inline void PassStep(const Bodies& s, const PassConstants& pc,
                                            const PassPull& pull, Checks& checks,
                                            PassMotion& motion)
{
    constexpr int N = Last + 1;
    const double dt = pc.dt;
#pragma GCC unroll 3
    for (int i = 0; i < kBodies; ++i) {
        motion.x[i] = s.x[i];
        motion.y[i] = s.y[i];
    }
#pragma GCC unroll 3
    for (int i = 0; i < N; ++i) {
        motion.vx[i] = s.vx[i] - dt * pull.fx[i];
        motion.vy[i] = s.vy[i] - dt * pull.fy[i];
        motion.x[i] = motion.x[i] + dt * motion.vx[i];
        motion.y[i] = motion.y[i] + dt * motion.vy[i];
        checks.motion(motion.vx[i], motion.vy[i], motion.x[i], motion.y[i], i);
    }
    Separations<kCarriedPairs<Last, Delayed, Method>>(motion.x, motion.y, motion.sepSquared,
                                                      motion.sep);
    checks.distance(motion.sep[0]);
}

// Writes a checked pass into the state, its histories and what it carries to the next.
template <int Last, bool Delayed, RetardationMethod Method, class Bodies>
[[gnu::always_inline]] inline void PassCommit(Bodies& s, const PassPairs& pairs,
                                              const PassPull& pull, const PassMotion& motion,
                                              PassCarry& carry)
{
    constexpr int N = Last + 1;
    constexpr bool kLater = kRetardedLater<Delayed, Method, Bodies>;
#pragma GCC unroll 3
    for (int i = 0; i < N; ++i) {
        if constexpr (Last > 0 && kLater) {
            s.xFrom[i] = s.x[i];
            s.yFrom[i] = s.y[i];
            s.vxFrom[i] = s.vx[i];
            s.vyFrom[i] = s.vy[i];
        }
        s.x[i] = motion.x[i];
        s.y[i] = motion.y[i];
        s.vx[i] = motion.vx[i];
        s.vy[i] = motion.vy[i];
        s.fx[i] = pull.fx[i];
        s.fy[i] = pull.fy[i];
        if constexpr (Last > 0 && !kLater) {
            s.xRet[i] = pull.xRet[i];
            s.yRet[i] = pull.yRet[i];
        }
    }
    // Shifting the history of a body that stands still is the same as rewriting its entry 0.
    s.hist.push(s.x, s.y);
#pragma GCC unroll 4
    for (int h = kSepEntries - 1; h >= 1; --h)
        s.sepHist[h] = s.sepHist[h - 1];
    s.sepHist[0] = motion.sep[0];
#pragma GCC unroll 3
    for (int p = 0; p < kCarriedPairs<Last, Delayed, Method>; ++p) {
        carry.sepSquared[p] = motion.sepSquared[p];
        carry.sep[p] = motion.sep[p];
    }
    carry.tau10 = pairs.tau[PairOf(1, 0)];
    carry.tau20 = pairs.tau[PairOf(2, 0)];
}

// One pass for bodies 0..Last; Delayed: c > 0. Commits the pass to the state and what it
// carries to `carry` when `checks` hold, and returns whether it did; the history lookup's
// slopes are then the caller's to push. `s` is the SimState or what a main loop keeps of it
// between the passes that call the host (the same fields by the same names).
template <int Last, bool Delayed, RetardationMethod Method, class Bodies, class Checks>
[[gnu::always_inline]] inline bool OnePass(Bodies& s, const PassConstants& pc, HistoryLookup& lookup, PassCarry& carry,
                    Checks& checks)
{
    PassPairs pairs;
    PassPull pull;
    PassMotion motion;
    PassDelays<Last, Delayed, Method>(s, pc, carry, pairs);
    PassForces<Last, Delayed, Method>(s, pc, lookup, pairs, checks, pull);
    PassStep<Last, Delayed, Method>(s, pc, pull, checks, motion);
    if (!checks.ok())
        return false;
    PassCommit<Last, Delayed, Method>(s, pairs, pull, motion, carry);
    return true;
}

} // namespace gravlag
