#include "core/apsis.h"

#include <cmath>

namespace gravlag {

double PolarAngle(double x, double y)
{
    constexpr double pi = kPi;
    if (y == 0)
        return x < 0 ? pi : 0.0; // the negative x axis points at pi, not 0
    double theta;
    if (std::fabs(x) > std::fabs(y)) {
        theta = std::atan(y / x);
        if (x < 0)
            theta = theta + pi;
        if (x > 0 && y < 0)
            theta = theta + 2 * pi;
    } else {
        theta = pi / 2 - std::atan(x / y);
        if (y < 0)
            theta = theta + pi;
    }
    return theta;
}

double InterpolateDirection(double a, double b, double t)
{
    double delta = b - a;
    if (delta > 180 || delta < -180) {
        // The pair crosses 0/360 between the two entries: go the short way round.
        delta = delta > 0 ? delta - 360 : delta + 360;
        double angle = a + t * delta;
        if (angle < 0)
            angle = angle + 360;
        else if (angle >= 360)
            angle = angle - 360;
        return angle >= 360 ? 0.0 : angle; // -tiny + 360 can round up to 360
    }
    return a + t * delta;
}

ApsisEvent MeasureApsis(SimState& state)
{
    const double d1 = state.sepHist[1], d2 = state.sepHist[2], d3 = state.sepHist[3];
    ApsisEvent e;
    const double a = d2 - d1;
    const double b = d3 - d1;
    e.parabB = (b - 2 * a) / 2;
    e.parabA = a - e.parabB;
    e.apsisOffset = -e.parabA / (2 * e.parabB);
    for (int h = 0; h < kSepEntries; ++h)
        state.angleHist[static_cast<unsigned>(h)] =
            PolarAngle(state.xHist1(h) - state.xHist0(h), state.yHist1(h) - state.yHist0(h)) * 180
            / kPi;
    const auto& ang = state.angleHist;
    if (e.apsisOffset < 1)
        e.apsisAngle = InterpolateDirection(ang[1], ang[2], e.apsisOffset);
    else
        e.apsisAngle = InterpolateDirection(ang[2], ang[3], e.apsisOffset - 1);
    return e;
}

} // namespace gravlag
