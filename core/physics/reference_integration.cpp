#include "core/physics/reference_integration.h"

#include <algorithm>
#include <cmath>

#include "core/finite.h"
#include "core/physics/retarded_time.h"
#include "core/sim_state.h"
#include "core/physics/shortest_text.h"

namespace gravlag {

namespace {

// Step size control: the new step is h (0.9 / err)^(1/5), within these factors of the last.
constexpr double kSafety = 0.9, kMinFactor = 0.2, kMaxFactor = 5.0;
// An iterated step has settled when its new state moves less than this share of the
// tolerance from one pass to the next.
constexpr double kSettled = 1e-3;

std::string MebibyteText(std::size_t bytes)
{
    return ShortestText(static_cast<double>(bytes) / (1 << 20));
}

double StepFactor(double err)
{
    if (!(err > 0))
        return Finite(err) ? kMaxFactor : kMinFactor;
    return std::clamp(kSafety * std::pow(err, -0.2), kMinFactor, kMaxFactor);
}

} // namespace

ReferenceIntegration::ReferenceIntegration(const System& system, ForceLaw law, double tolerance,
                                           std::size_t memoryLimit)
    : law_(law), c_(system.c), tol_(tolerance), memoryLimit_(memoryLimit), n_(system.bodies.size()),
      delayed_(LawIsDelayed(law, system.c))
{
    const std::size_t n = n_;
    double mass = 0;
    for (const Body& b : system.bodies) {
        gm_.push_back(kGConst * b.m);
        y_.insert(y_.end(), {b.x, b.y, b.vx, b.vy});
        mass += b.m;
    }
    // The system's size L (largest separation) and speed sqrt(G M / L) set the scale of
    // positions and velocities; its shortest dynamical time sqrt(r^3 / G (m_i + m_j)) the
    // first step.
    double size = 0, shortest = INFINITY;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const double r = std::hypot(y_[4 * i] - y_[4 * j], y_[4 * i + 1] - y_[4 * j + 1]);
            size = std::max(size, r);
            shortest = std::min(shortest, std::sqrt(r * r * r / (gm_[i] + gm_[j])));
        }
    if (!(size > 0))
        size = 1;
    if (!(shortest > 0 && Finite(shortest)))
        shortest = 1;
    const double speed = std::sqrt(kGConst * mass / size);
    scale_.resize(4 * n);
    for (std::size_t i = 0; i < n; ++i) {
        scale_[4 * i] = scale_[4 * i + 1] = size;
        scale_[4 * i + 2] = scale_[4 * i + 3] = speed;
    }
    h_ = 0.1 * shortest * std::pow(tol_, 0.2);
    hMax_ = 1e3 * shortest;
    tau_.assign(n * n, 0.0);
    work_.resize(4 * n);
    work_.carry.assign(4 * n, 0.0);
    pastWork_.resize(4 * n);
    motions_.resize(n);
    pastMotions_.resize(n);
    ax_.resize(n);
    ay_.resize(n);
    pastAx_.resize(n);
    pastAy_.resize(n);

    if (delayed_) {
        // The past starts at 0 and grows backwards as the delays ask for it; its first step
        // also serves as "the previous step" whose extension seeds the first one.
        pastOpen_ = true;
        pastY_ = y_;
        pastH_ = h_;
        extendPast();
    }
}

void ReferenceIntegration::fail(std::string text)
{
    if (!fault_)
        fault_ = std::move(text);
}

void ReferenceIntegration::newtonDerivatives(std::span<const double> y, std::span<double> dydt)
{
    for (std::size_t i = 0; i < n_; ++i)
        pastMotions_[i] = {y[4 * i], y[4 * i + 1], y[4 * i + 2], y[4 * i + 3]};
    Accelerations(ForceLaw::Instantaneous, 0, gm_, pastMotions_,
                  [](std::size_t, std::size_t) { return SeenSource{}; }, pastAx_, pastAy_);
    for (std::size_t i = 0; i < n_; ++i) {
        dydt[4 * i] = y[4 * i + 2];
        dydt[4 * i + 1] = y[4 * i + 3];
        dydt[4 * i + 2] = pastAx_[i];
        dydt[4 * i + 3] = pastAy_[i];
    }
}

