#include "core/physics/dense_history.h"

#include <algorithm>

namespace gravlag {

Motion DenseSegment::bodyAt(std::size_t b, double t) const
{
    const double theta = (t - tBase) / h;
    const double* c = coef.data() + b * 20;
    double v[4];
    for (int q = 0; q < 4; ++q, c += 5)
        v[q] = c[0] + theta * (c[1] + theta * (c[2] + theta * (c[3] + theta * c[4])));
    return {v[0], v[1], v[2], v[3]};
}

DenseSegment MakeDenseSegment(double t, double h, std::span<const double> y, const Dp5Work& w)
{
    DenseSegment s{t, h, std::vector<double>(y.size() * 5)};
    for (std::size_t i = 0; i < y.size(); ++i) {
        double* c = s.coef.data() + i * 5;
        c[0] = y[i];
        for (int m = 0; m < 4; ++m) {
            double sum = 0;
            for (int k = 0; k < 7; ++k)
                sum += w.k[static_cast<std::size_t>(k)][i] * dp5::P[k][m];
            c[m + 1] = h * sum;
        }
    }
    return s;
}

void DenseHistory::dropBefore(double t)
{
    while (segments_.size() > 1 && segments_.front().right() < t)
        segments_.pop_front();
}

const DenseSegment& DenseHistory::segmentAt(double t) const
{
    // The first segment that starts after t, then the one before it.
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), t,
                                        [](double v, const DenseSegment& s) { return v < s.left(); });
    return after == segments_.begin() ? segments_.front() : *(after - 1);
}

std::size_t DenseHistory::bytes() const
{
    // Every segment holds as many coefficients as the first.
    return segments_.empty()
        ? 0
        : segments_.size() * (sizeof(DenseSegment) + segments_.front().coef.size() * sizeof(double));
}

} // namespace gravlag
