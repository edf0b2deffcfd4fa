#pragma once
// How far a rate measured at the step dt is from its limit dt -> 0, from the same run at
// dt, dt/2 and dt/4 (the same time covered). With an error b h^p the differences of
// successive values shrink by 2^p each halving:
//   d1 = v(dt) - v(dt/2),  d2 = v(dt/2) - v(dt/4),  p = log2(d1 / d2),
//   limit = v(dt/4) - d2 / (2^p - 1)                       (Richardson's extrapolation)
// and the discretization error of the value at dt is |v(dt) - limit|.

#include <optional>

namespace gravlag {

struct Convergence {
    std::optional<double> limit;               // extrapolated to dt -> 0
    std::optional<double> order;               // observed, p
    std::optional<double> discretizationError; // |v(dt) - limit|
    // discretizationError > standard error of v(dt); absent with either absent.
    std::optional<bool> flagged;
};

// All absent where a value is; the order only where the two differences are non-zero and of
// one sign, the limit and its error only where the order is positive (the values converge).
Convergence Extrapolate(const std::optional<double>& atDt, const std::optional<double>& atHalf,
                        const std::optional<double>& atQuarter, const std::optional<double>& stdError);

} // namespace gravlag
