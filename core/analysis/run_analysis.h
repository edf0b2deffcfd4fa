#pragma once
// Watches one run through its hooks and reports on it (run_report.h). Memory does not grow
// with the run: every series is a running least-squares line.
//
// What an "orbit" is:
// - "Mercury" (the scenario at begin): one apsis event, the greatest separation of bodies 0
//   and 1, as the run detects it once per turn; the elements are taken at each event.
// - "2 BH's": there are no apsis events; an orbit is a completed turn of body 1 about
//   body 0 from its starting direction, in either sense, seen at the sampled passes. The
//   elements are taken at the first sample on or past each full turn, so at most one sample
//   interval late. Samples must lie less than half a turn apart.
// A scenario switched during the run changes neither count.
//
// Rates per orbit are slopes of least-squares lines of a, e and varpi (unwrapped across
// 0/360) against the orbit number, from 3 orbits on; with fewer, (end - start) over the
// elapsed orbits t / (starting period).

#include <cstdint>
#include <optional>

#include "core/analysis/conserved.h"
#include "core/analysis/element_fits.h"
#include "core/analysis/orbit_elements.h"
#include "core/analysis/run_report.h"
#include "core/analysis/running_line.h"
#include "core/physics/model.h"
#include "core/run.h"

namespace gravlag {

class RunAnalysis {
public:
    // The samples a run's analysis needs, every that many passes (0: none), asked with the
    // state after set-up: in "2 BH's" every 100 passes, or more often where a starting orbit
    // would have fewer than 8 samples (a large dt), so that no two lie half a turn apart; in
    // "Mercury" none, the apsis events are its orbits.
    static std::int64_t SampleInterval(const SimState& state, const RunValues& run);

    // After set-up, before pass 0: starting elements, totals and theory. `law`: the run's
    // force law, which with c says whether the energy should be conserved.
    void begin(const SimState& state, const RunValues& run, ForceLaw law = ForceLaw::Retarded);
    // At every apsis event, after the run's own line fit has taken it.
    void orbit(const SimState& state, const RunValues& run);
    // At the sampled passes.
    void sample(const SimState& state, const RunValues& run);
    // The main loop's delay record; the last one handed over counts.
    void setDelays(const DelayStats& delays) { delays_ = delays; }
    // At the end of the run, with the state of its last completed pass.
    RunReport finish(const SimState& state, const RunResult& result) const;

private:
    void recordOrbit(const SimState& state);

    int last_ = 0;              // index of the last active body
    bool pairActive_ = false;   // bodies 0 and 1 both take part
    bool turnsCount_ = false;   // "2 BH's": orbits are turns, not apsis events
    bool instantaneous_ = true; // c 0 or the instantaneous law: the energy should be conserved
    OrbitElements start_;
    ConservedQuantities startTotals_;
    std::optional<TheoryValues> theory_;
    std::optional<DelayStats> delays_;

    std::int64_t orbits_ = 0;
    ElementFits fits_;      // the pair's elements at each orbit
    RunningLine apsisLine_; // apsis directions against the event number from 0

    double direction_ = 0; // latest direction of body 1 from body 0, degrees
    double turned_ = 0;    // angle turned since the start, degrees, signed
};

} // namespace gravlag
