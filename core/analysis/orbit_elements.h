#pragma once
// Osculating Kepler elements of a relative two-body orbit, and of body index 1 about body
// index 0 (the panel's "Mass 2" about "Mass 1") in particular. Units: G = 1 as in the run,
// lengths and times those of the panel, angles in degrees.

#include <optional>

#include "core/sim_state.h"

namespace gravlag {

// A value that a formula cannot give for the orbit at hand is absent, never NaN or inf.
struct OrbitElements {
    std::optional<double> a;      // semi-major axis, length units; bound orbits only
    std::optional<double> e;      // eccentricity
    std::optional<double> varpi;  // longitude of pericentre, degrees in [0, 360); needs e > 0
    std::optional<double> period; // 2 pi sqrt(a^3 / mu), time units; bound orbits only
    std::optional<double> h;      // specific angular momentum (z component), length^2 per time
};

// Elements of the orbit with relative position (rx, ry) and relative velocity (vx, vy) of
// the orbiting body about the central one, mu = G (m_central + m_orbiting). mu <= 0 or
// r = 0 leaves everything but h absent.
OrbitElements KeplerElements(double mu, double rx, double ry, double vx, double vy);

// Body index 1 relative to body index 0, mu = gConst (mass 0 + mass 1).
OrbitElements InnerPairElements(const SimState& state);

} // namespace gravlag
