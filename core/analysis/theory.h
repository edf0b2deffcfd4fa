#pragma once
// First-order predictions beside which a run's measured rates are read. Each value is
// present only where its formula applies; all per orbit of the inner relative orbit, angles
// in degrees.
//
// With K = 2 G m1 m2 / ((m1 + m2) c), mu = G (m1 + m2) and a, e, h of the relative orbit at
// the start (m1, m2 the pair, bodies 0 and 1):
// - the pair's own delayed pull, to first order in v/c in the pair's rest frame: it adds
//   K / r^2 (v - 3 r^ (r^ . v)) to the relative acceleration, a push along the motion, so
//     delayDaPerOrbit     = 4 pi K sqrt(a / mu) (1 - e^2/2) / (1 - e^2)^(3/2),
//     delayDePerOrbit     = pi K e / h,
//     delayDvarpiPerOrbit = 0 (the perturbation is odd in the true anomaly).
//   A pair whose centre of mass moves at V (on its outer orbit, with a base velocity, or
//   pushed by its own delayed pull, which does not conserve momentum when e > 0) feels a
//   further -G (m1 - m2) / (c r^2) (V - 3 r^ (r^ . V)) that these values leave out;
// - the outer body m3 as a circular ring of radius a3 (its distance from the pair's centre
//   of mass), to first order in m3 (Lagrange's equation for the pericentre):
//     perturberPrecessionPerOrbit = (2 pi / n) sqrt(1 - e^2) / (n a^2 e) d<R>/de, n = sqrt(mu / a^3),
//   with <R> summed to convergence (ring_series.h). The term of order l carries the mass
//   factor (m1^(2l-1) + m2^(2l-1)) / (m1 + m2)^(2l-1): each body of the pair feels the ring
//   at its own distance from the centre of mass. It is 1 for the quadrupole and in the
//   test-particle limit (m2 -> 0), where the series is the textbook one; for comparable
//   masses it is what the measured precession follows (50 and 50, ring radius 20, m3 0.1:
//   without the factor the series is 11 % above a run's precession, with it 1.3 % below);
// - general relativity, for comparison only, not part of this model:
//     grPrecessionPerOrbit = 6 pi G (m1 + m2) / (c^2 a (1 - e^2)).

#include <optional>

#include "core/analysis/orbit_elements.h"

namespace gravlag {

struct TheoryInputs {
    double gConst = 1;
    double m1 = 0, m2 = 0;    // the inner pair: masses of bodies 0 and 1
    double c = 0;             // propagation speed; <= 0 is instantaneous
    OrbitElements start;      // relative orbit of the pair at the start (a, e, h)
    bool outerActive = false; // body 2 takes part in the passes
    double m3 = 0;            // mass of body 2
    double a3 = 0;            // distance of body 2 from the pair's centre of mass at the start
};

struct TheoryValues {
    std::optional<double> delayDaPerOrbit;             // length units per orbit; c > 0, bound
    std::optional<double> delayDePerOrbit;             // per orbit; c > 0, bound
    std::optional<double> delayDvarpiPerOrbit;         // degrees per orbit; c > 0, bound
    std::optional<double> perturberPrecessionPerOrbit; // degrees per orbit; outer body active, m3 > 0, m1, m2 >= 0, ring outside the apocentre
    std::optional<double> grPrecessionPerOrbit;        // degrees per orbit; c > 0, bound
};

// Absent when none of the values applies.
std::optional<TheoryValues> Theory(const TheoryInputs& in);

// The inputs as a run's state gives them right after set-up, bodies 0..last active.
TheoryInputs TheoryInputsFrom(const SimState& state, int last);

} // namespace gravlag
