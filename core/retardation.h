#pragma once
// Where a source body was tau ago, read from its position history: linear interpolation
// between the two entries that bracket the retarded time, linear extrapolation from the
// two oldest entries beyond the 20-step span.

#include <array>

#include "core/sim_state.h"

namespace gravlag {

// One coordinate's history of one body as the ring presents it: entry h = h passes back.
struct HistoryView {
    const double* ring;
    unsigned head;
    double operator()(int h) const
    {
        return ring[(head + static_cast<unsigned>(h)) & (PositionHistory::kRing - 1u)];
    }
};

inline HistoryView XHistory(const PositionHistory& hist, int body)
{
    return {hist.xRing(body), hist.head()};
}
inline HistoryView YHistory(const PositionHistory& hist, int body)
{
    return {hist.yRing(body), hist.head()};
}

// Writes xRet[j], yRet[j]. Returns false, writing nothing, for a source index outside 0..2
// or a delay that lies after entry 0 (negative tau or dt, or NaN): no entry answers those.
bool RetardedPosition(int j, HistoryView xh, HistoryView yh, double tau, double dt,
                      std::array<double, kBodies>& xRet, std::array<double, kBodies>& yRet);

} // namespace gravlag