bool ReferenceIntegration::extendPast()
{
    const double t0 = history_.empty() ? 0.0 : history_.begin();
    for (;;) {
        const double h = -pastH_;
        if (t0 + h == t0) {
            fail("the motion before t = 0 needs steps below the resolution of the time at t = "
                 + ShortestText(t0));
            return false;
        }
        const auto newton = [&](double, std::span<const double> y, std::span<double> d) {
            newtonDerivatives(y, d);
        };
        Dp5Step(newton, t0, pastY_, h, pastWork_);
        const double err = errorNorm(pastY_, pastWork_);
        pastH_ = std::min(pastH_ * StepFactor(err), hMax_);
        if (err <= 1) {
            history_.pushFront(MakeDenseSegment(t0, h, pastY_, pastWork_));
            pastY_ = pastWork_.yNew;
            break;
        }
    }
    if (history_.bytes() > memoryLimit_) {
        fail("the history of the delays would exceed " + MebibyteText(memoryLimit_)
             + " MiB at t = " + ShortestText(t_));
        return false;
    }
    return true;
}

Motion ReferenceIntegration::sourceAt(std::size_t j, double t)
{
    if (t > tPrev_) {
        // Inside the step being taken: its own extension once it has one, else the previous
        // step's carried on.
        insideStep_ = true;
        return readTrial_ ? trial_.bodyAt(j, t) : history_.back().bodyAt(j, t);
    }
    while (t < history_.begin() && !fault_) {
        if (!pastOpen_) {
            fail("a retarded time lies before the kept history at t = " + ShortestText(tPrev_));
            break;
        }
        extendPast();
    }
    return history_.bodyAt(j, t);
}

void ReferenceIntegration::derivatives(double t, std::span<const double> y, std::span<double> dydt)
{
    for (std::size_t i = 0; i < n_; ++i)
        motions_[i] = {y[4 * i], y[4 * i + 1], y[4 * i + 2], y[4 * i + 3]};
    const auto seen = [&](std::size_t i, std::size_t j) -> SeenSource {
        if (!delayed_)
            return {motions_[j], 0};
        double& tau = tau_[i * n_ + j];
        // A delay off by dtau moves the source by less than c dtau: within a thousandth of
        // the tolerance of the system's size, it is as good as exact.
        const auto solved = SolveRetardedTime(motions_[i].x, motions_[i].y, t, c_, tau,
                                              [&](double at) { return sourceAt(j, at); },
                                              kSettled * tol_ * scale_[0] / c_);
        if (!solved) {
            fail("the retarded time of body " + std::to_string(j + 1) + " for body "
                 + std::to_string(i + 1) + " does not converge at t = " + ShortestText(t)
                 + " (a body as fast as c?)");
            return {{NAN, NAN, NAN, NAN}, NAN};
        }
        tau = solved->tau;
        return *solved;
    };
    Accelerations(law_, c_, gm_, motions_, seen, ax_, ay_);
    for (std::size_t i = 0; i < n_; ++i) {
        dydt[4 * i] = y[4 * i + 2];
        dydt[4 * i + 1] = y[4 * i + 3];
        dydt[4 * i + 2] = ax_[i];
        dydt[4 * i + 3] = ay_[i];
    }
}

double ReferenceIntegration::errorNorm(std::span<const double> y, const Dp5Work& w) const
{
    double sum = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double sc = tol_ * std::max({std::fabs(y[i]), std::fabs(w.yNew[i]), scale_[i]});
        const double e = w.error[i] / sc;
        sum += e * e;
    }
    return std::sqrt(sum / static_cast<double>(y.size()));
}

