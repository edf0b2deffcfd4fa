#include "app/desktop/run_series.h"

#include <cmath>
#include <limits>

#include "panel/form1.h"

namespace gravlag {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Or(const std::optional<double>& v) { return v ? *v : kNaN; }

} // namespace

std::int64_t RunSeries::SeriesInterval(double passes)
{
    const double fewest = std::ceil(passes / static_cast<double>(kMaxSamples));
    if (!(fewest >= 1 && fewest < 1e18))
        return 1;
    const auto every = static_cast<std::int64_t>(fewest);
    if (every > kAlongside)
        return (every + kAlongside - 1) / kAlongside * kAlongside;
    for (std::int64_t d = every;; ++d)
        if (kAlongside % d == 0)
            return d;
}

RunSeries::RunSeries(Form1& form1)
{
    // Asked once the run is set up: the run starts afresh here, and the room for its samples
    // is made before the first pass.
    samples_ = form1.onSample(
        [this](const SimState&, const RunValues& run) {
            elements_.clear();
            elements_.reserve(kMaxSamples + 1);
            apsis_.clear();
            fit_.reset();
            return SeriesInterval(std::floor(run.iterEndValue) + 1);
        },
        [this](const SimState& state, const RunValues& run) {
            if (elements_.size() == elements_.capacity())
                return;
            const OrbitElements el = InnerPairElements(state);
            double varpi = Or(el.varpi);
            if (std::isfinite(varpi) && !elements_.empty() && std::isfinite(elements_.back().varpi))
                varpi += 360 * std::round((elements_.back().varpi - varpi) / 360);
            elements_.push_back({static_cast<double>(run.k) * state.dt, Or(el.a), Or(el.e), varpi});
        });
    apsisEvents_ = form1.onApsisEvent([this](const SimState&, const RunValues& run) {
        if (!run.apsisAngle || !run.fit)
            return;
        apsis_.push_back({run.apsisCount, *run.apsisAngle});
        fit_ = run.fit;
    });
    finished_ = form1.onRunFinished([this](const RunResult& result) {
        if (result.ended == RunEnd::Refused) { // it never began: nothing of it to draw
            elements_.clear();
            apsis_.clear();
            fit_.reset();
        }
    });
}

double RunSeries::FitLine(const ApsisFit& fit, std::int64_t n)
{
    return fit.fitA + fit.fitB * static_cast<double>(n - 1); // events from 0 in the fit
}

std::vector<double> OrbitsElapsed(const std::vector<ElementSample>& samples, const OrbitElements& start)
{
    std::vector<double> orbits;
    if (!start.a || !start.period || samples.empty())
        return orbits;
    const auto period = [&](const ElementSample& s) {
        const double p = *start.period * std::pow(s.a / *start.a, 1.5);
        return std::isfinite(p) && p > 0 ? p : *start.period;
    };
    orbits.push_back(0);
    for (std::size_t i = 1; i < samples.size(); ++i)
        orbits.push_back(orbits.back()
                         + (samples[i].t - samples[i - 1].t) * 2 / (period(samples[i]) + period(samples[i - 1])));
    return orbits;
}

} // namespace gravlag
