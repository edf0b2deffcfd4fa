#include "core/analysis/convergence.h"

#include <cmath>

#include "core/finite.h"

namespace gravlag {

Convergence Extrapolate(const std::optional<double>& atDt, const std::optional<double>& atHalf,
                        const std::optional<double>& atQuarter, const std::optional<double>& stdError)
{
    Convergence c;
    if (!atDt || !atHalf || !atQuarter)
        return c;
    const double d1 = *atDt - *atHalf, d2 = *atHalf - *atQuarter;
    if (!(d1 > 0 && d2 > 0) && !(d1 < 0 && d2 < 0))
        return c;
    const double ratio = d1 / d2; // 2^p
    c.order = IfFinite(std::log2(ratio));
    if (!c.order || !(*c.order > 0))
        return c;
    c.limit = IfFinite(*atQuarter - d2 / (ratio - 1));
    if (c.limit)
        c.discretizationError = IfFinite(std::fabs(*atDt - *c.limit));
    if (c.discretizationError && stdError)
        c.flagged = *c.discretizationError > *stdError;
    return c;
}

} // namespace gravlag