bool ReferenceIntegration::attempt(double h)
{
    readTrial_ = false;
    std::vector<double> last;
    for (int pass = 0; pass < kMaxStepIterations; ++pass) {
        insideStep_ = false;
        // The derivatives at the step's start read only the history: the same on every pass.
        const auto delayed = [&](double t, std::span<const double> y, std::span<double> d) {
            derivatives(t, y, d);
        };
        Dp5Step(delayed, t_, y_, h, work_, firstKnown_);
        firstKnown_ = !fault_;
        trial_ = MakeDenseSegment(t_, h, y_, work_);
        if (fault_ || !insideStep_)
            return true;
        if (pass > 0) {
            double moved = 0;
            for (std::size_t i = 0; i < y_.size(); ++i)
                moved = std::max(moved, std::fabs(work_.yNew[i] - last[i])
                                     / std::max(std::fabs(work_.yNew[i]), scale_[i]));
            if (moved <= kSettled * tol_)
                return true;
        }
        last = work_.yNew;
        readTrial_ = true;
    }
    readTrial_ = false;
    return false;
}

bool ReferenceIntegration::step(std::string& problem)
{
    if (fault_) {
        problem = *fault_;
        return false;
    }
    for (;;) {
        const double h = std::min(h_, hMax_);
        if (t_ + h == t_) {
            problem =
                "the step size falls below the resolution of the time at t = " + ShortestText(t_);
            return false;
        }
        tPrev_ = t_;
        const bool settled = attempt(h);
        readTrial_ = false;
        if (fault_) {
            problem = *fault_;
            return false;
        }
        const double err = settled ? errorNorm(y_, work_) : INFINITY;
        if (!(err <= 1)) {
            h_ = h * (settled ? StepFactor(err) : 0.5);
            continue;
        }
        bool finite = true;
        for (double v : work_.yNew)
            finite = finite && Finite(v);
        if (!finite) {
            problem = "the state is not finite at t = " + ShortestText(t_ + h);
            return false;
        }
        history_.pushBack(std::move(trial_));
        y_ = work_.yNew;
        std::swap(work_.carry, work_.carryNew);
        // The last stage was taken at the new state: the next step's first (an iterated step
        // read the extension of its pass before the last, the same to within its settling).
        std::swap(work_.k[0], work_.k[6]);
        const double advance = h + tCarry_;
        t_ = tPrev_ + advance;
        tCarry_ = advance - (t_ - tPrev_);
        h_ = std::min(h * StepFactor(err), hMax_);
        ++steps_;
        break;
    }
    if (delayed_) {
        // Retarded times only move forward for sources slower than c; keep what the largest
        // delay now reaches back to, with half as much again and two steps to spare.
        double largest = 0;
        for (double tau : tau_)
            largest = std::max(largest, tau);
        const double keepFrom = tPrev_ - 1.5 * largest - 2 * (t_ - tPrev_);
        const std::size_t before = history_.size();
        history_.dropBefore(keepFrom);
        // The past grows from its first segment; once that is gone it cannot grow again.
        pastOpen_ = pastOpen_ && history_.size() == before;
        if (history_.bytes() > memoryLimit_) {
            problem = "the history of the delays would exceed "
                + MebibyteText(memoryLimit_) + " MiB at t = " + ShortestText(t_);
            return false;
        }
    } else {
        history_.dropBefore(tPrev_);
    }
    return true;
}

void ReferenceIntegration::stateAt(double t, std::span<Body> bodies) const
{
    for (std::size_t i = 0; i < n_ && i < bodies.size(); ++i) {
        const Motion m = t == t_ || history_.empty()
            ? Motion{y_[4 * i], y_[4 * i + 1], y_[4 * i + 2], y_[4 * i + 3]}
            : history_.back().bodyAt(i, t);
        bodies[i] = {gm_[i] / kGConst, m.x, m.y, m.vx, m.vy};
    }
}

double ReferenceIntegration::delay(int target, int source, double t) const
{
    const auto i = static_cast<std::size_t>(target), j = static_cast<std::size_t>(source);
    if (target < 0 || source < 0 || i >= n_ || j >= n_ || i == j || !delayed_)
        return 0;
    if (history_.empty())
        return 0;
    const Motion at =
        t == t_ ? Motion{y_[4 * i], y_[4 * i + 1], 0, 0} : history_.back().bodyAt(i, t);
    const auto solved = SolveRetardedTime(at.x, at.y, t, c_, tau_[i * n_ + j],
                                          [&](double when) { return history_.bodyAt(j, when); });
    return solved ? solved->tau : NAN;
}

} // namespace gravlag
