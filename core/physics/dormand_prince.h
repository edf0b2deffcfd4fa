#pragma once
// One step of the Dormand-Prince 5(4) pair with its embedded error estimate and Shampine's
// quartic continuous extension (the P matrix of the optimum c6 construction): the step's
// state at t + theta h for any theta in [0, 1], fourth order, from the seven stages alone.
// Written as the literal sequence of the scheme; the caller's right-hand side decides what
// the state is.

#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace gravlag {

namespace dp5 {
inline constexpr double c2 = 1.0 / 5, c3 = 3.0 / 10, c4 = 4.0 / 5, c5 = 8.0 / 9;
inline constexpr double a21 = 1.0 / 5;
inline constexpr double a31 = 3.0 / 40, a32 = 9.0 / 40;
inline constexpr double a41 = 44.0 / 45, a42 = -56.0 / 15, a43 = 32.0 / 9;
inline constexpr double a51 = 19372.0 / 6561, a52 = -25360.0 / 2187, a53 = 64448.0 / 6561,
                        a54 = -212.0 / 729;
inline constexpr double a61 = 9017.0 / 3168, a62 = -355.0 / 33, a63 = 46732.0 / 5247,
                        a64 = 49.0 / 176, a65 = -5103.0 / 18656;
// The fifth-order weights; the seventh stage is f at the new state (first same as last).
inline constexpr double b1 = 35.0 / 384, b3 = 500.0 / 1113, b4 = 125.0 / 192,
                        b5 = -2187.0 / 6784, b6 = 11.0 / 84;
// Fifth- minus fourth-order weights: the local error estimate.
inline constexpr double e1 = 71.0 / 57600, e3 = -71.0 / 16695, e4 = 71.0 / 1920,
                        e5 = -17253.0 / 339200, e6 = 22.0 / 525, e7 = -1.0 / 40;
// y(t + theta h) = y + h sum_k K_k (P_k1 theta + P_k2 theta^2 + P_k3 theta^3 + P_k4 theta^4).
inline constexpr double P[7][4] = {
    {1, -8048581381.0 / 2820520608, 8663915743.0 / 2820520608, -12715105075.0 / 11282082432},
    {0, 0, 0, 0},
    {0, 131558114200.0 / 32700410799, -68118460800.0 / 10900136933,
     87487479700.0 / 32700410799},
    {0, -1754552775.0 / 470086768, 14199869525.0 / 1410260304, -10690763975.0 / 1880347072},
    {0, 127303824393.0 / 49829197408, -318862633887.0 / 49829197408,
     701980252875.0 / 199316789632},
    {0, -282668133.0 / 205662961, 2019193451.0 / 616988883, -1453857185.0 / 822651844},
    {0, 40617522.0 / 29380423, -110615467.0 / 29380423, 69997945.0 / 29380423},
};
} // namespace dp5

// The buffers of one step: the stages, the new state and the error estimate per component.
struct Dp5Work {
    std::array<std::vector<double>, 7> k;
    std::vector<double> stage, yNew, error;
    // Compensated summation of the state, where `carry` is given (as long as y): what y's
    // true value holds below y's last bit, added to the step's increment; `carryNew` the same
    // for yNew. Over 10^5 steps the rounding of y + dy would otherwise walk the phase of an
    // orbit by more than a tight tolerance allows.
    std::vector<double> carry, carryNew;
    void resize(std::size_t n)
    {
        for (auto& v : k)
            v.assign(n, 0.0);
        stage.assign(n, 0.0);
        yNew.assign(n, 0.0);
        error.assign(n, 0.0);
    }
};

// One step of size h (either sign) from (t, y). rhs(t, y, dydt) with spans of y.size().
// With `firstKnown`, w.k[0] already holds rhs at (t, y): the last stage of the step before
// (first same as last), or of an attempt from the same point.
template <class Rhs>
void Dp5Step(Rhs&& rhs, double t, std::span<const double> y, double h, Dp5Work& w,
             bool firstKnown = false)
{
    using namespace dp5;
    const std::size_t n = y.size();
    auto& k = w.k;
    auto& s = w.stage;
    if (!firstKnown)
        rhs(t, y, std::span<double>(k[0]));
    for (std::size_t i = 0; i < n; ++i)
        s[i] = y[i] + h * (a21 * k[0][i]);
    rhs(t + c2 * h, std::span<const double>(s), std::span<double>(k[1]));
    for (std::size_t i = 0; i < n; ++i)
        s[i] = y[i] + h * (a31 * k[0][i] + a32 * k[1][i]);
    rhs(t + c3 * h, std::span<const double>(s), std::span<double>(k[2]));
    for (std::size_t i = 0; i < n; ++i)
        s[i] = y[i] + h * (a41 * k[0][i] + a42 * k[1][i] + a43 * k[2][i]);
    rhs(t + c4 * h, std::span<const double>(s), std::span<double>(k[3]));
    for (std::size_t i = 0; i < n; ++i)
        s[i] = y[i] + h * (a51 * k[0][i] + a52 * k[1][i] + a53 * k[2][i] + a54 * k[3][i]);
    rhs(t + c5 * h, std::span<const double>(s), std::span<double>(k[4]));
    for (std::size_t i = 0; i < n; ++i)
        s[i] = y[i]
            + h * (a61 * k[0][i] + a62 * k[1][i] + a63 * k[2][i] + a64 * k[3][i] + a65 * k[4][i]);
    rhs(t + h, std::span<const double>(s), std::span<double>(k[5]));
    if (w.carry.size() == n) {
        w.carryNew.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double dy = h * (b1 * k[0][i] + b3 * k[2][i] + b4 * k[3][i] + b5 * k[4][i] + b6 * k[5][i])
                + w.carry[i];
            w.yNew[i] = y[i] + dy;
            w.carryNew[i] = dy - (w.yNew[i] - y[i]);
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            w.yNew[i] = y[i]
                + h * (b1 * k[0][i] + b3 * k[2][i] + b4 * k[3][i] + b5 * k[4][i] + b6 * k[5][i]);
    }
    rhs(t + h, std::span<const double>(w.yNew), std::span<double>(k[6]));
    for (std::size_t i = 0; i < n; ++i)
        w.error[i] = h
            * (e1 * k[0][i] + e3 * k[2][i] + e4 * k[3][i] + e5 * k[4][i] + e6 * k[5][i]
               + e7 * k[6][i]);
}

} // namespace gravlag
