#pragma once
// The report of a --system run (--report): the relative orbit of one pair of the file's
// bodies, `second` about `first`, watched on the integration's output. An orbit is a turn of
// `second` back through the direction in which it started from `first` (also for a circle,
// which has no apsides); the elements are taken there, located on the dense output (under
// euler at the end of the step that crosses). The precession is the slope of the directions
// of the greatest separations against their number. Totals are over all the bodies.

#include <cstddef>
#include <vector>

#include "core/analysis/element_fits.h"
#include "core/analysis/run_analysis.h"
#include "core/pair_watch.h"
#include "core/physics/integration.h"

namespace gravlag {

class SystemReport {
public:
    // Before the first step; `dense`: the integration answers anywhere in its last step.
    SystemReport(const Integration& integration, bool dense, const System& system, ForceLaw law,
                 std::size_t first, std::size_t second);
    // After each step, with `until` the end of the run when the step went past it.
    void stepped(double until);
    // At the end, with the bodies at time t.
    RunReport finish(const std::vector<Body>& end, double t) const;

private:
    OrbitElements Elements(const std::vector<Body>& bodies) const;

    const Integration& integration_;
    bool dense_;
    std::size_t first_, second_;
    bool instantaneous_;
    OrbitElements start_;
    ConservedQuantities startTotals_;
    std::optional<TheoryValues> theory_;
    PairWatch turns_, apsides_;
    std::vector<Body> bodies_; // scratch for the state at a turn

    std::int64_t orbits_ = 0;
    ElementFits fits_; // the pair's elements at each turn
    std::int64_t apsisEvents_ = 0;
    RunningLine apsisLine_; // directions (continued across 0/360) against the event number from 0
    std::optional<double> apsisUnwrapped_;
};

} // namespace gravlag
