#pragma once
// The budget of a run's measured rate: how much of it the integrator, the outer body and the
// delayed pull each make, from the run and three companion runs of the same texts:
//   integrator     = rate(2 bodies, c 0)
//   perturber      = rate(3 bodies, c 0) - rate(2 bodies, c 0)
//   delay          = rate(the run) - rate(the run's texts at c 0)
//   delayTwoBodies = rate(2 bodies, the run's c) - rate(2 bodies, c 0)
//   total          = rate(the run)
// so that integrator + perturber + delay = total for a three-body run. The rate is the apsis
// precession in "Mercury" (the run's line fit b, degrees per orbit) and the widening of the
// pair in "2 BH's" (daPerOrbit, length units per orbit). Standard errors of a difference are
// those of its two rates in quadrature, as the runs are independent fits.

#include <optional>

#include "core/analysis/run_report.h"

namespace gravlag {

enum class BudgetQuantity { Precession, DaPerOrbit };

// The quantity a run's scenario budgets: precession in "Mercury", daPerOrbit in "2 BH's".
BudgetQuantity BudgetQuantityFor(Scenario scenario);

struct Estimate {
    std::optional<double> value;
    std::optional<double> stdError; // absent where the value has none (fewer than 3 orbits)
    std::optional<Convergence> convergence; // where the budget was also made at dt/2 and dt/4
};

// The rate a report measured for the quantity.
Estimate MeasuredRate(const RunReport& report, BudgetQuantity quantity);
// a - b; the value absent when either is, the error when either error is.
Estimate Difference(const Estimate& a, const Estimate& b);

// The reports of the run and of its three companions.
struct BudgetRuns {
    const RunReport& run;         // the texts as given
    const RunReport& sameAtC0;    // the same texts at c 0
    const RunReport& twoBodiesC0; // "n object" 2 at c 0
    const RunReport& twoBodies;   // "n object" 2 at the run's c
};

struct Budget {
    BudgetQuantity quantity = BudgetQuantity::Precession;
    Estimate integrator, perturber, delay, delayTwoBodies, total;
    std::optional<TheoryValues> theory; // the run's, read beside the parts
};

Budget MakeBudget(BudgetQuantity quantity, const BudgetRuns& runs);

} // namespace gravlag
