#pragma once
// The first half of a run: resets, takes the run's inputs from the host, prepares the
// displays, places the bodies on their two-body orbits and primes the histories.

#include <cstdint>
#include <memory>
#include <string>

#include "core/physics/integration.h"
#include "core/retardation.h"
#include "core/run.h"

namespace gravlag {

struct SetupOutcome {
    std::string refusal;      // non-empty: the run cannot start, and why (one line)
    RetardationMethod method = RetardationMethod::VelocityEstimate;
    Model model;
    // The runs the panel's own pass does not compute: what steps them, from the state set up.
    std::unique_ptr<Integration> integration;
    std::int64_t lastPass = -1; // last value of the pass counter
};

// Whether a model runs on an Integration; the panel's euler scheme under the retarded or the
// instantaneous law runs on its own pass loops.
bool RunsOnIntegration(const Model& model);

SetupOutcome SetUpRun(SimState& state, RunHost& host, RunValues& run);

} // namespace gravlag
