#include "core/analysis/ring_series.h"

#include <cmath>
#include <cstdint>

#include "core/finite.h"

namespace gravlag {

namespace {

constexpr std::int64_t kMaxTerms = 1000000;

// J_n and D_n scaled by s^n, so that neither overflows however many terms are needed: both
// fall like (s (1 + e))^n.
struct ScaledMoments {
    double q, s;                     // 1 - e^2, a / a3
    double jPrev = 1, j;             // s^(n-1) J_(n-1), s^n J_n
    double dPrev = 0, d = 0;         // s^(n-1) D_(n-1), s^n D_n
    double n = 1;

    ScaledMoments(double q_, double s_) : q(q_), s(s_), j(s_) {}
    void step()
    {
        const double jNext = ((2 * n + 1) * s * j - n * q * s * s * jPrev) / (n + 1);
        const double dNext = ((2 * n + 1) * s * d - n * q * s * s * dPrev + 2 * n * s * s * jPrev) / (n + 1);
        jPrev = j;
        j = jNext;
        dPrev = d;
        d = dNext;
        n = n + 1;
    }
};

} // namespace

std::optional<double> RingPotentialSlope(double e, double s, double share)
{
    if (!(e >= 0) || !(e < 1) || !(s > 0) || !(s * (1 + e) < 1) || !(share >= 0) || !(share <= 1))
        return std::nullopt;
    ScaledMoments m(1 - e * e, s);
    double coefficient = 1; // (2l-1)!!/(2l)!!
    // w_l = p1 + p2 with p_i = f_i^(2l-1), f_1 = share, f_2 = 1 - share.
    const double f1 = share, f2 = 1 - share;
    double p1 = f1, p2 = f2;
    double sum = 0, previous = 0;
    for (std::int64_t l = 1; l <= kMaxTerms; ++l) {
        m.step();
        m.step(); // n = 2l + 1
        const double ld = static_cast<double>(l);
        coefficient = coefficient * (2 * ld - 1) / (2 * ld);
        // s^(2l) D_(2l+1) = (s^(2l+1) D_(2l+1)) / s
        const double term = coefficient * coefficient * (p1 + p2) * m.d / s;
        p1 = p1 * f1 * f1;
        p2 = p2 * f2 * f2;
        sum += term;
        // Terms are positive and fall geometrically in the end (ratio about (s (1 + e))^2,
        // times at most 1 from w_l): stop once the tail they bound, term / (1 - ratio), no
        // longer shows in the sum.
        if (previous > 0 && term < previous) {
            const double ratio = term / previous;
            if (term / (1 - ratio) <= 1e-17 * sum)
                return IfFinite(sum);
        }
        if (term == 0 && l > 1)
            return IfFinite(sum);
        previous = term;
    }
    return std::nullopt;
}

} // namespace gravlag
