#include "core/analysis/running_line.h"

#include <cmath>

#include "core/finite.h"

namespace gravlag {

void RunningLine::add(double x, double y)
{
    if (!Finite(x, y))
        return;
    if (n_ == 0) {
        x0_ = x;
        y0_ = y;
        addDeviation(0, 0);
        return;
    }
    if (n_ == 1 && x != x0_) {
        b0_ = (y - y0_) / (x - x0_);
        if (!Finite(b0_))
            b0_ = 0;
    }
    const double u = x - x0_;
    addDeviation(u, y - (y0_ + b0_ * u));
}

void RunningLine::addDeviation(double u, double w)
{
    ++n_;
    const double n = static_cast<double>(n_);
    const double du = u - meanU_, dw = w - meanW_;
    meanU_ += du / n;
    meanW_ += dw / n;
    // The old deviation times the new one: the exact update of each centred sum.
    suu_ += du * (u - meanU_);
    suw_ += du * (w - meanW_);
    sww_ += dw * (w - meanW_);
}

std::optional<double> RunningLine::slope() const
{
    if (n_ < 2 || !(suu_ > 0))
        return std::nullopt;
    return IfFinite(b0_ + suw_ / suu_);
}

std::optional<double> RunningLine::slopeStdError() const
{
    if (n_ < 3 || !(suu_ > 0))
        return std::nullopt;
    double ssr = sww_ - suw_ * suw_ / suu_;
    if (ssr < 0)
        ssr = 0; // points on the line to rounding
    return IfFinite(std::sqrt(ssr / static_cast<double>(n_ - 2) / suu_));
}

} // namespace gravlag
