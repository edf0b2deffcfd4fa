#include "core/analysis/run_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/finite.h"

namespace gravlag {

namespace {

double DirectionOfBody1(const SimState& s)
{
    return std::atan2(s.y[1] - s.y[0], s.x[1] - s.x[0]) * 180 / std::numbers::pi;
}

} // namespace

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
    fits_.add(orbits_, InnerPairElements(state));
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
    el.rates = fits_.rates(orbits_, el, r.orbits.t);

    const RunValues& run = result.values;
    r.precession.events = run.apsisCount;
    if (run.apsisCount >= 2 && run.fit)
        r.precession.perOrbit = IfFinite(run.fit->fitB);
    r.precession.stdError = apsisLine_.slopeStdError();

    ReportDrifts(startTotals_, Conserved(state, last_), r);
    r.delay = delays_;
    r.theory = theory_;
    r.warnings = RunWarnings(r, instantaneous_);
    return r;
}

} // namespace gravlag
