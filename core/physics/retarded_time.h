#pragma once
// The true retarded time of a source for a target at (xi, yi) at time t: the delay tau >= 0
// with |x_i - x_j(t - tau)| = c tau. Newton's method on g(tau) = |x_i - x_j(t - tau)| - c tau,
// whose slope (d . v_j) / |d| - c is below -(c - |v_j|) < 0 for a source slower than c: g falls
// strictly, the root is unique and the iteration converges (quadratically near the root).

#include <cmath>
#include <optional>

#include "core/physics/force_law.h"

namespace gravlag {

inline constexpr int kRetardedTimeIterations = 50;

// sourceAt(time) returns the source's Motion at that time. `guess` > 0 starts the iteration
// (the last delay of the pair is a good one); otherwise the present distance over c does.
// Empty when it does not converge: a source not slower than c, or a state not finite.
template <class SourceAt>
std::optional<SeenSource> SolveRetardedTime(double xi, double yi, double t, double c,
                                            double guess, SourceAt&& sourceAt)
{
    double tau = guess;
    if (!(tau > 0)) {
        const Motion now = sourceAt(t);
        const double dx = xi - now.x, dy = yi - now.y;
        tau = std::sqrt(dx * dx + dy * dy) / c;
    }
    double lastChange = INFINITY;
    for (int it = 0; it < kRetardedTimeIterations; ++it) {
        const Motion s = sourceAt(t - tau);
        const double dx = xi - s.x, dy = yi - s.y;
        const double r = std::sqrt(dx * dx + dy * dy);
        const double g = r - c * tau;
        const double slope = r > 0 ? (dx * s.vx + dy * s.vy) / r - c : -c;
        if (!(slope < 0) || !std::isfinite(g))
            return std::nullopt;
        const double newton = tau - g / slope;
        const double next = newton > 0.5 * tau ? newton : 0.5 * tau;
        // Converged to the last bits; or down to where the rounding of the positions in g
        // (divided by the slope: a source near c flattens g) stops it from shrinking.
        const double change = std::fabs(next - tau);
        const bool done = change <= 1e-15 * next * std::fmax(1.0, c / -slope)
            || (change <= 1e-12 * next && change >= 0.5 * lastChange);
        lastChange = change;
        tau = next;
        if (done)
            return SeenSource{sourceAt(t - tau), tau};
    }
    return std::nullopt;
}

} // namespace gravlag
