#include "core/analysis/conserved.h"

#include <array>
#include <algorithm>
#include <cmath>

#include "core/vector_length.h"
#include "core/finite.h"

namespace gravlag {

ConservedQuantities Conserved(std::span<const Body> bodies)
{
    const std::size_t n = bodies.size();
    double kinetic = 0, potential = 0, lz = 0, px = 0, py = 0;
    bool coincident = false;
    for (std::size_t i = 0; i < n; ++i) {
        const Body& b = bodies[i];
        kinetic += b.m * (b.vx * b.vx + b.vy * b.vy) / 2;
        lz += b.m * (b.x * b.vy - b.y * b.vx);
        px += b.m * b.vx;
        py += b.m * b.vy;
        for (std::size_t j = i + 1; j < n; ++j) {
            const double dx = b.x - bodies[j].x, dy = b.y - bodies[j].y;
            const double r = VectorLength(dx, dy);
            if (r == 0)
                coincident = true;
            else
                potential -= kGConst * b.m * bodies[j].m / r;
        }
    }
    ConservedQuantities q;
    if (!coincident)
        q.energy = IfFinite(kinetic + potential);
    q.angularMomentum = IfFinite(lz);
    q.momentum = IfFinite(VectorLength(px, py));
    return q;
}

ConservedQuantities Conserved(const SimState& state, int last)
{
    const int n = std::clamp(last, 0, kBodies - 1) + 1;
    std::array<Body, kBodies> bodies{};
    for (int i = 0; i < n; ++i)
        bodies[i] = {state.mass[i], state.x[i], state.y[i], state.vx[i], state.vy[i]};
    return Conserved(std::span<const Body>(bodies.data(), static_cast<std::size_t>(n)));
}

} // namespace gravlag
