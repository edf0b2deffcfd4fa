#include "core/analysis/run_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/finite.h"

namespace gravlag {

namespace {

// d moved into [-180, 180) by whole turns.
double WrapDegrees(double d) { return d - 360 * std::floor((d + 180) / 360); }

double DirectionOfBody1(const SimState& s)
{
    return std::atan2(s.y[1] - s.y[0], s.x[1] - s.x[0]) * 180 / std::numbers::pi;
}

std::optional<double> Difference(const std::optional<double>& end, const std::optional<double>& start)
{
    if (!end || !start)
        return std::nullopt;
    return IfFinite(*end - *start);
}

DriftReport Drift(const std::optional<double>& start, const std::optional<double>& end)
{
    DriftReport d{start, end, std::nullopt};
    if (start && end && *start != 0)
        d.relChange = IfFinite((*end - *start) / std::fabs(*start));
    return d;
}

std::optional<double> PerOrbit(const std::optional<double>& change, double orbits)
{
    if (!change || !(orbits > 0))
        return std::nullopt;
    return IfFinite(*change / orbits);
}

} // namespace

ElementRates PairRates(std::int64_t orbits, const RunningLine& a, const RunningLine& e,
                       const RunningLine& varpi, const ElementsReport& el, double t)
{
    ElementRates rates;
    if (orbits >= 3) {
        rates.daPerOrbit = a.slope();
        rates.dePerOrbit = e.slope();
        rates.dvarpiPerOrbit = varpi.slope();
        rates.stdError = {a.slopeStdError(), e.slopeStdError(), varpi.slopeStdError()};
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

std::int64_t RunAnalysis::SampleInterval(const SimState& state, const RunValues& run)
{
    constexpr std::int64_t kEvery = 100;
    if (state.scenarioCode != Scenario::TwoBlackHoles || run.nLast < 1)
        return 0;
    const std::optional<double> period = InnerPairElements(state).period;
    if (!period || !(state.dt > 0))
        return kEvery;
    const double perEighth = std::floor(*period / 8 / state.dt);
    if (!(perEighth < static_cast<double>(kEvery)))
        return kEvery;
    return perEighth >= 1 ? static_cast<std::int64_t>(perEighth) : 1;
}

void RunAnalysis::begin(const SimState& state, const RunValues& run, ForceLaw law)
{
    *this = RunAnalysis{};
    last_ = std::clamp(run.nLast, 0, kBodies - 1);
    pairActive_ = last_ >= 1;
    turnsCount_ = state.scenarioCode == Scenario::TwoBlackHoles;
    instantaneous_ = !(state.c > 0) || law == ForceLaw::Instantaneous;
    startTotals_ = Conserved(state, last_);
    if (pairActive_) {
        start_ = InnerPairElements(state);
        theory_ = Theory(TheoryInputsFrom(state, last_));
    }
    direction_ = DirectionOfBody1(state);
}

void RunAnalysis::orbit(const SimState& state, const RunValues& run)
{
    if (run.apsisAngle)
        apsisLine_.add(static_cast<double>(run.apsisCount - 1), *run.apsisAngle);
    if (!turnsCount_)
        recordOrbit(state);
}

void RunAnalysis::sample(const SimState& state, const RunValues& /*run*/)
{
    if (!turnsCount_ || !pairActive_)
        return;
    const double direction = DirectionOfBody1(state);
    if (!Finite(direction))
        return;
    turned_ += WrapDegrees(direction - direction_);
    direction_ = direction;
    if (std::fabs(turned_) >= 360 * static_cast<double>(orbits_ + 1))
        recordOrbit(state);
}

void RunAnalysis::recordOrbit(const SimState& state)
{
    ++orbits_;
    if (!pairActive_)
        return;
    const OrbitElements el = InnerPairElements(state);
    const double x = static_cast<double>(orbits_);
    if (el.a)
        aLine_.add(x, *el.a);
    if (el.e)
        eLine_.add(x, *el.e);
    if (el.varpi) {
        double varpi = *el.varpi;
        if (varpiUnwrapped_)
            varpi = *varpiUnwrapped_ + WrapDegrees(varpi - *varpiUnwrapped_);
        varpiUnwrapped_ = varpi;
        varpiLine_.add(x, varpi);
    }
}

RunReport RunAnalysis::finish(const SimState& state, const RunResult& result) const
{
    RunReport r;
    r.scenario = turnsCount_ ? Scenario::TwoBlackHoles : Scenario::Mercury;
    r.orbits.count = orbits_;
    const double t = static_cast<double>(result.passes) * state.dt;
    r.orbits.t = Finite(t) ? t : 0;

    ElementsReport& el = r.elements;
    el.start = start_;
    if (pairActive_)
        el.end = InnerPairElements(state);
    el.rates = PairRates(orbits_, aLine_, eLine_, varpiLine_, el, r.orbits.t);

    const RunValues& run = result.values;
    r.precession.events = run.apsisCount;
    if (run.apsisCount >= 2 && run.fit)
        r.precession.perOrbit = IfFinite(run.fit->fitB);
    r.precession.stdError = apsisLine_.slopeStdError();

    const ConservedQuantities endTotals = Conserved(state, last_);
    r.energy = Drift(startTotals_.energy, endTotals.energy);
    r.angularMomentum = Drift(startTotals_.angularMomentum, endTotals.angularMomentum);
    r.momentum = {startTotals_.momentum, endTotals.momentum,
                  Difference(endTotals.momentum, startTotals_.momentum)};
    r.delay = delays_;
    r.theory = theory_;
    r.warnings = RunWarnings(r, instantaneous_);
    return r;
}

} // namespace gravlag
