#include "core/retardation.h"

namespace gravlag {

void HistoryLookup::prime(const PositionHistory& hist, double dt)
{
    for (int b = 0; b < kBodies; ++b)
        for (int h = 0; h < kHistorySpan; ++h) {
            const unsigned slot = (hist.head() + static_cast<unsigned>(h)) & kMask;
            xSlope_[b][slot] = (hist.x(b, h + 1) - hist.x(b, h)) / dt;
            ySlope_[b][slot] = (hist.y(b, h + 1) - hist.y(b, h)) / dt;
        }
    for (int p = 0; p < kBodies; ++p) {
        n_[p] = 0;
        nDt_[p] = 0.0 * dt;
    }
}

} // namespace gravlag
