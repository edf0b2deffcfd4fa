// The reference integrator against closed forms: a Kepler orbit, the first-order widening of
// a circular pair under the retarded pull, the aberration-free pull's cancellation, the 1pn
// pericentre advance; the retarded-time solve and the dense history's order on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "core/physics/make_integration.h"
#include "core/physics/reference_integration.h"
#include "core/physics/retarded_time.h"

using namespace gravlag;

namespace {

constexpr double kPiD = std::numbers::pi;

// Two bodies about their centre of mass, the relative orbit with semi-major axis a and
// eccentricity e, starting at pericentre.
System Pair(double m1, double m2, double a, double e, double c)
{
    const double M = m1 + m2, r = a * (1 - e), v = std::sqrt(M * (1 + e) / (a * (1 - e)));
    return {c,
            {{m1, -m2 / M * r, 0, 0, -m2 / M * v}, {m2, m1 / M * r, 0, 0, m1 / M * v}}};
}

struct Relative {
    double x, y, vx, vy;
};

Relative RelativeAt(const Integration& run, double t)
{
    std::vector<Body> b(2);
    run.stateAt(t, b);
    return {b[1].x - b[0].x, b[1].y - b[0].y, b[1].vx - b[0].vx, b[1].vy - b[0].vy};
}

// Osculating semi-major axis of the relative orbit, 1 / (2 / r - v^2 / G M).
double SemiMajorAxis(const Relative& r, double M)
{
    return 1 / (2 / std::hypot(r.x, r.y) - (r.vx * r.vx + r.vy * r.vy) / M);
}

std::unique_ptr<Integration> Make(const System& s, ForceLaw law, double tol = kDefaultTolerance)
{
    std::string problem;
    auto run = MakeIntegration(s, {Integrator::Reference, law, tol}, 0,
                               RetardationMethod::VelocityEstimate, problem);
    EXPECT_TRUE(run) << problem;
    return run;
}

// Steps until the step covers t.
void RunTo(Integration& run, double t)
{
    std::string problem;
    while (run.time() < t)
        ASSERT_TRUE(run.step(problem)) << problem;
}

// Steps on to the next pericentre of the relative orbit, the root of r . v from - to +
// located on the dense output; returns its time.
double NextPericentre(Integration& run)
{
    const auto rv = [&](double t) {
        const Relative r = RelativeAt(run, t);
        return r.x * r.vx + r.y * r.vy;
    };
    std::string problem;
    for (;;) {
        EXPECT_TRUE(run.step(problem)) << problem;
        double lo = run.stepStart(), hi = run.time();
        if (!problem.empty() || !(rv(lo) < 0 && rv(hi) >= 0))
            continue;
        for (int i = 0; i < 60; ++i) {
            const double mid = (lo + hi) / 2;
            (rv(mid) < 0 ? lo : hi) = mid;
        }
        return hi;
    }
}

TEST(ReferenceIntegration, KeplerOrbitKeepsEnergyAndPeriodOverAThousandOrbits)
{
    const double m1 = 1, m2 = 0.25, a = 1, e = 0.5, M = m1 + m2;
    const auto run = Make(Pair(m1, m2, a, e, 0), ForceLaw::Retarded);
    const double period = 2 * kPiD * std::sqrt(a * a * a / M);
    double last = 0;
    for (int k = 0; k < 1000; ++k)
        last = NextPericentre(*run);
    EXPECT_NEAR(last / (1000 * period), 1, 1e-8);
    // Energy per reduced mass -G M / 2a.
    const Relative r = RelativeAt(*run, run->time());
    const double energy = (r.vx * r.vx + r.vy * r.vy) / 2 - M / std::hypot(r.x, r.y);
    EXPECT_NEAR(energy / (-M / (2 * a)), 1, 1e-8);
}

// A circular pair under the retarded pull, to first order in v / c: target i is pulled toward
// x_j - tau v_j with tau = d / c, which adds 2 G m1 m2 tau v / (M d^3) along the relative
// velocity v = omega d; Gauss's equation for a circle, da/dt = 2 T / omega, gives the widening
//   da/dt = 4 G m1 m2 / ((m1 + m2) c d)   (2 G m / (d c) for equal masses m)
// at the start; as it falls with the separation, a^2 grows as d^2 + 8 G m1 m2 t / (M c).
// What is left is of order (v / c)^2. At c 1e4 the delay is far shorter than a step (the
// iterated step); at c 30 longer than one (the history's segments).
double Widening(double c, ForceLaw law, double& a, double& end, double& delay)
{
    const double m1 = 1, m2 = 0.5, d = 1, M = m1 + m2;
    const auto run = Make(Pair(m1, m2, d, 0, c), law);
    end = 3 * 2 * kPiD * std::sqrt(d * d * d / M);
    RunTo(*run, end);
    const Relative r = RelativeAt(*run, end);
    a = SemiMajorAxis(r, M);
    delay = run->delay(1, 0, end) * c / std::hypot(r.x, r.y); // in units of distance / c
    return (a * a - d * d) / (2 * end) / a;
}

TEST(ReferenceIntegration, RetardedPullWidensACircularPairAtTheFirstOrderRate)
{
    const double m1 = 1, m2 = 0.5, M = m1 + m2, v = std::sqrt(M);
    for (const double c : {1e4, 30.0}) {
        double a, end, delay;
        const double rate = Widening(c, ForceLaw::Retarded, a, end, delay);
        EXPECT_NEAR(rate / (4 * m1 * m2 / (M * c * a)), 1, 4 * (v / c) * (v / c) + 1e-7)
            << "c " << c;
        EXPECT_NEAR(delay, 1, v / c) << "c " << c;
    }
}

// Carried forward along its retarded velocity, the source's first-order aberration cancels:
// what is left widens the pair at a share of order v / c of the retarded pull's rate (from
// the third order of the delay); the instantaneous pull does not widen it at all.
TEST(ReferenceIntegration, AberrationFreePullHardlyWidensInstantaneousNotAtAll)
{
    const double c = 30, v = std::sqrt(1.5);
    double a, end, delay;
    const double retarded = Widening(c, ForceLaw::Retarded, a, end, delay);
    const double aberrationFree = Widening(c, ForceLaw::AberrationFree, a, end, delay);
    EXPECT_LT(std::fabs(aberrationFree), 0.1 * v / c * retarded);
    EXPECT_NEAR(delay, 1, v / c);
    Widening(c, ForceLaw::Instantaneous, a, end, delay);
    EXPECT_NEAR(a, 1, 1e-9);
    EXPECT_EQ(delay, 0);
}

// Einstein-Infeld-Hoffmann, two bodies: the pericentre advances 6 pi G M / (c^2 a (1 - e^2))
// per orbit whatever the masses' ratio. Pericentres are located on the dense output as the
// roots of r . v from - to +.
TEST(ReferenceIntegration, PostNewtonianPericentreAdvance)
{
    const double m1 = 0.7, m2 = 0.3, a = 1, e = 0.5, M = 1, c = 100;
    const auto run = Make(Pair(m1, m2, a, e, c), ForceLaw::PostNewtonian1);
    std::vector<double> angles;
    while (angles.size() < 11) {
        const Relative r = RelativeAt(*run, NextPericentre(*run));
        angles.push_back(std::atan2(r.y, r.x));
    }
    const double perOrbit = (angles.back() - angles.front()) / 10;
    EXPECT_NEAR(perOrbit / (6 * kPiD * M / (c * c * a * (1 - e * e))), 1, 1e-3);
}

// Two bodies about their centre of mass: Einstein-Infeld-Hoffmann reduces to the relative
// equation a = -(G M / r^2) [(1 + A) n + B v] with A = ((1 + 3 eta) v^2 - 3/2 eta rdot^2
// - 2 (2 + eta) G M / r) / c^2, B = -2 (2 - eta) rdot / c^2, eta = m1 m2 / M^2, up to terms in
// 1/c^4. Every term shows: the pericentre advance alone is blind to some (rdot^2 averages
// out of it).
TEST(ForceLaw, PostNewtonianPairFollowsTheRelativeEquation)
{
    const double m1 = 0.7, m2 = 0.3, M = 1, eta = m1 * m2 / (M * M), c = 1000;
    const double x = 1.3, y = 0.4, vx = 0.6, vy = 0.9; // body 1 relative to body 2
    const std::vector<Motion> now{{m2 / M * x, m2 / M * y, m2 / M * vx, m2 / M * vy},
                                  {-m1 / M * x, -m1 / M * y, -m1 / M * vx, -m1 / M * vy}};
    const std::vector<double> gm{m1, m2};
    std::vector<double> ax(2), ay(2);
    EihAccelerations(c, gm, now, ax, ay);
    const double r = std::hypot(x, y), nx = x / r, ny = y / r, rdot = nx * vx + ny * vy;
    const double v2 = vx * vx + vy * vy;
    const double A =
        ((1 + 3 * eta) * v2 - 1.5 * eta * rdot * rdot - 2 * (2 + eta) * M / r) / (c * c);
    const double B = -2 * (2 - eta) * rdot / (c * c);
    const double k = -M / (r * r);
    const double wantX = k * ((1 + A) * nx + B * vx), wantY = k * ((1 + A) * ny + B * vy);
    const double correction = std::hypot(wantX - k * nx, wantY - k * ny);
    EXPECT_NEAR(ax[0] - ax[1], wantX, 1e-4 * correction);
    EXPECT_NEAR(ay[0] - ay[1], wantY, 1e-4 * correction);
}

// A source in uniform motion along x, a target at (0, b): (v (t - tau))^2 + b^2 = (c tau)^2.
TEST(RetardedTime, UniformMotionClosedForm)
{
    const double c = 2, b = 3;
    for (const double v : {0.0, 0.5, -1.2, 1.9}) {
        for (const double t : {0.0, 4.0, -7.5}) {
            const auto at = [&](double s) { return Motion{v * s, 0, v, 0}; };
            const auto seen = SolveRetardedTime(0, b, t, c, 0.0, at);
            ASSERT_TRUE(seen);
            const double v2 = v * v, k = c * c - v2;
            const double tau =
                (-v2 * t + std::sqrt(v2 * v2 * t * t + k * (v2 * t * t + b * b))) / k;
            EXPECT_NEAR(seen->tau, tau, 1e-14 * tau) << "v " << v << " t " << t;
            EXPECT_NEAR(seen->at.x, v * (t - tau), 1e-13);
            // A poor first guess converges to the same root.
            const auto again = SolveRetardedTime(0, b, t, c, 10 * tau, at);
            ASSERT_TRUE(again);
            EXPECT_NEAR(again->tau, tau, 1e-14 * tau);
        }
    }
    // A source faster than c coming straight at the target has no unique retarded time.
    EXPECT_FALSE(SolveRetardedTime(0, 0, 0, 1, 0.0, [](double s) {
        return Motion{-3 * s + 5, 0, -3, 0};
    }));
}

// The dense history of a harmonic oscillator (x'' = -x as body 0's x; y at rest) built
// from fixed steps starting on the exact solution: its worst error at the steps' middles
// falls 2^5-fold when the steps halve (a fourth-order extension: local error h^5) and stays
// within what the quartic reaches, on every segment.
double WorstMidpointError(double h)
{
    DenseHistory history;
    Dp5Work w;
    w.resize(4);
    const auto rhs = [](double, std::span<const double> y, std::span<double> d) {
        d[0] = y[2];
        d[1] = y[3];
        d[2] = -y[0];
        d[3] = 0;
    };
    double worst = 0;
    const int steps = static_cast<int>(std::lround(1 / h));
    for (int k = 0; k < steps; ++k) {
        const double t = k * h;
        const std::vector<double> y{std::cos(t), 0, -std::sin(t), 0};
        Dp5Step(rhs, t, y, h, w);
        history.pushBack(MakeDenseSegment(t, h, y, w));
    }
    for (int k = 0; k < steps; ++k) {
        const double mid = (k + 0.5) * h;
        const Motion m = history.bodyAt(0, mid);
        worst = std::max({worst, std::fabs(m.x - std::cos(mid)), std::fabs(m.vx + std::sin(mid))});
    }
    return worst;
}

TEST(DenseHistory, FourthOrderContinuousExtension)
{
    const double coarse = WorstMidpointError(0.1), fine = WorstMidpointError(0.05);
    EXPECT_GT(coarse / fine, 28.0);
    EXPECT_LT(coarse / fine, 36.0);
    // 2.9e-9 at h 0.1; the neighbouring segment's quartic carried over is 7 times worse.
    EXPECT_LT(coarse, 5e-9);
}

// Two bodies falling into each other from rest: at c 0 the steps shrink until the time cannot
// tell them apart (free fall over d 1: t = pi / 2 sqrt(d^3 / (2 G M)), M 2); at c 10 the
// bodies outrun c first (later: the delayed pull is the weaker). Either way the run stops
// with a problem naming the time instead of stepping on or hanging, the state still finite.
TEST(ReferenceIntegration, HeadOnCollisionStopsWithAProblem)
{
    const std::pair<double, const char*> cases[] = {
        {0, "the step size falls below the resolution of the time at t = 0.785"},
        {10, "the retarded time of body 2 for body 1 does not converge at t = 0.81"}};
    for (const auto& [c, message] : cases) {
        const auto run = Make({c, {{1, -0.5, 0, 0, 0}, {1, 0.5, 0, 0, 0}}}, ForceLaw::Retarded);
        std::string problem;
        std::size_t steps = 0;
        while (run->step(problem) && steps < 100000)
            ++steps;
        EXPECT_LT(steps, 100000u);
        EXPECT_EQ(problem.rfind(message, 0), 0u) << problem;
        std::vector<Body> b(2);
        run->stateAt(run->time(), b);
        EXPECT_TRUE(std::isfinite(b[0].vx) && std::isfinite(b[1].x));
    }
}

TEST(ReferenceIntegration, RefusesAHistoryBeyondItsMemoryLimit)
{
    // Light, slow bodies at c 0.01: the delays reach a hundred time units back, more steps
    // of the past than a limit of 4 KiB holds.
    ReferenceIntegration run(Pair(1e-6, 1e-6, 1, 0, 0.01), ForceLaw::Retarded, 1e-14, 1 << 12);
    std::string problem;
    EXPECT_FALSE(run.step(problem));
    EXPECT_EQ(problem, "the history of the delays would exceed 0.00390625 MiB at t = 0");
    EXPECT_EQ(run.steps(), 0u);
}

} // namespace

// The state is summed with compensation: a body far out (x 1e8, whose last bit
// is 1.5e-8) drifting at 1e-12 moves by 1e-9 a step of 1000, below half that bit, and would
// stay where it is; with compensation it is at 1e8 + vx t to its last bit after t 1e6.
TEST(ReferenceIntegration, StateSummedWithCompensation)
{
    const auto run = Make({0, {{1, 1e8, 0, 1e-12, 0}}}, ForceLaw::Instantaneous);
    std::string problem;
    while (run->time() < 1e6)
        ASSERT_TRUE(run->step(problem)) << problem;
    std::vector<Body> b(1);
    run->stateAt(run->time(), b);
    EXPECT_NEAR(b[0].x - 1e8, 1e-12 * run->time(), 1.5e-8);
    EXPECT_GT(run->steps(), 1000u); // steps of at most 1000: each one's rounding counted
}
