#pragma once
// What the "Run report" window draws of the latest run: the elements of body 2 about body 1
// at sampled passes and the apsis directions with the run's line fit, kept from the panel's
// run hooks. At most kMaxSamples + 1 element samples, their room reserved when the run is
// set up, so that the passes allocate nothing for them.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/analysis/orbit_elements.h"
#include "core/line_fit.h"
#include "ui/subscription.h"

namespace gravlag {

class Form1;

struct ElementSample {
    double t = 0;     // k * dt, time units
    double a = 0;     // length units; NaN where the orbit is not bound
    double e = 0;     // NaN where absent
    double varpi = 0; // degrees, continued across 0/360 from the previous sample; NaN where absent
};

struct ApsisPoint {
    std::int64_t n = 0; // event number, from 1
    double angle = 0;   // direction, degrees
};

class RunSeries {
public:
    static constexpr std::int64_t kMaxSamples = 2000;
    // The run samples at the greatest common divisor of its subscribers' intervals, and the
    // run analysis takes every 100th pass in "2 BH's": an interval that divides 100 or is a
    // multiple of it keeps the run from sampling more often than either needs (160 beside
    // 100 would sample every 20th pass).
    static constexpr std::int64_t kAlongside = 100;
    // Passes between two samples of a run of `passes` passes: at most kMaxSamples + 1 samples,
    // and a divisor or a multiple of kAlongside.
    static std::int64_t SeriesInterval(double passes);

    explicit RunSeries(Form1& form1);
    RunSeries(const RunSeries&) = delete;
    RunSeries& operator=(const RunSeries&) = delete;

    const std::vector<ElementSample>& elements() const { return elements_; }
    const std::vector<ApsisPoint>& apsis() const { return apsis_; }
    // The run's line through the apsis directions at its last event; none without events.
    const std::optional<ApsisFit>& fit() const { return fit_; }
    // The fit's line at event n (from 1), as "Time Evolution Display" draws it.
    static double FitLine(const ApsisFit& fit, std::int64_t n);

private:
    std::vector<ElementSample> elements_;
    std::vector<ApsisPoint> apsis_;
    std::optional<ApsisFit> fit_;
    ui::ScopedSubscription samples_, apsisEvents_, finished_;
};

// The orbits of body 2 about body 1 elapsed from the first sample to each, each stretch of
// time counted in the Kepler period of the osculating a there (P grows as a^1.5 at a fixed
// mass): a widening pair's orbits lengthen as it runs. Empty without a starting a and period.
std::vector<double> OrbitsElapsed(const std::vector<ElementSample>& samples, const OrbitElements& start);

} // namespace gravlag
