#pragma once
// What a run's report makes of a pair's orbits, shared by the panel's runs (run_analysis.h)
// and a --system run's pair: the lines through the elements taken at each orbit, and the
// drifts of the totals from start to end.

#include <cstdint>
#include <optional>

#include "core/analysis/conserved.h"
#include "core/analysis/orbit_elements.h"
#include "core/analysis/run_report.h"
#include "core/analysis/running_line.h"

namespace gravlag {

// d moved into [-180, 180) by whole turns, degrees.
double WrapDegrees(double d);
// `angle` continued from `previous` across 0/360 by whole turns, degrees; `angle` itself
// where there is no previous one.
double ContinuedDegrees(const std::optional<double>& previous, double angle);

// The least-squares lines of a, e and varpi (continued across 0/360) against the orbit number.
class ElementFits {
public:
    // The elements taken at the end of orbit number `orbit` (1, 2, ...); an absent element
    // is left out of its line.
    void add(std::int64_t orbit, const OrbitElements& el);
    // The rates per orbit over a run of `orbits` orbits in `t` time units: from 3 orbits on
    // the lines' slopes with their standard errors; with fewer, (end - start) over the
    // elapsed orbits t / (starting period).
    ElementRates rates(std::int64_t orbits, const ElementsReport& elements, double t) const;

private:
    RunningLine a_, e_, varpi_;
    std::optional<double> varpiContinued_; // latest varpi added, degrees, continued across 0/360
};

// The report's energy, angular momentum and momentum from the totals at start and end.
void ReportDrifts(const ConservedQuantities& start, const ConservedQuantities& end,
                  RunReport& report);

} // namespace gravlag
