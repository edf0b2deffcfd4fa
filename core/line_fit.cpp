#include "core/line_fit.h"

namespace gravlag {

ApsisFit AddApsisToFit(const std::optional<ApsisFit>& before, std::int64_t apsisCount, double angle)
{
    ApsisFit fit;
    if (apsisCount == 1 || !before) {
        fit.fitX = 0;
        fit.fitN = 1;
        fit.fitSumX = 0.0;
        fit.fitSumXX = 0.0;
        fit.fitSumY = angle;
        fit.fitSumXY = 0.0;
        fit.fitA = angle;
        fit.fitB = 0.0;
    } else {
        fit = *before;
        fit.fitX = apsisCount - 1;
        const auto fitX = static_cast<double>(fit.fitX);
        fit.fitN = fit.fitN + 1;
        fit.fitSumX = fit.fitSumX + fitX;
        fit.fitSumXX = fit.fitSumXX + fitX * fitX;
        fit.fitSumY = fit.fitSumY + angle;
        fit.fitSumXY = fit.fitSumXY + angle * fitX;
    }
    // The counts as the sums' arithmetic sees them: exact doubles below 2^53.
    const auto x = static_cast<double>(fit.fitX), n = static_cast<double>(fit.fitN);
    const double sx = fit.fitSumX, sxx = fit.fitSumXX, sy = fit.fitSumY, sxy = fit.fitSumXY;
    if (x > 0) {
        fit.fitB = (sy * sx - sxy * n) / (sx * sx - sxx * n);
        fit.fitA = (sy - fit.fitB * sx) / n;
    }
    fit.predAngle = fit.fitA + fit.fitB * x;
    return fit;
}

} // namespace gravlag
