#pragma once
// The quiet passes of the main loop with three bodies (the default runs of both scenarios, with
// a delay or without, and those that look the retarded positions up), with each body's x and y in
// the two lanes of one register: one instruction makes a step's x and y, a pair's
// differences, a body's pull. Each lane is the same operation on the same doubles as OnePass
// (core/pass.h) makes one at a time, in the same order and from the same +0 start, so every
// bit is OnePass's; simulation_test compares the two field by field. About half the
// arithmetic instructions, and room in the registers for what a pass hands the next; what
// only the stretch's end reads goes to memory instead.

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/pass.h"
#include "core/retardation.h"
#include "core/sim_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define GRAVLAG_XY_STRETCH 1
#endif

namespace gravlag {

// The passes it takes: OnePass<2, Delayed, VelocityEstimate>, without a delay on bodies that
// form the retarded positions later, and OnePass<2, true, HistoryLookup>.
template <int Last, bool Delayed, RetardationMethod Method>
constexpr bool kXyStretch =
#if GRAVLAG_XY_STRETCH
    Last == 2 && (Method == RetardationMethod::VelocityEstimate || Delayed);
#else
    false;
#endif

struct XyStretchEnd {
    std::int64_t k;
    // Pass k failed its folded checks. By velocity nothing but the history's pushes is
    // written then; with the history lookup the state is the last committed pass's.
    bool failed;
};

#if GRAVLAG_XY_STRETCH

namespace xy {

inline __m128d Low(__m128d a) { return _mm_unpacklo_pd(a, a); }
inline __m128d High(__m128d a) { return _mm_unpackhi_pd(a, a); }
inline __m128d Of(double x, double y) { return _mm_setr_pd(x, y); }
inline void Put(__m128d v, double& x, double& y)
{
    _mm_storel_pd(&x, v);
    _mm_storeh_pd(&y, v);
}
// {a.x * a.x + a.y * a.y, b.x * b.x + b.y * b.y}
inline __m128d SquaredLengths(__m128d a, __m128d b)
{
    const __m128d sa = _mm_mul_pd(a, a), sb = _mm_mul_pd(b, b);
    return _mm_add_pd(_mm_unpacklo_pd(sa, sb), _mm_unpackhi_pd(sa, sb));
}

using Place = HistoryLookup::Place;
// The retarded position of the body whose entries and slopes these are.
inline __m128d Retarded(const double* xs, const double* ys, const double* sx, const double* sy,
                        Place b)
{
    return _mm_add_pd(Of(xs[b.at], ys[b.at]), _mm_mul_pd(Of(sx[b.slope], sy[b.slope]), _mm_set1_pd(b.by)));
}
// floor of both lanes: where both lie in (0, 2^31) a truncation, which is the floor there,
// both conversions exact; elsewhere std::floor (its -0 and NaN too).
inline __m128d WholeSteps(__m128d q)
{
    const __m128d in = _mm_and_pd(_mm_cmpgt_pd(q, _mm_setzero_pd()),
                                  _mm_cmplt_pd(q, _mm_set1_pd(2147483648.0)));
    if (_mm_movemask_pd(in) == 3) [[likely]]
        return _mm_cvtepi32_pd(_mm_cvttpd_epi32(q));
    return Of(std::floor(_mm_cvtsd_f64(q)), std::floor(_mm_cvtsd_f64(High(q))));
}

} // namespace xy

// Passes k..until of `s` (up to an apsis with `mercury`), as RunStretch makes them: the state
// and the carry written back once, at the end; the history's pushes (and with the lookup its
// slopes) as each pass commits. A pass that fails its folded checks ends the stretch before
// it: by velocity for the caller to compute the stretch's passes again, with the lookup, whose
// passes read the history they push, with the state as the last committed pass left it.
template <bool Delayed, bool Lookup = false>
[[gnu::noinline]] XyStretchEnd XyStretch(SimState& s, const PassConstants& pc, HistoryLookup& lookup,
                                         PassCarry& carry, bool mercury, std::int64_t k,
                                         std::int64_t until)
{
    static_assert(Delayed || !Lookup);
    using namespace xy;
    const std::int64_t first = k;
    // Without a delay, the delay checks of targets 1 and 2 from body 0: tau 0 within the
    // shown delays' range.
    if (!Delayed && !(0.0 <= pc.maxDelay))
        return {k, true};
    const __m128d dt = _mm_set1_pd(pc.dt), zero = _mm_setzero_pd();
    const __m128d gmA = Of(pc.gm[1], pc.gm[2]); // target 0's sources 1 and 2
    const __m128d gmB = Of(pc.gm[0], pc.gm[2]); // target 1's sources 0 and 2
    const __m128d gmC = Of(pc.gm[0], pc.gm[1]); // target 2's sources 0 and 1
    const __m128d magnitude = _mm_set1_pd(-0.0), largest = _mm_set1_pd(DBL_MAX);
    __m128d p0 = Of(s.x[0], s.y[0]), p1 = Of(s.x[1], s.y[1]), p2 = Of(s.x[2], s.y[2]);
    __m128d v0 = Of(s.vx[0], s.vy[0]), v1 = Of(s.vx[1], s.vy[1]), v2 = Of(s.vx[2], s.vy[2]);
    // What only the stretch's end reads goes to memory as each pass commits, out of the
    // registers: where the last pass began (its retarded positions), its pulls, and the
    // separations of (0, 1) in a ring, pass k at k & 7.
    // Per body: x, y, vx, vy before the pass (with a delay: its retarded x, y), fx, fy.
    alignas(16) double last[3 * 6] = {};
    double tau10 = 0, tau20 = 0; // the delays of targets 1 and 2 from body 0 in the last pass
    double seps[8];
    for (int h = 0; h < kSepEntries; ++h)
        seps[static_cast<std::uint64_t>(k - 1 - h) & 7u] = s.sepHist[static_cast<std::size_t>(h)];
    double* const ringX[kBodies] = {s.hist.xRing(0), s.hist.xRing(1), s.hist.xRing(2)};
    double* const ringY[kBodies] = {s.hist.yRing(0), s.hist.yRing(1), s.hist.yRing(2)};
    unsigned head = s.hist.head();
    // The lookup's slopes. Its record of each pair's last whole steps is left as it is: a
    // lookup that finds it out of date takes the new ones.
    double* const slopeX[kBodies] = {lookup.xSlopes(0), lookup.xSlopes(1), lookup.xSlopes(2)};
    double* const slopeY[kBodies] = {lookup.ySlopes(0), lookup.ySlopes(1), lookup.ySlopes(2)};
    const double spanDt = kHistorySpan * pc.dt;

    // The pairs (0, 1), (0, 2), (1, 2): differences, squared separations and separations;
    // (0, 1)'s as the last pass carried it, the others from the positions now (with a delay
    // all three as carried).
    __m128d e01 = _mm_sub_pd(p0, p1), e02 = _mm_sub_pd(p0, p2), e12 = _mm_sub_pd(p1, p2);
    const __m128d sqOthers = SquaredLengths(e02, e12), rOthers = _mm_sqrt_pd(sqOthers);
    __m128d sq = _mm_unpacklo_pd(_mm_set_sd(carry.sepSquared[0]), sqOthers); // (0, 1), (0, 2)
    __m128d r = _mm_unpacklo_pd(_mm_set_sd(carry.sep[0]), rOthers);
    __m128d sq12 = High(sqOthers), r12 = High(rOthers); // (1, 2) in the low lane
    if constexpr (Delayed && !Lookup) {
        sq = Of(carry.sepSquared[0], carry.sepSquared[1]), r = Of(carry.sep[0], carry.sep[1]);
        sq12 = _mm_set_sd(carry.sepSquared[2]), r12 = _mm_set_sd(carry.sep[2]);
    }
    bool failed = false;
    for (;; ++k) {
        __m128d g0, g1, g2, sum;
        __m128d ret0 = zero, ret1 = zero, ret2 = zero; // with a delay: the sources' last
        double t10 = 0, t20 = 0;
        if constexpr (Delayed) {
            const __m128d c = _mm_set1_pd(pc.c);
            // Each source where it was the pair's delay ago, seen from each target: the
            // source seen by target 0 from pair (0, 1), (0, 2); by 1: (0, 1), (1, 2); by 2.
            __m128d s01, s02, s10, s12, s20, s21;
            if constexpr (Lookup) {
                // The delays and their whole steps: pairs (0, 1) and (0, 2) together, (1, 2)
                // in the low lane. Where OnePass takes a delay of 0 for the carried distance
                // this takes it from entry 0, the position now, to the same bits; but for a
                // non-finite slope, which fails the pass either way.
                const __m128d tA = _mm_div_pd(r, c), tB = _mm_div_sd(r12, c);
                const double t01 = _mm_cvtsd_f64(tA), t02 = _mm_cvtsd_f64(High(tA));
                const double t12 = _mm_cvtsd_f64(tB);
                t10 = t01, t20 = t02;
                const __m128d nA = WholeSteps(_mm_div_pd(tA, dt));
                const __m128d nB = WholeSteps(_mm_div_pd(Low(tB), dt));
                const double n01 = _mm_cvtsd_f64(nA), n02 = _mm_cvtsd_f64(High(nA));
                const double n12 = _mm_cvtsd_f64(nB);
                // Found (n >= 0, not NaN), a delay from body 0 within the shown range.
                if (!(n01 >= 0) || !(n02 >= 0) || !(n12 >= 0) || !(t10 <= pc.maxDelay) ||
                    !(t20 <= pc.maxDelay)) [[unlikely]] {
                    failed = true;
                    break;
                }
                const auto place = [&](double tau, double n) {
                    return HistoryLookup::PlaceOf(tau, n, n * pc.dt, spanDt, head);
                };
                const Place a = place(t01, n01), b = place(t02, n02), e = place(t12, n12);
                const auto at = [&](int j, Place back) {
                    return Retarded(ringX[j], ringY[j], slopeX[j], slopeY[j], back);
                };
                s01 = at(1, a), s02 = at(2, b), s10 = at(0, a);
                s12 = at(2, e), s20 = at(0, b), s21 = at(1, e);
            } else {
                // The delays: pair (0, 1)'s alone, (0, 2)'s and (1, 2)'s together.
                const __m128d t01 = _mm_div_sd(r, c);
                const __m128d tOthers = _mm_div_pd(_mm_unpacklo_pd(High(r), r12), c);
                t10 = _mm_cvtsd_f64(t01), t20 = _mm_cvtsd_f64(tOthers);
                if (!(t10 <= pc.maxDelay) || !(t20 <= pc.maxDelay)) [[unlikely]] {
                    failed = true;
                    break;
                }
                const __m128d ta = Low(t01), tb = Low(tOthers), tc = High(tOthers);
                // Back along the source's velocity by the pair's delay.
                s01 = _mm_sub_pd(p1, _mm_mul_pd(v1, ta)), s02 = _mm_sub_pd(p2, _mm_mul_pd(v2, tb));
                s10 = _mm_sub_pd(p0, _mm_mul_pd(v0, ta)), s12 = _mm_sub_pd(p2, _mm_mul_pd(v2, tc));
                s20 = _mm_sub_pd(p0, _mm_mul_pd(v0, tb)), s21 = _mm_sub_pd(p1, _mm_mul_pd(v1, tc));
            }
            ret0 = s20, ret1 = s21, ret2 = s12;
            const __m128d d01 = _mm_sub_pd(p0, s01), d02 = _mm_sub_pd(p0, s02);
            const __m128d d10 = _mm_sub_pd(p1, s10), d12 = _mm_sub_pd(p1, s12);
            const __m128d d20 = _mm_sub_pd(p2, s20), d21 = _mm_sub_pd(p2, s21);
            const __m128d ra2 = SquaredLengths(d01, d02), rb2 = SquaredLengths(d10, d12);
            const __m128d rc2 = SquaredLengths(d20, d21);
            const __m128d ra3 = _mm_mul_pd(ra2, _mm_sqrt_pd(ra2));
            const __m128d rb3 = _mm_mul_pd(rb2, _mm_sqrt_pd(rb2));
            const __m128d rc3 = _mm_mul_pd(rc2, _mm_sqrt_pd(rc2));
            const __m128d qa = _mm_div_pd(gmA, ra3), qb = _mm_div_pd(gmB, rb3);
            const __m128d qc = _mm_div_pd(gmC, rc3);
            g0 = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(Low(qa), d01)), _mm_mul_pd(High(qa), d02));
            g1 = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(Low(qb), d10)), _mm_mul_pd(High(qb), d12));
            g2 = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(Low(qc), d20)), _mm_mul_pd(High(qc), d21));
            sum = _mm_add_pd(_mm_add_pd(ra3, rb3), rc3);
        } else {
            // r^3 of each pair, each target's two quotients, its pull from +0 in source order.
            const __m128d r3 = _mm_mul_pd(sq, r);     // (0, 1), (0, 2)
            const __m128d r3b = _mm_mul_sd(sq12, r12); // (1, 2)
            const __m128d qa = _mm_div_pd(gmA, r3);
            const __m128d qb = _mm_div_pd(gmB, _mm_unpacklo_pd(r3, r3b));
            const __m128d qc = _mm_div_pd(gmC, _mm_unpacklo_pd(High(r3), r3b));
            g0 = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(Low(qa), e01)), _mm_mul_pd(High(qa), e02));
            g1 = _mm_add_pd(_mm_sub_pd(zero, _mm_mul_pd(Low(qb), e01)), _mm_mul_pd(High(qb), e12));
            g2 = _mm_sub_pd(_mm_sub_pd(zero, _mm_mul_pd(Low(qc), e02)), _mm_mul_pd(High(qc), e12));
            sum = _mm_add_pd(r3, _mm_move_sd(zero, r3b));
        }
        // Semi-implicit Euler.
        const __m128d w0 = _mm_sub_pd(v0, _mm_mul_pd(dt, g0));
        const __m128d w1 = _mm_sub_pd(v1, _mm_mul_pd(dt, g1));
        const __m128d w2 = _mm_sub_pd(v2, _mm_mul_pd(dt, g2));
        const __m128d q0 = _mm_add_pd(p0, _mm_mul_pd(dt, w0));
        const __m128d q1 = _mm_add_pd(p1, _mm_mul_pd(dt, w1));
        const __m128d q2 = _mm_add_pd(p2, _mm_mul_pd(dt, w2));
        // The separations after the move, which the next pass takes.
        const __m128d n01 = _mm_sub_pd(q0, q1), n02 = _mm_sub_pd(q0, q2), n12 = _mm_sub_pd(q1, q2);
        const __m128d nsq = SquaredLengths(n01, n02);
        const __m128d s12 = _mm_mul_pd(n12, n12);
        const __m128d nsq12 = _mm_add_sd(s12, High(s12));
        const __m128d nr = _mm_sqrt_pd(nsq);
        // The folded checks: each r^3, the new positions and the new separation of (0, 1),
        // summed; finite only when each is.
        sum = _mm_add_pd(_mm_add_pd(_mm_add_pd(sum, q0), q1), q2);
        sum = _mm_add_sd(sum, nr);
        if (_mm_movemask_pd(_mm_cmple_pd(_mm_andnot_pd(magnitude, sum), largest)) != 3) [[unlikely]] {
            failed = true;
            break;
        }
        // Committed.
        _mm_store_pd(last + 0, p0), _mm_store_pd(last + 2, v0), _mm_store_pd(last + 4, g0);
        _mm_store_pd(last + 6, p1), _mm_store_pd(last + 8, v1), _mm_store_pd(last + 10, g1);
        _mm_store_pd(last + 12, p2), _mm_store_pd(last + 14, v2), _mm_store_pd(last + 16, g2);
        if constexpr (Delayed) { // the retarded positions in place of where the pass began
            _mm_store_pd(last + 0, ret0), _mm_store_pd(last + 6, ret1), _mm_store_pd(last + 12, ret2);
            tau10 = t10, tau20 = t20;
        }
        v0 = w0, v1 = w1, v2 = w2, p0 = q0, p1 = q1, p2 = q2;
        e01 = n01, e02 = n02, e12 = n12, sq = nsq, sq12 = nsq12, r = nr;
        r12 = _mm_sqrt_sd(nsq12, nsq12);
        const unsigned before = head;
        head = (head - 1u) & (PositionHistory::kRing - 1u);
        Put(p0, ringX[0][head], ringY[0][head]);
        Put(p1, ringX[1][head], ringY[1][head]);
        Put(p2, ringX[2][head], ringY[2][head]);
        if constexpr (Lookup) { // the slopes from the entry before to the new one
            const auto push = [&](int j, __m128d p) {
                const __m128d was = Of(ringX[j][before], ringY[j][before]);
                Put(_mm_div_pd(_mm_sub_pd(was, p), dt), slopeX[j][head], slopeY[j][head]);
            };
            push(0, p0), push(1, p1), push(2, p2);
        }
        const auto sep = [&](int h) { return seps[static_cast<std::uint64_t>(k - h) & 7u]; };
        seps[static_cast<std::uint64_t>(k) & 7u] = _mm_cvtsd_f64(nr);
        if (k == until || (mercury && sep(1) < sep(2) && sep(2) > sep(3)))
            break;
    }
    s.hist.setHead(head);
    if (failed && (!Lookup || k == first))
        return {k, true};
    const std::int64_t done = failed ? k - 1 : k; // the last committed pass
    Put(p0, s.x[0], s.y[0]), Put(p1, s.x[1], s.y[1]), Put(p2, s.x[2], s.y[2]);
    Put(v0, s.vx[0], s.vy[0]), Put(v1, s.vx[1], s.vy[1]), Put(v2, s.vx[2], s.vy[2]);
    for (std::size_t b = 0; b < kBodies; ++b) {
        const double* at = last + 6 * b;
        s.fx[b] = at[4], s.fy[b] = at[5];
        if constexpr (Delayed) {
            s.xRet[b] = at[0], s.yRet[b] = at[1];
        } else { // x - v*0, as a pass by velocity takes a source's retarded position
            s.xRet[b] = AlongVelocity(at[0], at[2], 0.0);
            s.yRet[b] = AlongVelocity(at[1], at[3], 0.0);
        }
    }
    for (int h = 0; h < kSepEntries; ++h)
        s.sepHist[static_cast<std::size_t>(h)] = seps[static_cast<std::uint64_t>(done - h) & 7u];
    // What the next pass takes from this one: without a delay pair (0, 1)'s separation alone.
    carry.sepSquared[0] = _mm_cvtsd_f64(sq);
    carry.sep[0] = _mm_cvtsd_f64(r);
    if constexpr (Delayed && !Lookup) {
        carry.sepSquared[1] = _mm_cvtsd_f64(High(sq)), carry.sep[1] = _mm_cvtsd_f64(High(r));
        carry.sepSquared[2] = _mm_cvtsd_f64(sq12), carry.sep[2] = _mm_cvtsd_f64(r12);
    }
    carry.tau10 = tau10;
    carry.tau20 = tau20;
    return {k, failed};
}

#endif

} // namespace gravlag
