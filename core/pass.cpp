#include "core/pass.h"

#include <limits>

namespace gravlag {

double LargestFiniteDelay(double dt)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (!Finite(0.0 / dt))
        return -kInf;
    // DBL_MAX * |dt| lies within an ulp or two of the bound; the quotient grows with tau, so
    // stepping to the last tau whose quotient is finite finds the bound exactly.
    double t = std::fmin(DBL_MAX, DBL_MAX * std::fabs(dt));
    while (t > 0 && !Finite(t / dt))
        t = std::nextafter(t, 0.0);
    while (t < DBL_MAX && Finite(std::nextafter(t, kInf) / dt))
        t = std::nextafter(t, kInf);
    return t;
}

PassConstants::PassConstants(const SimState& s)
    : c(s.c), dt(s.dt), maxDelay(LargestFiniteDelay(s.dt))
{
    for (int j = 0; j < kBodies; ++j)
        gm[j] = kGConst * s.mass[static_cast<unsigned>(j)];
}

PassCarry::PassCarry(const SimState& s) { Separations<3>(s.x.data(), s.y.data(), sepSquared, sep); }

} // namespace gravlag
