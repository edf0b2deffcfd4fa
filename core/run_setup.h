#pragma once
// The first half of a run: resets, takes the run's inputs from the host, prepares the
// displays, places the bodies on their two-body orbits and primes the histories.

#include <cstdint>
#include <string>

#include "core/retardation.h"
#include "core/run.h"

namespace gravlag {

struct SetupOutcome {
    std::string refusal;      // non-empty: the run cannot start, and why (one line)
    RetardationMethod method = RetardationMethod::VelocityEstimate;
    Model model;
    std::int64_t lastPass = -1; // last value of the pass counter
};

SetupOutcome SetUpRun(SimState& state, RunHost& host, RunValues& run);

} // namespace gravlag
