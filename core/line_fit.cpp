#include "core/line_fit.h"

namespace gravlag {

void AddApsisToFit(RunValues& run, double angle)
{
    if (run.apsisCount == 1) {
        run.fitX = 0.0;
        run.fitN = 1.0;
        run.fitSumX = 0.0;
        run.fitSumXX = 0.0;
        run.fitSumY = angle;
        run.fitSumXY = 0.0;
        run.fitA = angle;
        run.fitB = 0.0;
    } else {
        const double fitX = static_cast<double>(run.apsisCount - 1);
        run.fitX = fitX;
        run.fitN = *run.fitN + 1;
        run.fitSumX = *run.fitSumX + fitX;
        run.fitSumXX = *run.fitSumXX + fitX * fitX;
        run.fitSumY = *run.fitSumY + angle;
        run.fitSumXY = *run.fitSumXY + angle * fitX;
    }
    const double x = *run.fitX, n = *run.fitN, sx = *run.fitSumX, sxx = *run.fitSumXX;
    const double sy = *run.fitSumY, sxy = *run.fitSumXY;
    if (x > 0) {
        run.fitB = (sy * sx - sxy * n) / (sx * sx - sxx * n);
        run.fitA = (sy - *run.fitB * sx) / n;
    }
    run.predAngle = *run.fitA + *run.fitB * x;
}

} // namespace gravlag
