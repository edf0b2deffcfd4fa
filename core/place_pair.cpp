#include "core/place_pair.h"

#include <cmath>

#include "core/sim_state.h"

namespace gravlag {

PairPlacement PlacePair(double m0, double m1, double d, double f, double theta)
{
    const double pi = kPi, gConst = kGConst;
    const double theta2 = theta + pi;
    const double r0 = (d * m1) / (m0 + m1);
    const double r1 = (d * m0) / (m0 + m1);
    const double s0 = std::sqrt(((gConst * m1) * r0) / (d * d));
    const double s1 = std::sqrt(((gConst * m0) * r1) / (d * d));
    const double halfPi = pi / 2;
    PairPlacement p;
    p.x0 = r0 * std::cos(theta);
    p.y0 = r0 * std::sin(theta);
    p.x1 = r1 * std::cos(theta2);
    p.y1 = r1 * std::sin(theta2);
    p.vx0 = (s0 * std::cos(theta + halfPi)) * f;
    p.vy0 = (s0 * std::sin(theta + halfPi)) * f;
    p.vx1 = (s1 * std::cos(theta2 + halfPi)) * f;
    p.vy1 = (s1 * std::sin(theta2 + halfPi)) * f;
    return p;
}

} // namespace gravlag
