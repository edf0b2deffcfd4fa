#include "core/physics/euler_integration.h"

#include <cmath>

#include "core/finite.h"
#include "core/physics/shortest_text.h"

namespace gravlag {

namespace {
constexpr std::size_t kEntries = kHistoryEntries;
} // namespace

EulerIntegration::EulerIntegration(const System& system, ForceLaw law, double dt,
                                   RetardationMethod method)
    : law_(law), method_(method), c_(system.c), dt_(dt)
{
    const std::size_t n = system.bodies.size();
    for (const Body& b : system.bodies) {
        gm_.push_back(kGConst * b.m);
        now_.push_back({b.x, b.y, b.vx, b.vy});
    }
    ax_.assign(n, 0.0);
    ay_.assign(n, 0.0);
    tau_.assign(n * n, 0.0);
    // Before the first step every entry holds the start position, as the panel primes it.
    xHist_.resize(n * kEntries);
    yHist_.resize(n * kEntries);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t h = 0; h < kEntries; ++h) {
            xHist_[j * kEntries + h] = now_[j].x;
            yHist_[j * kEntries + h] = now_[j].y;
        }
}

SeenSource EulerIntegration::seenByVelocity(std::size_t i, std::size_t j) const
{
    const Motion& s = now_[j];
    double tau = 0;
    if (c_ > 0) {
        const double ex = now_[i].x - s.x, ey = now_[i].y - s.y;
        tau = std::sqrt(ex * ex + ey * ey) / c_;
    }
    return {{s.x - s.vx * tau, s.y - s.vy * tau, s.vx, s.vy}, tau};
}

// The pass's lookup: n = floor(tau / dt) whole steps back, then linear between entries n and
// n + 1, or beyond entry 20 along the slope of the two oldest entries. The retarded velocity
// is that slope.
SeenSource EulerIntegration::seenInHistory(std::size_t i, std::size_t j)
{
    double tau = 0;
    if (c_ > 0) {
        const double ex = now_[i].x - now_[j].x, ey = now_[i].y - now_[j].y;
        tau = std::sqrt(ex * ex + ey * ey) / c_;
    }
    const double n = std::floor(tau / dt_);
    if (!(n >= 0)) {
        lookupFailed_ = true;
        return {{0, 0, 0, 0}, tau};
    }
    constexpr int kSpan = kHistorySpan;
    if (n < kSpan) {
        const int m = static_cast<int>(n);
        const double frac = tau - n * dt_;
        const double sx = (historyX(j, m + 1) - historyX(j, m)) / dt_;
        const double sy = (historyY(j, m + 1) - historyY(j, m)) / dt_;
        return {{historyX(j, m) + sx * frac, historyY(j, m) + sy * frac, sx, sy}, tau};
    }
    const double sx = (historyX(j, kSpan) - historyX(j, kSpan - 1)) / dt_;
    const double sy = (historyY(j, kSpan) - historyY(j, kSpan - 1)) / dt_;
    const double beyond = tau - kSpan * dt_;
    return {{historyX(j, kSpan) + sx * beyond, historyY(j, kSpan) + sy * beyond, sx, sy}, tau};
}

bool EulerIntegration::step(std::string& problem)
{
    const std::size_t n = now_.size();
    lookupFailed_ = false;
    const auto seen = [&](std::size_t i, std::size_t j) {
        const SeenSource s = method_ == RetardationMethod::HistoryLookup ? seenInHistory(i, j)
                                                                         : seenByVelocity(i, j);
        tau_[i * n + j] = s.tau;
        return s;
    };
    Accelerations(law_, c_, gm_, now_, seen, ax_, ay_);
    const double tEnd = static_cast<double>(steps_ + 1) * dt_;
    if (lookupFailed_) {
        problem = "no history entry for a delay at t = " + ShortestText(time_);
        return false;
    }
    std::vector<Motion> next = now_;
    for (std::size_t i = 0; i < n; ++i) {
        // The pass keeps the sum of f (x_i - x_s) and moves by v - dt * sum; the negated
        // acceleration is that sum to the last bit.
        const double fx = -ax_[i], fy = -ay_[i];
        Motion& b = next[i];
        b.vx = b.vx - dt_ * fx;
        b.vy = b.vy - dt_ * fy;
        b.x = b.x + dt_ * b.vx;
        b.y = b.y + dt_ * b.vy;
        if (!Finite(b.x, b.y, b.vx, b.vy)) {
            problem = "the state of body " + std::to_string(i + 1) + " is not finite at t = "
                + ShortestText(tEnd);
            return false;
        }
    }
    now_ = std::move(next);
    head_ = (head_ + kEntries - 1) % kEntries;
    for (std::size_t j = 0; j < n; ++j) {
        xHist_[j * kEntries + head_] = now_[j].x;
        yHist_[j * kEntries + head_] = now_[j].y;
    }
    ++steps_;
    time_ = tEnd;
    return true;
}

void EulerIntegration::stateAt(double, std::span<Body> bodies) const
{
    for (std::size_t i = 0; i < now_.size() && i < bodies.size(); ++i) {
        bodies[i].m = gm_[i] / kGConst;
        bodies[i].x = now_[i].x;
        bodies[i].y = now_[i].y;
        bodies[i].vx = now_[i].vx;
        bodies[i].vy = now_[i].vy;
    }
}

double EulerIntegration::delay(int target, int source, double) const
{
    const std::size_t n = now_.size();
    const auto i = static_cast<std::size_t>(target), j = static_cast<std::size_t>(source);
    if (target < 0 || source < 0 || i >= n || j >= n || !LawIsDelayed(law_, c_))
        return 0;
    return tau_[i * n + j];
}

} // namespace gravlag
