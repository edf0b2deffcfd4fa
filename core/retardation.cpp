#include "core/retardation.h"

#include <cmath>

namespace gravlag {

bool RetardedPosition(int j, HistoryView xh, HistoryView yh, double tau, double dt,
                      std::array<double, kBodies>& xRet, std::array<double, kBodies>& yRet)
{
    if (j < 0 || j >= kBodies)
        return false;
    const double n = std::floor(tau / dt);
    if (!(n >= 0))
        return false;
    if (n < 20) {
        const int h = static_cast<int>(n);
        const double frac = tau - n * dt;
        const double sx = (xh(h + 1) - xh(h)) / dt;
        xRet[static_cast<unsigned>(j)] = xh(h) + sx * frac;
        const double sy = (yh(h + 1) - yh(h)) / dt;
        yRet[static_cast<unsigned>(j)] = yh(h) + sy * frac;
    } else {
        const double sx = (xh(20) - xh(19)) / dt;
        xRet[static_cast<unsigned>(j)] = xh(20) + sx * (tau - 20 * dt);
        const double sy = (yh(20) - yh(19)) / dt;
        yRet[static_cast<unsigned>(j)] = yh(20) + sy * (tau - 20 * dt);
    }
    return true;
}

} // namespace gravlag
