#pragma once
// Sweep lanes: the main loops of several runs that take the same loop (number of bodies,
// c > 0 or not, retardation method) computed together in SIMD lanes, each lane its own
// run to the last bit. A run whose thread has a LaneDriver hands its passes to it between
// the passes that call the host; the driver hands the run back, its state written back,
// for those passes, at its last pass and at a pass whose checks fail, which the run then
// computes itself (and names the fault of) as it would have without lanes.

#include <cstdint>

#include "core/countdown.h"
#include "core/retardation.h"
#include "core/sim_state.h"

namespace gravlag {

struct PassConstants;
struct PassCarry;

// What selects a main loop: runs with equal keys share the pass arithmetic.
struct LaneKey {
    int last = 0;         // index of the last active body, 0..2
    bool delayed = false; // c > 0 under the retarded law
    RetardationMethod method = RetardationMethod::VelocityEstimate;
    bool operator==(const LaneKey&) const = default;
};

// One run's main loop as it hands itself to a driver, with everything its passes change.
struct LaneRun {
    LaneKey key;
    SimState* state = nullptr;
    const PassConstants* constants = nullptr;
    HistoryLookup* lookup = nullptr; // primed and pushed only with the history lookup
    PassCarry* carry = nullptr;
    Countdown *display = nullptr, *plot = nullptr, *sample = nullptr;
    bool plotOn = false, sampleOn = false; // whether plot and sample passes call the host
    bool mercury = false;                  // whether an apsis after a pass calls the host
    std::int64_t k = 0;    // in: the next pass; out: the pass the driver stopped at
    std::int64_t kEnd = 0; // the last pass
    // Out: true when pass k is committed and its countdowns not yet asked (the run calls
    // the host for it as after its own pass); false when the run must compute pass k.
    bool committed = false;

    // Passes from k that ask the host nothing: the next pass with a countdown due is k + this.
    std::int64_t quietPasses() const;
};

class LaneDriver {
public:
    virtual ~LaneDriver() = default;
    // Computes passes of `run` from run.k on in lanes and returns with the state of its last
    // committed pass in the run's own objects and the countdowns advanced past the passes it
    // made quietly. False: the driver does not take this run (it runs alone).
    virtual bool advance(LaneRun& run) = 0;
};

// The driver of this thread's runs, if any (set by whoever runs them in lanes).
LaneDriver* CurrentLaneDriver();
void SetCurrentLaneDriver(LaneDriver* driver);

} // namespace gravlag
