#include "tuned_loop.h"

#include <bit>
#include <cmath>

#include "core/apsis.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gravlag::bench {

namespace {

struct Two {
    double a, b;
};

// Two correctly rounded roots or quotients in one instruction.
inline Two Sqrt2(double a, double b)
{
#if defined(__SSE2__)
    const __m128d r = _mm_sqrt_pd(_mm_set_pd(b, a));
    return {_mm_cvtsd_f64(r), _mm_cvtsd_f64(_mm_unpackhi_pd(r, r))};
#else
    return {std::sqrt(a), std::sqrt(b)};
#endif
}

inline Two Div2(double a, double b, double c, double d) // {a / c, b / d}
{
#if defined(__SSE2__)
    __m128d q = _mm_set_pd(b, a);
    // Kept one instruction: the compiler would otherwise split it into two scalar ones.
    asm("divpd %1, %0" : "+x"(q) : "x"(_mm_set_pd(d, c)));
    return {_mm_cvtsd_f64(q), _mm_cvtsd_f64(_mm_unpackhi_pd(q, q))};
#else
    return {a / c, b / d};
#endif
}

// floor(q) for 0 <= q < 2^63, where truncation is the floor and both conversions are exact.
inline double WholeSteps(double q) { return static_cast<double>(static_cast<std::int64_t>(q)); }

constexpr unsigned kMask = PositionHistory::kRing - 1u;
constexpr int kSpan = kHistoryEntries - 1;

// The slopes of the position ring, (entry h+1 - entry h) / dt at the slot of entry h.
struct Slopes {
    double x[kBodies][PositionHistory::kRing] = {};
    double y[kBodies][PositionHistory::kRing] = {};
};

// Where body j was tau ago, n = floor(tau / dt) whole steps back.
inline void Retarded(const PositionHistory& hist, const Slopes& slopes, int j, double tau,
                     double n, double nDt, double dt, double& xr, double& yr)
{
    const double* xh = hist.xRing(j);
    const double* yh = hist.yRing(j);
    if (n < kSpan) [[likely]] {
        const unsigned h = (hist.head() + static_cast<unsigned>(n)) & kMask;
        const double frac = tau - nDt;
        xr = xh[h] + slopes.x[j][h] * frac;
        yr = yh[h] + slopes.y[j][h] * frac;
        return;
    }
    const unsigned oldest = (hist.head() + kSpan) & kMask, before = (hist.head() + kSpan - 1u) & kMask;
    const double beyond = tau - kSpan * dt;
    xr = xh[oldest] + slopes.x[j][before] * beyond;
    yr = yh[oldest] + slopes.y[j][before] * beyond;
}

template <TunedKind Kind, bool Mercury>
void Loop(SimState& s, std::int64_t passes)
{
    constexpr bool kDelayed = Kind != TunedKind::Instantaneous;
    constexpr bool kLookup = Kind == TunedKind::HistoryLookup;
    const double c = s.c, dt = s.dt;
    const double gm0 = kGConst * s.mass[0], gm1 = kGConst * s.mass[1], gm2 = kGConst * s.mass[2];
    double x0 = s.x[0], x1 = s.x[1], x2 = s.x[2], y0 = s.y[0], y1 = s.y[1], y2 = s.y[2];
    double vx0 = s.vx[0], vx1 = s.vx[1], vx2 = s.vx[2];
    double vy0 = s.vy[0], vy1 = s.vy[1], vy2 = s.vy[2];
    double fx0 = s.fx[0], fx1 = s.fx[1], fx2 = s.fx[2], fy0 = s.fy[0], fy1 = s.fy[1], fy2 = s.fy[2];
    double xr0 = s.xRet[0], xr1 = s.xRet[1], xr2 = s.xRet[2];
    double yr0 = s.yRet[0], yr1 = s.yRet[1], yr2 = s.yRet[2];
    double sep1 = s.sepHist[1], sep2 = s.sepHist[2], sep3 = s.sepHist[3], sep4 = s.sepHist[4];
    double sep0 = s.sepHist[0];

    Slopes slopes;
    if constexpr (kLookup)
        for (int b = 0; b < kBodies; ++b)
            for (int h = 0; h < kSpan; ++h) {
                const unsigned slot = (s.hist.head() + static_cast<unsigned>(h)) & kMask;
                slopes.x[b][slot] = (s.hist.x(b, h + 1) - s.hist.x(b, h)) / dt;
                slopes.y[b][slot] = (s.hist.y(b, h + 1) - s.hist.y(b, h)) / dt;
            }

    // The pairs (0, 1), (0, 2), (1, 2) from the positions now: differences, squares, lengths.
    double ex01 = x0 - x1, ey01 = y0 - y1, ex02 = x0 - x2, ey02 = y0 - y2;
    double ex12 = x1 - x2, ey12 = y1 - y2;
    double sq01 = ex01 * ex01 + ey01 * ey01, sq02 = ex02 * ex02 + ey02 * ey02;
    double sq12 = ex12 * ex12 + ey12 * ey12;
    Two r = Sqrt2(sq01, sq02);
    double r01 = r.a, r02 = r.b, r12 = std::sqrt(sq12);

    for (std::int64_t k = 0; k < passes; ++k) {
        if constexpr (!kDelayed) {
            // The sources where they are: the pairs' own differences, each force's root the
            // pair's.
            const double c01 = sq01 * r01, c02 = sq02 * r02, c12 = sq12 * r12;
            const Two fa = Div2(gm1, gm2, c01, c02), fb = Div2(gm0, gm2, c01, c12);
            const Two fc = Div2(gm0, gm1, c02, c12);
            fx0 = fa.a * ex01 + fa.b * ex02;
            fy0 = fa.a * ey01 + fa.b * ey02;
            fx1 = fb.a * -ex01 + fb.b * ex12;
            fy1 = fb.a * -ey01 + fb.b * ey12;
            fx2 = fc.a * -ex02 + fc.b * -ex12;
            fy2 = fc.a * -ey02 + fc.b * -ey12;
            xr0 = x0, xr1 = x1, xr2 = x2, yr0 = y0, yr1 = y1, yr2 = y2;
        } else {
            const Two t = Div2(r01, r02, c, c);
            const double t01 = t.a, t02 = t.b, t12 = r12 / c;
            // Each source where it was a delay ago, seen from each target: (target, source).
            double x10, y10, x20, y20, x01, y01, x21, y21, x02, y02, x12, y12;
            if constexpr (kLookup) {
                const Two q = Div2(t01, t02, dt, dt);
                const double n01 = WholeSteps(q.a), n02 = WholeSteps(q.b);
                const double n12 = WholeSteps(t12 / dt);
                const double d01 = n01 * dt, d02 = n02 * dt, d12 = n12 * dt;
                Retarded(s.hist, slopes, 1, t01, n01, d01, dt, x01, y01);
                Retarded(s.hist, slopes, 2, t02, n02, d02, dt, x02, y02);
                Retarded(s.hist, slopes, 0, t01, n01, d01, dt, x10, y10);
                Retarded(s.hist, slopes, 2, t12, n12, d12, dt, x12, y12);
                Retarded(s.hist, slopes, 0, t02, n02, d02, dt, x20, y20);
                Retarded(s.hist, slopes, 1, t12, n12, d12, dt, x21, y21);
            } else {
                x01 = x1 - vx1 * t01, y01 = y1 - vy1 * t01;
                x02 = x2 - vx2 * t02, y02 = y2 - vy2 * t02;
                x10 = x0 - vx0 * t01, y10 = y0 - vy0 * t01;
                x12 = x2 - vx2 * t12, y12 = y2 - vy2 * t12;
                x20 = x0 - vx0 * t02, y20 = y0 - vy0 * t02;
                x21 = x1 - vx1 * t12, y21 = y1 - vy1 * t12;
            }
            const double dx01 = x0 - x01, dy01 = y0 - y01, dx02 = x0 - x02, dy02 = y0 - y02;
            const double dx10 = x1 - x10, dy10 = y1 - y10, dx12 = x1 - x12, dy12 = y1 - y12;
            const double dx20 = x2 - x20, dy20 = y2 - y20, dx21 = x2 - x21, dy21 = y2 - y21;
            const double q01 = dx01 * dx01 + dy01 * dy01, q02 = dx02 * dx02 + dy02 * dy02;
            const double q10 = dx10 * dx10 + dy10 * dy10, q12 = dx12 * dx12 + dy12 * dy12;
            const double q20 = dx20 * dx20 + dy20 * dy20, q21 = dx21 * dx21 + dy21 * dy21;
            const Two ra = Sqrt2(q01, q02), rb = Sqrt2(q10, q12), rc = Sqrt2(q20, q21);
            const Two fa = Div2(gm1, gm2, q01 * ra.a, q02 * ra.b);
            const Two fb = Div2(gm0, gm2, q10 * rb.a, q12 * rb.b);
            const Two fc = Div2(gm0, gm1, q20 * rc.a, q21 * rc.b);
            fx0 = fa.a * dx01 + fa.b * dx02;
            fy0 = fa.a * dy01 + fa.b * dy02;
            fx1 = fb.a * dx10 + fb.b * dx12;
            fy1 = fb.a * dy10 + fb.b * dy12;
            fx2 = fc.a * dx20 + fc.b * dx21;
            fy2 = fc.a * dy20 + fc.b * dy21;
            // The run keeps the retarded position each source had for its last target.
            xr0 = x20, yr0 = y20, xr1 = x21, yr1 = y21, xr2 = x12, yr2 = y12;
        }

        // Semi-implicit Euler.
        vx0 = vx0 - dt * fx0, vy0 = vy0 - dt * fy0, vx1 = vx1 - dt * fx1;
        vy1 = vy1 - dt * fy1, vx2 = vx2 - dt * fx2, vy2 = vy2 - dt * fy2;
        x0 = x0 + dt * vx0, y0 = y0 + dt * vy0, x1 = x1 + dt * vx1;
        y1 = y1 + dt * vy1, x2 = x2 + dt * vx2, y2 = y2 + dt * vy2;

        ex01 = x0 - x1, ey01 = y0 - y1, ex02 = x0 - x2, ey02 = y0 - y2;
        ex12 = x1 - x2, ey12 = y1 - y2;
        sq01 = ex01 * ex01 + ey01 * ey01, sq02 = ex02 * ex02 + ey02 * ey02;
        sq12 = ex12 * ex12 + ey12 * ey12;
        r = Sqrt2(sq01, sq02);
        r01 = r.a, r02 = r.b, r12 = std::sqrt(sq12);

        const double prev0 = s.hist.x(0, 0), prev1 = s.hist.x(1, 0), prev2 = s.hist.x(2, 0);
        const double prevY0 = s.hist.y(0, 0), prevY1 = s.hist.y(1, 0), prevY2 = s.hist.y(2, 0);
        s.hist.push({x0, x1, x2}, {y0, y1, y2});
        if constexpr (kLookup) {
            const unsigned h = s.hist.head();
            const Two a = Div2(prev0 - x0, prev1 - x1, dt, dt);
            const Two b = Div2(prev2 - x2, prevY0 - y0, dt, dt);
            const Two d = Div2(prevY1 - y1, prevY2 - y2, dt, dt);
            slopes.x[0][h] = a.a, slopes.x[1][h] = a.b, slopes.x[2][h] = b.a;
            slopes.y[0][h] = b.b, slopes.y[1][h] = d.a, slopes.y[2][h] = d.b;
        }
        sep4 = sep3, sep3 = sep2, sep2 = sep1, sep1 = sep0, sep0 = r01;
        if constexpr (Mercury) {
            if (sep1 < sep2 && sep2 > sep3) [[unlikely]] {
                s.sepHist = {sep0, sep1, sep2, sep3, sep4};
                MeasureApsis(s);
            }
        }
    }

    s.x = {x0, x1, x2}, s.y = {y0, y1, y2};
    s.vx = {vx0, vx1, vx2}, s.vy = {vy0, vy1, vy2};
    s.fx = {fx0, fx1, fx2}, s.fy = {fy0, fy1, fy2};
    s.xRet = {xr0, xr1, xr2}, s.yRet = {yr0, yr1, yr2};
    s.sepHist = {sep0, sep1, sep2, sep3, sep4};
}

template <bool Mercury>
void Dispatch(SimState& state, TunedKind kind, std::int64_t passes)
{
    switch (kind) {
    case TunedKind::Instantaneous: return Loop<TunedKind::Instantaneous, Mercury>(state, passes);
    case TunedKind::VelocityEstimate: return Loop<TunedKind::VelocityEstimate, Mercury>(state, passes);
    case TunedKind::HistoryLookup: return Loop<TunedKind::HistoryLookup, Mercury>(state, passes);
    }
}

bool Same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

} // namespace

