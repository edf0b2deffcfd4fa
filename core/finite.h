#pragma once
// A number the core can go on with is finite: neither infinite nor NaN. Every check of the
// core asks Finite; what the analysis reports is a number only when it is finite.

#include <cmath>
#include <optional>

namespace gravlag {

inline bool Finite(double v) { return std::isfinite(v); }

// All of them finite; every one is tested, so that a pass's checks need no branches.
template <class... More>
inline bool Finite(double v, More... more)
{
    return (int{Finite(v)} & ... & int{Finite(more)}) != 0;
}

inline std::optional<double> IfFinite(double v)
{
    if (Finite(v))
        return v;
    return std::nullopt;
}

inline std::optional<double> IfFinite(const std::optional<double>& v)
{
    return v ? IfFinite(*v) : std::nullopt;
}

} // namespace gravlag
