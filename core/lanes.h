#pragma once
// Two independent square roots or quotients in one instruction where the machine has
// two-lane ones (SSE2, on every x86-64). Each lane is the correctly rounded result, the same
// double as one at a time, and the two cost the divider, which a pass keeps busy, what one
// does.

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gravlag {

struct DoublePair {
    double first, second;
};

inline DoublePair SqrtOfBoth(double a, double b)
{
#if defined(__SSE2__)
    const __m128d r = _mm_sqrt_pd(_mm_unpacklo_pd(_mm_set_sd(a), _mm_set_sd(b)));
    return {_mm_cvtsd_f64(r), _mm_cvtsd_f64(_mm_unpackhi_pd(r, r))};
#else
    return {std::sqrt(a), std::sqrt(b)};
#endif
}

// {a / c, b / d}
inline DoublePair QuotientsOfBoth(double a, double b, double c, double d)
{
#if defined(__SSE2__)
    __m128d q = _mm_unpacklo_pd(_mm_set_sd(a), _mm_set_sd(b));
    // An instruction of its own: the compiler would otherwise split the lanes again.
    asm("divpd %1, %0" : "+x"(q) : "x"(_mm_unpacklo_pd(_mm_set_sd(c), _mm_set_sd(d))));
    return {_mm_cvtsd_f64(q), _mm_cvtsd_f64(_mm_unpackhi_pd(q, q))};
#else
    return {a / c, b / d};
#endif
}

} // namespace gravlag
