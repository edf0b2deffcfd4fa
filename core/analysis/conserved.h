#pragma once
// The totals over the active bodies 0..last that an isolated system with instantaneous
// forces keeps: with c 0 their drift measures the integrator; with a delay they change, and
// that is physics.

#include <optional>
#include <span>

#include "core/physics/model.h"
#include "core/sim_state.h"

namespace gravlag {

struct ConservedQuantities {
    std::optional<double> energy;          // kinetic + pairwise -G mi mj / rij; absent if two bodies coincide
    std::optional<double> angularMomentum; // z component about the origin, sum of m (x vy - y vx)
    std::optional<double> momentum;        // magnitude of the total momentum vector
};

// Bodies 0..last (last clamped to 0..2), G = kGConst.
ConservedQuantities Conserved(const SimState& state, int last);
// All the bodies of a system, G = 1 (kGConst).
ConservedQuantities Conserved(std::span<const Body> bodies);

} // namespace gravlag
