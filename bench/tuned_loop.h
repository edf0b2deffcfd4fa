#pragma once
// A hand-tuned loop of the run's arithmetic for three bodies, to measure the run routine
// against: what a person would write for these runs alone, with no checks, no hooks and no
// countdowns, its values in registers and its quotients and roots two to an instruction.
// It takes short cuts that hold for the runs it is measured on (no separation or position
// exactly 0, no delay beyond the history), so its end state is compared with the run's,
// every double, before it is timed (TunedMismatch).

#include <cstdint>
#include <string>

#include "core/sim_state.h"

namespace gravlag::bench {

enum class TunedKind {
    Instantaneous,    // c 0 (the velocity estimate, which then delays nothing)
    VelocityEstimate, // c > 0, "Prediction" 0
    HistoryLookup,    // c > 0, "Prediction" 1
};

// `passes` passes of three bodies from `state` as the run's set-up left it, in place; on
// "Mercury" with the apsis measurements of the run.
void RunTunedLoop(SimState& state, TunedKind kind, std::int64_t passes);

// The first double of the state in which `tuned` differs from `run` by a bit ("x[1]",
// "hist.y(2, 20)", ...), or empty when they agree everywhere.
std::string TunedMismatch(const SimState& tuned, const SimState& run);

} // namespace gravlag::bench
