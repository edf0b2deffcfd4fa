#include "core/analysis/conserved.h"

#include <algorithm>
#include <cmath>

#include "core/vector_length.h"
#include "core/finite.h"

namespace gravlag {

ConservedQuantities Conserved(const SimState& state, int last)
{
    const unsigned n = static_cast<unsigned>(std::clamp(last, 0, kBodies - 1)) + 1;
    double kinetic = 0, potential = 0, lz = 0, px = 0, py = 0;
    bool coincident = false;
    for (unsigned i = 0; i < n; ++i) {
        const double m = state.mass[i], vx = state.vx[i], vy = state.vy[i];
        kinetic += m * (vx * vx + vy * vy) / 2;
        lz += m * (state.x[i] * vy - state.y[i] * vx);
        px += m * vx;
        py += m * vy;
        for (unsigned j = i + 1; j < n; ++j) {
            const double dx = state.x[i] - state.x[j], dy = state.y[i] - state.y[j];
            const double r = VectorLength(dx, dy);
            if (r == 0)
                coincident = true;
            else
                potential -= kGConst * state.mass[i] * state.mass[j] / r;
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
