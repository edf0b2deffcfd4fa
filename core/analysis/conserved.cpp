#include "core/analysis/conserved.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/vector_length.h"
#include "core/finite.h"

namespace gravlag {

ConservedQuantities Conserved(const SimState& state, int last)
{
    const unsigned n = static_cast<unsigned>(std::clamp(last, 0, kBodies - 1)) + 1;
    std::array<Body, kBodies> bodies;
    for (unsigned i = 0; i < n; ++i)
        bodies[i] = {state.mass[i], state.x[i], state.y[i], state.vx[i], state.vy[i]};
    return Conserved(std::span<const Body>(bodies.data(), n));
}

ConservedQuantities Conserved(std::span<const Body> bodies)
{
    const std::size_t n = bodies.size();
    double kinetic = 0, potential = 0, lz = 0, px = 0, py = 0;
    bool coincident = false;
    for (std::size_t i = 0; i < n; ++i) {
        const double m = bodies[i].m, vx = bodies[i].vx, vy = bodies[i].vy;
        kinetic += m * (vx * vx + vy * vy) / 2;
        lz += m * (bodies[i].x * vy - bodies[i].y * vx);
        px += m * vx;
        py += m * vy;
        for (std::size_t j = i + 1; j < n; ++j) {
            const double dx = bodies[i].x - bodies[j].x, dy = bodies[i].y - bodies[j].y;
            const double r = VectorLength(dx, dy);
            if (r == 0)
                coincident = true;
            else
                potential -= kGConst * bodies[i].m * bodies[j].m / r;
        }
    }
    ConservedQuantities q;
    if (!coincident)
        q.energy = IfFinite(kinetic + potential);
    q.angularMomentum = IfFinite(lz);
    q.momentum = IfFinite(VectorLength(px, py));
    return q;
}

} // namespace gravlag
