#include "core/pass.h"

#include <cmath>

#include "core/retardation.h"

namespace gravlag {

namespace {

std::string BodyName(int i) { return "body " + std::to_string(i + 1); }

bool Finite(double v) { return std::isfinite(v); }

} // namespace

PassResult ComputePass(const SimState& s, int last, bool fromHistory)
{
    PassResult p;
    p.xRet = s.xRet;
    p.yRet = s.yRet;
    p.fx = s.fx;
    p.fy = s.fy;
    const double c = s.c, dt = s.dt;
    // The current separation of a pair and its delay do not depend on which body is the
    // target: (x(i) - x(j))^2 and (x(j) - x(i))^2 are the same double. Computed once a pair.
    double sepSquared[kBodies][kBodies] = {}, sep[kBodies][kBodies] = {}, delay[kBodies][kBodies] = {};
    for (int i = 0; i <= last; ++i)
        for (int j = i + 1; j <= last; ++j) {
            const auto ui = static_cast<unsigned>(i), uj = static_cast<unsigned>(j);
            const double ex = s.x[ui] - s.x[uj], ey = s.y[ui] - s.y[uj];
            sepSquared[i][j] = sepSquared[j][i] = ex * ex + ey * ey;
            sep[i][j] = sep[j][i] = std::sqrt(sepSquared[i][j]);
            delay[i][j] = delay[j][i] = c > 0 ? sep[i][j] / c : 0.0;
        }
    for (int i = 0; i <= last; ++i) {
        const auto ui = static_cast<unsigned>(i);
        p.fx[ui] = 0;
        p.fy[ui] = 0;
        for (int j = 0; j <= last; ++j) {
            if (j == i)
                continue;
            const auto uj = static_cast<unsigned>(j);
            const double tau = delay[i][j];
            p.xRet[uj] = s.x[uj] - s.vx[uj] * tau;
            p.yRet[uj] = s.y[uj] - s.vy[uj] * tau;
            if (fromHistory
                && !RetardedPosition(j, XHistory(s.hist, j), YHistory(s.hist, j), tau, dt, p.xRet,
                                     p.yRet)) {
                p.fault = "the history lookup of " + BodyName(j) + " as seen from " + BodyName(i)
                    + " has no entry for its delay";
                return p;
            }
            if ((i == 1 || i == 2) && j == 0) {
                const double nDelay = std::floor(tau / dt);
                if (!Finite(nDelay)) {
                    p.fault = "overflow: the delay of " + BodyName(i) + " from " + BodyName(0)
                        + " in time steps is beyond range (c too small for dt)";
                    return p;
                }
                (i == 2 ? p.delay31 : p.delay21) = nDelay;
            }
            const double dx = s.x[ui] - p.xRet[uj], dy = s.y[ui] - p.yRet[uj];
            // Without a delay the retarded position is the current one to the last bit
            // (x - v*0 and h0 + s*0 give x back), so its distance is the one just taken.
            const double r2 = tau == 0 ? sepSquared[i][j] : dx * dx + dy * dy;
            const double r = tau == 0 ? sep[i][j] : std::sqrt(r2);
            const double r3 = r2 * r;
            if (r3 == 0) {
                p.fault = "division by zero: " + BodyName(i) + " and the "
                    + (c > 0 ? "retarded " : "") + "position of " + BodyName(j) + " coincide";
                return p;
            }
            const double f = kGConst * s.mass[uj] / r3;
            p.fx[ui] = p.fx[ui] + f * dx;
            p.fy[ui] = p.fy[ui] + f * dy;
            if (!Finite(tau) || !Finite(r3) || !Finite(p.fx[ui]) || !Finite(p.fy[ui])) {
                p.fault = "overflow in the force on " + BodyName(i) + " from " + BodyName(j);
                return p;
            }
        }
    }
    p.x = s.x;
    p.y = s.y;
    p.vx = s.vx;
    p.vy = s.vy;
    for (int i = 0; i <= last; ++i) {
        const auto ui = static_cast<unsigned>(i);
        p.vx[ui] = p.vx[ui] - dt * p.fx[ui];
        p.vy[ui] = p.vy[ui] - dt * p.fy[ui];
        p.x[ui] = p.x[ui] + dt * p.vx[ui];
        p.y[ui] = p.y[ui] + dt * p.vy[ui];
        if (!Finite(p.vx[ui]) || !Finite(p.vy[ui]) || !Finite(p.x[ui]) || !Finite(p.y[ui])) {
            p.fault = "overflow in the motion of " + BodyName(i);
            return p;
        }
    }
    return p;
}

} // namespace gravlag
