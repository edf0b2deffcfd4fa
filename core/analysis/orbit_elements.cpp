#include "core/analysis/orbit_elements.h"

#include <cmath>
#include <numbers>

#include "core/vector_length.h"
#include "core/finite.h"

namespace gravlag {

OrbitElements KeplerElements(double mu, double rx, double ry, double vx, double vy)
{
    OrbitElements el;
    const double h = rx * vy - ry * vx;
    el.h = IfFinite(h);
    const double r = VectorLength(rx, ry);
    if (!(mu > 0) || !(r > 0) || !Finite(r))
        return el;
    const double v2 = vx * vx + vy * vy;
    const double rv = rx * vx + ry * vy;
    // Eccentricity vector, pointing at the pericentre.
    const double ex = ((v2 - mu / r) * rx - rv * vx) / mu;
    const double ey = ((v2 - mu / r) * ry - rv * vy) / mu;
    const double e = VectorLength(ex, ey);
    el.e = IfFinite(e);
    if (el.e && e > 0) {
        double varpi = std::atan2(ey, ex) * 180 / std::numbers::pi;
        if (varpi < 0)
            varpi = varpi + 360;
        el.varpi = varpi >= 360 ? 0.0 : varpi; // -tiny + 360 rounds to 360
    }
    const double energy = v2 / 2 - mu / r;
    if (energy < 0) {
        const double a = -mu / (2 * energy);
        el.a = IfFinite(a);
        if (el.a)
            el.period = IfFinite(2 * std::numbers::pi * std::sqrt(a * a * a / mu));
    }
    return el;
}

OrbitElements InnerPairElements(const SimState& state)
{
    const double mu = kGConst * (state.mass[0] + state.mass[1]);
    return KeplerElements(mu, state.x[1] - state.x[0], state.y[1] - state.y[0],
                          state.vx[1] - state.vx[0], state.vy[1] - state.vy[0]);
}

} // namespace gravlag
