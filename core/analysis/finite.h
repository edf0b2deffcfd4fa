#pragma once
// The analysis reports a number only when it is finite: anything else is absent.

#include <cmath>
#include <optional>

namespace gravlag {

inline std::optional<double> IfFinite(double v)
{
    if (std::isfinite(v))
        return v;
    return std::nullopt;
}

inline std::optional<double> IfFinite(const std::optional<double>& v)
{
    return v ? IfFinite(*v) : std::nullopt;
}

} // namespace gravlag
