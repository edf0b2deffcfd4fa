#include "core/analysis/converged_report.h"

namespace gravlag {

void AddConvergence(RunReport& atDt, const RunReport& atHalf, const RunReport& atQuarter)
{
    const ElementRates &r = atDt.elements.rates, &h = atHalf.elements.rates, &q = atQuarter.elements.rates;
    atDt.elements.rates.convergence = ElementRates::Convergences{
        Extrapolate(r.daPerOrbit, h.daPerOrbit, q.daPerOrbit, r.stdError.daPerOrbit),
        Extrapolate(r.dePerOrbit, h.dePerOrbit, q.dePerOrbit, r.stdError.dePerOrbit),
        Extrapolate(r.dvarpiPerOrbit, h.dvarpiPerOrbit, q.dvarpiPerOrbit, r.stdError.dvarpiPerOrbit)};
    atDt.precession.convergence = Extrapolate(atDt.precession.perOrbit, atHalf.precession.perOrbit,
                                              atQuarter.precession.perOrbit, atDt.precession.stdError);
}

void AddConvergence(Budget& atDt, const Budget& atHalf, const Budget& atQuarter)
{
    const auto row = [](Estimate& r, const Estimate& h, const Estimate& q) {
        r.convergence = Extrapolate(r.value, h.value, q.value, r.stdError);
    };
    row(atDt.integrator, atHalf.integrator, atQuarter.integrator);
    row(atDt.perturber, atHalf.perturber, atQuarter.perturber);
    row(atDt.delay, atHalf.delay, atQuarter.delay);
    row(atDt.delayTwoBodies, atHalf.delayTwoBodies, atQuarter.delayTwoBodies);
    row(atDt.total, atHalf.total, atQuarter.total);
}

} // namespace gravlag
