#include "core/sim_state.h"

namespace gravlag {

void PositionHistory::fill(const std::array<double, kBodies>& x, const std::array<double, kBodies>& y)
{
    for (int b = 0; b < kBodies; ++b) {
        xs_[static_cast<unsigned>(b)].fill(x[static_cast<unsigned>(b)]);
        ys_[static_cast<unsigned>(b)].fill(y[static_cast<unsigned>(b)]);
    }
    head_ = 0;
}

} // namespace gravlag
