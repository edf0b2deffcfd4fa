#pragma once
// One pass of the main loop: forces from retarded source positions, then semi-implicit
// Euler. The pass is computed apart from the state and committed by the caller only when it
// proved sound, so that a fault leaves the state as the last completed pass left it.

#include <array>
#include <optional>
#include <string>

#include "core/sim_state.h"

namespace gravlag {

struct PassResult {
    std::array<double, kBodies> x{}, y{}, vx{}, vy{}, fx{}, fy{}, xRet{}, yRet{};
    std::optional<double> delay21, delay31; // assigned when their pair was evaluated
    std::string fault;                      // empty when the pass is sound
};

// Bodies 0..last take part; fromHistory selects the history lookup ("Prediction" 1).
PassResult ComputePass(const SimState& state, int last, bool fromHistory);

} // namespace gravlag
