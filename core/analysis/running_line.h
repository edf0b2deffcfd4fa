#pragma once
// A least-squares straight line through a stream of points, in
// constant memory, with every point costing the same.
//
// The sums are kept centred (Welford's updates) and about a reference line through the
// first two points: the residual sum of squares is the difference Syy - Sxy^2 / Sxx, which
// about the raw values loses every digit on data close to a line (apsis directions drifting
// by 1e-4 degrees per orbit, with 1e-11 of scatter). About the reference line Syy holds
// little more than the scatter itself. Large offsets in x or y cost no precision either.

#include <cstdint>
#include <optional>

namespace gravlag {

class RunningLine {
public:
    // A point whose x or y is not finite is left out.
    void add(double x, double y);
    std::int64_t count() const { return n_; }
    // From two points with distinct x on.
    std::optional<double> slope() const;
    // Standard error of the slope from the residuals, sqrt(SSR / (n - 2) / Sxx), with SSR the
    // sum of squared residuals about the line and Sxx the centred sum of squares of x; from
    // three points on.
    std::optional<double> slopeStdError() const;

private:
    void addDeviation(double u, double w);

    std::int64_t n_ = 0;
    // Reference line y = y0 + b0 (x - x0): the first point, and from the second point on the
    // slope between the first two (0 if their x agree).
    double x0_ = 0, y0_ = 0, b0_ = 0;
    // Over u = x - x0 and w = y - (y0 + b0 (x - x0)):
    double meanU_ = 0, meanW_ = 0;
    double suu_ = 0, suw_ = 0, sww_ = 0; // sums of (u - mean u)^2, (u - mean u)(w - mean w), ...
};

} // namespace gravlag
