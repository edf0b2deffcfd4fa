#pragma once
// Running least-squares line through the apsis directions of one run: x = event number
// from 0, y = direction in degrees. Running sums, so every event costs the same.

#include <cstdint>
#include <optional>

namespace gravlag {

struct ApsisFit {
    std::int64_t fitX = 0; // abscissa of the latest event: its number from 0
    std::int64_t fitN = 0; // events summed
    double fitSumX = 0, fitSumXX = 0;  // sums of fitX and of fitX squared
    double fitSumY = 0, fitSumXY = 0;  // sums of the directions and of direction * fitX, degrees
    double fitA = 0;      // intercept, degrees ("a")
    double fitB = 0;      // slope, degrees per event ("b")
    double predAngle = 0; // the line at fitX, degrees ("prediction")
};

// The fit with the event numbered apsisCount (from 1, already counted) and its direction
// `angle` added to `fit`, the fit of the events before it (none before the first). With a
// single point the line is not determined; it is then taken flat through that point
// (fitA = angle, fitB = 0).
ApsisFit AddApsisToFit(const std::optional<ApsisFit>& fit, std::int64_t apsisCount, double angle);

} // namespace gravlag
