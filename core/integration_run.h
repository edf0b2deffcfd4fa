#pragma once
// The main loop over an Integration: the runs whose force law or integrator the panel's
// own pass does not compute. It drives the same RunHost hooks at the same passes as the
// pass loop, pass k standing for the time (k + 1) dt, so that everything that watches a run
// watches these too.

#include <cstdint>

#include "core/physics/integration.h"
#include "core/run.h"

namespace gravlag {

// Passes 0..kEnd from the integration's start state; the state's bodies 0..n-1 follow it.
// `dense`: the integration answers anywhere in its last step (apsis events are then located
// on it; otherwise between two passes by linear interpolation). `historyLookup`: the
// integration looks retarded positions up in a history of kHistoryEntries passes, and the
// delay record counts the passes whose delays went beyond it.
void RunIntegrationPasses(SimState& state, RunHost& host, RunResult& result, std::int64_t kEnd,
                          Integration& integration, bool dense, bool historyLookup);

} // namespace gravlag
