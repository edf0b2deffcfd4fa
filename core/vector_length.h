#pragma once
// The length of (x, y), as sqrt(x^2 + y^2): the formula every distance and norm the program
// has written so far was computed by, whose last bit std::hypot does not always share. Only
// where a square overflows although x and y are finite (a length beyond about 1.3e154) does
// it take std::hypot's, which scales instead of overflowing: a finite vector never has an
// infinite length.

#include <cmath>

namespace gravlag {

inline double VectorLength(double x, double y)
{
    const double plain = std::sqrt(x * x + y * y);
    if (std::isinf(plain) && std::isfinite(x) && std::isfinite(y))
        return std::hypot(x, y);
    return plain;
}

} // namespace gravlag