void RunTunedLoop(SimState& state, TunedKind kind, std::int64_t passes)
{
    if (state.scenarioCode == Scenario::Mercury)
        Dispatch<true>(state, kind, passes);
    else
        Dispatch<false>(state, kind, passes);
}

std::string TunedMismatch(const SimState& tuned, const SimState& run)
{
    const auto at = [](const char* name, int i) { return std::string(name) + "[" + std::to_string(i) + "]"; };
    for (int i = 0; i < kBodies; ++i) {
        const auto u = static_cast<unsigned>(i);
        if (!Same(tuned.x[u], run.x[u])) return at("x", i);
        if (!Same(tuned.y[u], run.y[u])) return at("y", i);
        if (!Same(tuned.vx[u], run.vx[u])) return at("vx", i);
        if (!Same(tuned.vy[u], run.vy[u])) return at("vy", i);
        if (!Same(tuned.fx[u], run.fx[u])) return at("fx", i);
        if (!Same(tuned.fy[u], run.fy[u])) return at("fy", i);
        if (!Same(tuned.xRet[u], run.xRet[u])) return at("xRet", i);
        if (!Same(tuned.yRet[u], run.yRet[u])) return at("yRet", i);
        for (int h = 0; h < kHistoryEntries; ++h) {
            const std::string entry = "(" + std::to_string(i) + ", " + std::to_string(h) + ")";
            if (!Same(tuned.hist.x(i, h), run.hist.x(i, h))) return "hist.x" + entry;
            if (!Same(tuned.hist.y(i, h), run.hist.y(i, h))) return "hist.y" + entry;
        }
    }
    for (int h = 0; h < kSepEntries; ++h) {
        const auto u = static_cast<unsigned>(h);
        if (!Same(tuned.sepHist[u], run.sepHist[u])) return at("sepHist", h);
        if (!Same(tuned.angleHist[u], run.angleHist[u])) return at("angleHist", h);
    }
    return {};
}

} // namespace gravlag::bench
