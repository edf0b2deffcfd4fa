#include "core/analysis/budget.h"

#include <cmath>

#include "core/finite.h"

namespace gravlag {

BudgetQuantity BudgetQuantityFor(Scenario scenario)
{
    return scenario == Scenario::Mercury ? BudgetQuantity::Precession : BudgetQuantity::DaPerOrbit;
}

Estimate MeasuredRate(const RunReport& report, BudgetQuantity quantity)
{
    if (quantity == BudgetQuantity::Precession)
        return {report.precession.perOrbit, report.precession.stdError, {}};
    return {report.elements.rates.daPerOrbit, report.elements.rates.stdError.daPerOrbit, {}};
}

Estimate Difference(const Estimate& a, const Estimate& b)
{
    Estimate d;
    if (a.value && b.value)
        d.value = IfFinite(*a.value - *b.value);
    if (d.value && a.stdError && b.stdError)
        d.stdError = IfFinite(std::sqrt(*a.stdError * *a.stdError + *b.stdError * *b.stdError));
    return d;
}

Budget MakeBudget(BudgetQuantity quantity, const BudgetRuns& runs)
{
    const Estimate run = MeasuredRate(runs.run, quantity);
    const Estimate sameAtC0 = MeasuredRate(runs.sameAtC0, quantity);
    const Estimate twoC0 = MeasuredRate(runs.twoBodiesC0, quantity);
    const Estimate two = MeasuredRate(runs.twoBodies, quantity);
    Budget b;
    b.quantity = quantity;
    b.integrator = twoC0;
    b.perturber = Difference(sameAtC0, twoC0);
    b.delay = Difference(run, sameAtC0);
    b.delayTwoBodies = Difference(two, twoC0);
    b.total = run;
    b.theory = runs.run.theory;
    return b;
}

} // namespace gravlag
