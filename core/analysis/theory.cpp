#include "core/analysis/theory.h"

#include <cmath>

#include "core/vector_length.h"
#include "core/finite.h"
#include "core/analysis/ring_series.h"

namespace gravlag {

namespace {

constexpr double kDegrees = 180 / kPi;

} // namespace

std::optional<TheoryValues> Theory(const TheoryInputs& in)
{
    const double G = in.gConst, m1 = in.m1, m2 = in.m2, c = in.c;
    const double mu = G * (m1 + m2);
    const OrbitElements& el = in.start;
    const bool bound = mu > 0 && el.a && *el.a > 0 && el.e && *el.e < 1 && el.h && *el.h != 0;
    if (!bound)
        return std::nullopt;
    const double a = *el.a, e = *el.e;
    // The formula's h is the size of the angular momentum; the sense of the turn does not
    // change the widening.
    const double h = std::fabs(*el.h);

    TheoryValues t;
    if (c > 0) {
        const double K = 2 * G * m1 * m2 / ((m1 + m2) * c);
        t.delayDaPerOrbit = IfFinite(4 * kPi * K * std::sqrt(a / mu) * (1 - e * e / 2)
                                     / std::pow(1 - e * e, 1.5));
        t.delayDePerOrbit = IfFinite(kPi * K * e / h);
        t.delayDvarpiPerOrbit = 0.0;
        t.grPrecessionPerOrbit = IfFinite(6 * kPi * G * (m1 + m2) / (c * c * a * (1 - e * e)) * kDegrees);
    }
    if (in.outerActive && in.m3 > 0 && in.a3 > a * (1 + e)) {
        // d<R>/de / e = (G m3 / a3) times the series; the quotient stays finite as e -> 0.
        const std::optional<double> slope = RingPotentialSlope(e, a / in.a3, m1 / (m1 + m2));
        if (slope) {
            const double n = std::sqrt(mu / (a * a * a));
            const double dRdeOverE = G * in.m3 / in.a3 * *slope;
            t.perturberPrecessionPerOrbit =
                IfFinite((2 * kPi / n) * (std::sqrt(1 - e * e) / (n * a * a)) * dRdeOverE * kDegrees);
        }
    }
    if (!t.delayDaPerOrbit && !t.delayDePerOrbit && !t.delayDvarpiPerOrbit
        && !t.perturberPrecessionPerOrbit && !t.grPrecessionPerOrbit)
        return std::nullopt;
    return t;
}

TheoryInputs TheoryInputsFrom(const SimState& state, int last)
{
    TheoryInputs in;
    in.gConst = kGConst;
    in.m1 = state.mass[0];
    in.m2 = state.mass[1];
    in.c = state.c;
    in.start = InnerPairElements(state);
    in.outerActive = last >= 2;
    in.m3 = state.mass[2];
    const double m = state.mass[0] + state.mass[1];
    if (m != 0) {
        const double cx = (state.mass[0] * state.x[0] + state.mass[1] * state.x[1]) / m;
        const double cy = (state.mass[0] * state.y[0] + state.mass[1] * state.y[1]) / m;
        const double dx = state.x[2] - cx, dy = state.y[2] - cy;
        in.a3 = VectorLength(dx, dy);
    }
    return in;
}

} // namespace gravlag
