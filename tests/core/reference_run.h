#pragma once
// The main loop written out the plain way: histories as 21-entry arrays shifted every pass,
// every delay and distance computed for every ordered pair, the lookup done with indices.
// Slow and obviously right; the run must match it bit for bit.

#include <array>
#include <cmath>
#include <cstdint>

#include "core/sim_state.h"

namespace gravlag::testing {

struct ReferenceBodies {
    std::array<double, 3> mass{}, x{}, y{}, vx{}, vy{}, fx{}, fy{}, xRet{}, yRet{};
    std::array<std::array<double, 21>, 3> xh{}, yh{};
    std::array<double, 5> sepHist{};
    double delay21 = -1, delay31 = -1;
};

inline ReferenceBodies ReferenceFrom(const SimState& s)
{
    ReferenceBodies b;
    b.mass = s.mass;
    b.x = s.x;
    b.y = s.y;
    b.vx = s.vx;
    b.vy = s.vy;
    b.fx = s.fx;
    b.fy = s.fy;
    b.xRet = s.xRet;
    b.yRet = s.yRet;
    b.sepHist = s.sepHist;
    for (int j = 0; j < 3; ++j)
        for (int h = 0; h < 21; ++h) {
            b.xh[j][h] = s.hist.x(j, h);
            b.yh[j][h] = s.hist.y(j, h);
        }
    return b;
}

inline void ReferencePasses(ReferenceBodies& b, int nLast, double c, double dt, bool pred1,
                            std::int64_t passes)
{
    const double g = 1.0;
    for (std::int64_t k = 0; k < passes; ++k) {
        auto& fx = b.fx;
        auto& fy = b.fy;
        for (int i = 0; i <= nLast; ++i) {
            fx[i] = 0;
            fy[i] = 0;
            for (int j = 0; j <= nLast; ++j) {
                if (j == i)
                    continue;
                double r = std::sqrt((b.x[i] - b.x[j]) * (b.x[i] - b.x[j])
                                     + (b.y[i] - b.y[j]) * (b.y[i] - b.y[j]));
                double tau = 0;
                if (c > 0)
                    tau = r / c;
                const double nDelay = std::floor(tau / dt);
                double xr = b.x[j] - b.vx[j] * tau;
                double yr = b.y[j] - b.vy[j] * tau;
                if (pred1) {
                    const double n = std::floor(tau / dt);
                    const double frac = tau - n * dt;
                    if (n < 20) {
                        const int m = static_cast<int>(n);
                        const double sx = (b.xh[j][m + 1] - b.xh[j][m]) / dt;
                        xr = b.xh[j][m] + sx * frac;
                        const double sy = (b.yh[j][m + 1] - b.yh[j][m]) / dt;
                        yr = b.yh[j][m] + sy * frac;
                    } else {
                        const double sx = (b.xh[j][20] - b.xh[j][19]) / dt;
                        xr = b.xh[j][20] + sx * (tau - 20 * dt);
                        const double sy = (b.yh[j][20] - b.yh[j][19]) / dt;
                        yr = b.yh[j][20] + sy * (tau - 20 * dt);
                    }
                }
                b.xRet[j] = xr;
                b.yRet[j] = yr;
                if (i == 2 && j == 0)
                    b.delay31 = nDelay;
                if (i == 1 && j == 0)
                    b.delay21 = nDelay;
                const double dx = b.x[i] - xr, dy = b.y[i] - yr;
                r = std::sqrt(dx * dx + dy * dy);
                const double r3 = (dx * dx + dy * dy) * r;
                const double f = g * b.mass[j] / r3;
                fx[i] = fx[i] + f * dx;
                fy[i] = fy[i] + f * dy;
            }
        }
        for (int i = 0; i <= nLast; ++i) {
            b.vx[i] = b.vx[i] - dt * fx[i];
            b.vy[i] = b.vy[i] - dt * fy[i];
            b.x[i] = b.x[i] + dt * b.vx[i];
            b.y[i] = b.y[i] + dt * b.vy[i];
        }
        for (int i = 0; i <= nLast; ++i)
            for (int h = 20; h >= 1; --h) {
                b.xh[i][h] = b.xh[i][h - 1];
                b.yh[i][h] = b.yh[i][h - 1];
            }
        for (int i = 0; i < 3; ++i) {
            b.xh[i][0] = b.x[i];
            b.yh[i][0] = b.y[i];
        }
        for (int h = 4; h >= 1; --h)
            b.sepHist[h] = b.sepHist[h - 1];
        b.sepHist[0] = std::sqrt((b.xh[1][0] - b.xh[0][0]) * (b.xh[1][0] - b.xh[0][0])
                                 + (b.yh[1][0] - b.yh[0][0]) * (b.yh[1][0] - b.yh[0][0]));
    }
}

} // namespace gravlag::testing
