#include "core/analysis/element_fits.h"

#include <cmath>

#include "core/finite.h"

namespace gravlag {

namespace {

std::optional<double> Difference(const std::optional<double>& end, const std::optional<double>& start)
{
    if (!end || !start)
        return std::nullopt;
    return IfFinite(*end - *start);
}

std::optional<double> PerOrbit(const std::optional<double>& change, double orbits)
{
    if (!change || !(orbits > 0))
        return std::nullopt;
    return IfFinite(*change / orbits);
}

DriftReport Drift(const std::optional<double>& start, const std::optional<double>& end)
{
    DriftReport d{start, end, std::nullopt};
    if (start && end && *start != 0)
        d.relChange = IfFinite((*end - *start) / std::fabs(*start));
    return d;
}

} // namespace

double WrapDegrees(double d) { return d - 360 * std::floor((d + 180) / 360); }

double ContinuedDegrees(const std::optional<double>& previous, double angle)
{
    return previous ? *previous + WrapDegrees(angle - *previous) : angle;
}

void ElementFits::add(std::int64_t orbit, const OrbitElements& el)
{
    const double x = static_cast<double>(orbit);
    if (el.a)
        a_.add(x, *el.a);
    if (el.e)
        e_.add(x, *el.e);
    if (el.varpi) {
        varpiContinued_ = ContinuedDegrees(varpiContinued_, *el.varpi);
        varpi_.add(x, *varpiContinued_);
    }
}

ElementRates ElementFits::rates(std::int64_t orbits, const ElementsReport& el, double t) const
{
    ElementRates rates;
    if (orbits >= 3) {
        rates.daPerOrbit = a_.slope();
        rates.dePerOrbit = e_.slope();
        rates.dvarpiPerOrbit = varpi_.slope();
        rates.stdError = {a_.slopeStdError(), e_.slopeStdError(), varpi_.slopeStdError()};
    } else {
        const double elapsed = el.start.period ? t / *el.start.period : 0;
        rates.daPerOrbit = PerOrbit(Difference(el.end.a, el.start.a), elapsed);
        rates.dePerOrbit = PerOrbit(Difference(el.end.e, el.start.e), elapsed);
        std::optional<double> turn = Difference(el.end.varpi, el.start.varpi);
        if (turn)
            turn = WrapDegrees(*turn);
        rates.dvarpiPerOrbit = PerOrbit(turn, elapsed);
    }
    return rates;
}

void ReportDrifts(const ConservedQuantities& start, const ConservedQuantities& end,
                  RunReport& report)
{
    report.energy = Drift(start.energy, end.energy);
    report.angularMomentum = Drift(start.angularMomentum, end.angularMomentum);
    report.momentum = {start.momentum, end.momentum, Difference(end.momentum, start.momentum)};
}

} // namespace gravlag
