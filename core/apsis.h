#pragma once
// Orbit angle measurement: full-circle direction of a vector, and the direction of body 1
// from body 0 at each greatest separation (apsis) of the pair.

#include <array>

#include "core/sim_state.h"

namespace gravlag {

// Angle of (x, y) in radians, 0 <= angle < 2*pi, from +x towards +y. (0, 0) gives 0.
double PolarAngle(double x, double y);

struct ApsisEvent {
    double parabA = 0, parabB = 0, apsisOffset = 0, apsisAngle = 0;
};

// True when sepHist holds a strict maximum two passes back.
inline bool IsApsis(const std::array<double, kSepEntries>& sep)
{
    return sep[1] < sep[2] && sep[2] > sep[3];
}

// For an event: fills state.angleHist from the histories and returns the parabola and the
// interpolated direction, in degrees from 0 up to 360.
ApsisEvent MeasureApsis(SimState& state);

// Direction at the parabola's vertex between two stored directions a and b (degrees),
// along the shorter arc; where the two lie less than half a turn apart this is exactly
// a + t*(b - a).
double InterpolateDirection(double a, double b, double t);

} // namespace gravlag
