#pragma once
// Force laws apart from integrators: the acceleration of every body from what an integrator
// hands over, the state now and, for a delayed law, where each target sees each source (its
// retarded state and the delay). The integrators decide how a retarded state is found (the
// euler scheme by velocity or by its short history, the reference integrator by the true
// retarded time on its dense history); the laws only say what pull that state exerts.
//
// The pull is summed as the panel's pass sums it, so that the euler scheme under `retarded`
// repeats the pass bit for bit: per target, sources in ascending order, each adding
// f (x_i - x_s) with f = G m_j / (r^2 r), x_s the point the target is pulled toward; the
// acceleration is the negated sum.

#include <cmath>
#include <cstddef>
#include <span>

#include "core/physics/model.h"

namespace gravlag {

// One body's kinematic state: position (length units) and velocity (length per time unit).
struct Motion {
    double x = 0, y = 0, vx = 0, vy = 0;
};

// Source j as target i sees it: its state at the retarded time and the delay (time units).
struct SeenSource {
    Motion at;
    double tau = 0;
};

// Whether the law asks for retarded states at propagation speed c.
inline bool LawIsDelayed(ForceLaw law, double c)
{
    return c > 0 && (law == ForceLaw::Retarded || law == ForceLaw::AberrationFree);
}

// The point a delayed law pulls the target toward.
inline double PulledTowardX(ForceLaw law, const SeenSource& s)
{
    return law == ForceLaw::AberrationFree ? s.at.x + s.tau * s.at.vx : s.at.x;
}
inline double PulledTowardY(ForceLaw law, const SeenSource& s)
{
    return law == ForceLaw::AberrationFree ? s.at.y + s.tau * s.at.vy : s.at.y;
}

// Adds the pull of mass parameter gm (G m, the source's) at (xs, ys) on a target at (xi, yi)
// to the target's sums, in the pass's order of operations.
[[gnu::always_inline]] inline void AddPull(double gm, double xi, double yi, double xs, double ys,
                                           double& fx, double& fy)
{
    const double dx = xi - xs, dy = yi - ys;
    const double r2 = dx * dx + dy * dy;
    const double r = std::sqrt(r2);
    const double f = gm / (r2 * r);
    fx = fx + f * dx;
    fy = fy + f * dy;
}

// The Einstein-Infeld-Hoffmann accelerations (first post-Newtonian order, instantaneous) of
// all bodies: ax, ay get one entry per body. c > 0.
void EihAccelerations(double c, std::span<const double> gm, std::span<const Motion> now,
                      std::span<double> ax, std::span<double> ay);

// The accelerations under `law` of all bodies, now[i] their states, gm[i] = G m_i. `seen(i, j)`
// returns source j as target i sees it; it is asked under `retarded` and `aberration-free`
// (also at c 0, where it answers with delay 0: the euler scheme then repeats the pass's
// x_j - v_j * 0) in the order the sums need it (targets ascending, then sources ascending).
template <class Seen>
void Accelerations(ForceLaw law, double c, std::span<const double> gm, std::span<const Motion> now,
                   Seen&& seen, std::span<double> ax, std::span<double> ay)
{
    if (law == ForceLaw::PostNewtonian1) {
        EihAccelerations(c, gm, now, ax, ay);
        return;
    }
    const bool delayed = law == ForceLaw::Retarded || law == ForceLaw::AberrationFree;
    const std::size_t n = now.size();
    for (std::size_t i = 0; i < n; ++i) {
        double fx = 0, fy = 0;
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i)
                continue;
            if (delayed) {
                const SeenSource s = seen(i, j);
                AddPull(gm[j], now[i].x, now[i].y, PulledTowardX(law, s), PulledTowardY(law, s),
                        fx, fy);
            } else {
                AddPull(gm[j], now[i].x, now[i].y, now[j].x, now[j].y, fx, fy);
            }
        }
        ax[i] = -fx;
        ay[i] = -fy;
    }
}

} // namespace gravlag
