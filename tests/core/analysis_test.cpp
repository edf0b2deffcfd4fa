// The run analysis: Kepler elements and totals of hand-computed systems, the running line
// against a two-pass fit, the theory against direct orbit averages and quadratures, and the
// accumulator on constructed orbits and on real runs; the warnings at their thresholds.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "core/analysis/run_analysis.h"
#include "core/place_pair.h"
#include "fake_host.h"

using namespace gravlag;
using gravlag::testing::DefaultState;
using gravlag::testing::FakeHost;

namespace {

void ExpectRelative(const std::optional<double>& got, double want, double tolerance)
{
    ASSERT_TRUE(got.has_value());
    EXPECT_NEAR(*got, want, tolerance * std::fabs(want));
}

// A massless body 1 at the apocentre of an orbit about body 0 (mass mu at rest, G = 1),
// turning counter-clockwise.
SimState OrbitState(double mu, double a, double e, double varpiDegrees)
{
    SimState s;
    s.mass = {mu, 0, 0};
    const double toApo = (varpiDegrees + 180) * kPi / 180;
    const double r = a * (1 + e), v = std::sqrt(mu * (1 - e) / (a * (1 + e)));
    s.x[1] = r * std::cos(toApo);
    s.y[1] = r * std::sin(toApo);
    s.vx[1] = -v * std::sin(toApo);
    s.vy[1] = v * std::cos(toApo);
    return s;
}

// Trapezoid rule over one period: exact to rounding for the smooth periodic integrands here.
double PeriodicMean(const std::function<double(double)>& f, int n = 1024)
{
    double sum = 0;
    for (int k = 0; k < n; ++k)
        sum += f(2 * kPi * k / n);
    return sum / n;
}

// The outer body as a ring (m3, radius a3) about the pair's centre of mass, its potential
// averaged over the ring directly and over the Kepler orbit (a, e) in mean anomaly, per unit
// reduced mass: each body sits at f r from the centre of mass (f = the other's share of the
// mass), so R = G m3 sum over both f of <1 / |f r - ring| - 1 / a3> / f (G = 1; the constant
// 1 / a3 taken out without cancelling: 1/D - 1/a3 = (a3^2 - D^2) / (a3 D (a3 + D))).
double RingAveragedPotential(double m1, double m2, double m3, double a3, double a, double e)
{
    return PeriodicMean([&](double E) {
        const double r = a * (1 - e * std::cos(E));
        double sum = 0;
        for (const double f : {m2 / (m1 + m2), m1 / (m1 + m2)}) {
            if (f == 0)
                continue;
            const double rho = f * r;
            sum += PeriodicMean([&](double psi) {
                const double D = std::sqrt(rho * rho + a3 * a3 - 2 * rho * a3 * std::cos(psi));
                return (2 * rho * a3 * std::cos(psi) - rho * rho) / (a3 * D * (a3 + D));
            }, 256) / f;
        }
        return m3 * sum * (1 - e * std::cos(E)); // dM = (1 - e cos E) dE
    }, 256);
}

// (2 pi / n) sqrt(1 - e^2) / (n a^2 e) d<R>/de in degrees, the derivative by Richardson's
// central differences (at e = 0 the limit, the second derivative).
double QuadraturePrecession(double m1, double m2, double m3, double a3, double a, double e)
{
    const auto R = [&](double ee) { return RingAveragedPotential(m1, m2, m3, a3, a, ee); };
    double dRdeOverE;
    if (e == 0) {
        const auto d2 = [&](double h) { return (R(h) - 2 * R(0) + R(-h)) / (h * h); };
        dRdeOverE = (4 * d2(0.01) - d2(0.02)) / 3;
    } else {
        const auto d1 = [&](double h) { return (R(e + h) - R(e - h)) / (2 * h); };
        dRdeOverE = (4 * d1(5e-4) - d1(1e-3)) / 3 / e;
    }
    const double mu = m1 + m2, n = std::sqrt(mu / (a * a * a));
    return (2 * kPi / n) * std::sqrt(1 - e * e) / (n * a * a) * dRdeOverE * 180 / kPi;
}

TheoryInputs PairInputs(double m1, double m2, double c, double a, double e)
{
    TheoryInputs in;
    in.m1 = m1;
    in.m2 = m2;
    in.c = c;
    const double mu = m1 + m2;
    in.start = KeplerElements(mu, 0, a * (1 + e), -std::sqrt(mu * (1 - e) / (a * (1 + e))), 0);
    return in;
}

// A host that hands the run's hooks to the analysis, samples every 100 passes.
struct AnalysedHost : FakeHost {
    RunAnalysis analysis;
    std::int64_t sampleEvery(const RunValues&) override { return 100; }
    void samplePass(const SimState& s, const RunValues& run) override { analysis.sample(s, run); }
    void apsisEvent(const SimState& s, const RunValues& run) override { analysis.orbit(s, run); }
};

// The run with its analysis; begin() sees the state of a set-up made alone (set-up is
// deterministic, so it is the state the run starts from).
RunReport AnalysedRun(SimState s, AnalysedHost& h, RunResult* out = nullptr)
{
    FakeHost setup;
    setup.boxes = h.boxes;
    setup.boxes[PanelBox::Titer] = "-1";
    SimState s0 = s;
    const RunResult set = RunSimulation(s0, setup);
    h.analysis.begin(s0, set.values);
    const RunResult result = RunSimulation(s, h);
    if (out)
        *out = result;
    return h.analysis.finish(s, result);
}

} // namespace

TEST(OrbitElements, HandComputedKeplerOrbits)
{
    // Circular: mu 4, r 1, v 2.
    OrbitElements c = KeplerElements(4, 1, 0, 0, 2);
    EXPECT_EQ(*c.a, 1.0);
    EXPECT_EQ(*c.e, 0.0);
    EXPECT_FALSE(c.varpi); // no pericentre on a circle
    EXPECT_DOUBLE_EQ(*c.period, kPi);
    EXPECT_EQ(*c.h, 2.0);

    // "Mercury": speed factor 0.6 at the far end, body 1 at 45 degrees from body 0.
    SimState s;
    s.mass = {100, 0.001, 0};
    const PairPlacement p = PlacePair(100, 0.001, 8, 0.6, kPi + kPi / 4);
    s.x = {p.x0, p.x1, 0};
    s.y = {p.y0, p.y1, 0};
    s.vx = {p.vx0, p.vx1, 0};
    s.vy = {p.vy0, p.vy1, 0};
    const double mu = 100.001, a = 8 / (2 - 0.36);
    const OrbitElements m = InnerPairElements(s);
    ExpectRelative(m.a, a, 1e-13);
    ExpectRelative(m.e, 0.64, 1e-13);
    ExpectRelative(m.varpi, 225, 1e-13); // opposite the starting direction
    ExpectRelative(m.period, 2 * kPi * std::sqrt(a * a * a / mu), 1e-13);
    ExpectRelative(m.h, 0.6 * std::sqrt(8 * mu), 1e-13);

    // Pericentre just below the +x axis: varpi just below 360, never 360 or negative.
    ExpectRelative(InnerPairElements(OrbitState(1, 2, 0.3, 359.9)).varpi, 359.9, 1e-12);
    EXPECT_LT(*KeplerElements(4, 1, 1e-18, 0, 3).varpi, 360.0); // e vector (1.25, -1e-18)

    // Unbound (at pericentre, r 1, v 3, mu 4): no a, no period; e = r v^2 / mu - 1.
    const OrbitElements u = KeplerElements(4, 1, 0, 0, 3);
    EXPECT_FALSE(u.a);
    EXPECT_FALSE(u.period);
    ExpectRelative(u.e, 1.25, 1e-15);
    EXPECT_EQ(*u.varpi, 0.0);

    // Radial fall from rest at 1e200, where r's square overflows: a = r / 2, e = 1.
    const OrbitElements far = KeplerElements(4, 1e200, 0, 0, 0);
    ExpectRelative(far.a, 5e199, 1e-15);
    ExpectRelative(far.e, 1, 1e-15);

    // Degenerate: no mass, or coincident bodies: only h.
    for (const OrbitElements& d : {KeplerElements(0, 1, 0, 0, 2), KeplerElements(4, 0, 0, 1, 1)}) {
        EXPECT_TRUE(d.h);
        EXPECT_FALSE(d.a || d.e || d.varpi || d.period);
    }
}

TEST(Conserved, ActiveBodiesOnly)
{
    SimState s;
    s.mass = {1, 2, 3};
    s.x = {0, 3, 0};
    s.y = {0, 0, 4};
    s.vx = {1, 0, -1};
    s.vy = {0, 1, -2};
    // Kinetic 0.5 + 1 + 7.5; potential -(2/3 + 3/4 + 6/5); Lz 0 + 6 + 12; p (-2, -4).
    const ConservedQuantities all = Conserved(s, 2);
    ExpectRelative(all.energy, 9 - (2.0 / 3 + 0.75 + 1.2), 1e-15);
    ExpectRelative(all.angularMomentum, 18, 1e-15);
    ExpectRelative(all.momentum, std::sqrt(20.0), 1e-15);
    const ConservedQuantities two = Conserved(s, 1);
    ExpectRelative(two.energy, 1.5 - 2.0 / 3, 1e-15);
    ExpectRelative(two.angularMomentum, 6, 1e-15);
    ExpectRelative(two.momentum, std::sqrt(5.0), 1e-15);
    s.x[2] = 3;
    s.y[2] = 0; // on body 1
    const ConservedQuantities coincident = Conserved(s, 2);
    EXPECT_FALSE(coincident.energy);
    EXPECT_TRUE(coincident.angularMomentum && coincident.momentum);
}

TEST(RunningLine, SlopeAndStandardErrorLikeATwoPassFit)
{
    // (0,1) (1,3) (2,2) (3,5): Sxx 5, Sxy 5.5, Syy 8.75; slope 1.1, SSR 2.7, se sqrt(2.7/2/5).
    RunningLine line, shifted;
    const double ys[] = {1, 3, 2, 5};
    for (int i = 0; i < 4; ++i) {
        line.add(i, ys[i]);
        shifted.add(1e6 + i, 1e9 + ys[i]);
        if (i == 0) {
            EXPECT_FALSE(line.slope());
        }
        if (i == 1) {
            EXPECT_FALSE(line.slopeStdError());
        }
    }
    line.add(7, NAN); // left out
    EXPECT_EQ(line.count(), 4);
    ExpectRelative(line.slope(), 1.1, 1e-15);
    ExpectRelative(line.slopeStdError(), std::sqrt(0.27), 1e-14);
    ExpectRelative(shifted.slope(), 1.1, 1e-9);
    ExpectRelative(shifted.slopeStdError(), std::sqrt(0.27), 1e-9);

    // Apsis directions: a drift of 4e-4 per event with 1e-11 of scatter, 47 events; the
    // scatter must survive (Syy - Sxy^2/Sxx about the raw values keeps none of it).
    RunningLine apsis;
    std::vector<double> y;
    for (int i = 0; i < 47; ++i) {
        y.push_back(45.01 + 4e-4 * i + 1e-11 * std::sin(1.7 * i * i));
        apsis.add(i, y.back());
    }
    long double mx = 23, my = 0, sxx = 0, sxy = 0, ssr = 0;
    for (double v : y)
        my += v / 47.0L;
    for (int i = 0; i < 47; ++i) {
        sxx += (i - mx) * (i - mx);
        sxy += (i - mx) * (y[i] - my);
    }
    const long double b = sxy / sxx;
    for (int i = 0; i < 47; ++i)
        ssr += (y[i] - my - b * (i - mx)) * (y[i] - my - b * (i - mx));
    ExpectRelative(apsis.slope(), static_cast<double>(b), 1e-12);
    ExpectRelative(apsis.slopeStdError(), static_cast<double>(std::sqrt(ssr / 45 / sxx)), 1e-6);

    RunningLine sameX;
    sameX.add(2, 1);
    sameX.add(2, 3);
    sameX.add(2, 4);
    EXPECT_FALSE(sameX.slope() || sameX.slopeStdError());
}

TEST(Theory, DelayFormulasAgainstOrbitAverages)
{
    // Circular, equal masses m, separation d: the widening per time is 2 G m / (d c).
    const std::optional<TheoryValues> circ = Theory(PairInputs(100, 100, 5000, 12, 0));
    ASSERT_TRUE(circ);
    const double period = 2 * kPi * std::sqrt(12.0 * 12 * 12 / 200);
    ExpectRelative(*circ->delayDaPerOrbit / period, 2 * 100.0 / (12 * 5000), 1e-13);
    EXPECT_EQ(*circ->delayDePerOrbit, 0.0);
    EXPECT_EQ(*circ->delayDvarpiPerOrbit, 0.0);
    ExpectRelative(circ->grPrecessionPerOrbit, 6 * kPi * 200 / (5000.0 * 5000 * 12) * 180 / kPi, 1e-13);
    EXPECT_FALSE(circ->perturberPrecessionPerOrbit);

    // Eccentric: the first-order push K / r^2 (v - 3 r^ v_r) averaged over the Kepler orbit
    // gives <dE/dt> = K <(v^2 - 3 v_r^2) / r^2> and <dh/dt> = K h <1 / r^2>.
    const double m1 = 100, m2 = 0.001, c = 1000, a = 8 / 1.64, e = 0.64;
    const double mu = m1 + m2, K = 2 * m1 * m2 / ((m1 + m2) * c);
    const double n = std::sqrt(mu / (a * a * a)), h = std::sqrt(mu * a * (1 - e * e));
    const auto weighted = [&](const std::function<double(double, double)>& f) {
        return PeriodicMean([&](double E) {
            const double r = a * (1 - e * std::cos(E));
            const double vr = a * e * std::sin(E) * n / (1 - e * std::cos(E));
            return f(r, vr) * (1 - e * std::cos(E));
        });
    };
    const double dEdt = K * weighted([&](double r, double vr) {
        const double v2 = mu * (2 / r - 1 / a);
        return (v2 - 3 * vr * vr) / (r * r);
    });
    const double dhdt = K * h * weighted([](double r, double) { return 1 / (r * r); });
    const double orbit = 2 * kPi / n;
    const double da = 2 * a * a / mu * dEdt * orbit;
    const double de = (-2 * h * dhdt * orbit / (mu * a) + h * h * da / (mu * a * a)) / (2 * e);
    const std::optional<TheoryValues> ecc = Theory(PairInputs(m1, m2, c, a, e));
    ASSERT_TRUE(ecc);
    ExpectRelative(ecc->delayDaPerOrbit, da, 1e-11);
    ExpectRelative(ecc->delayDePerOrbit, de, 1e-11);
    // The same pair turning clockwise (h < 0) widens and rounds the same.
    TheoryInputs clockwise = PairInputs(m1, m2, c, a, e);
    clockwise.start = KeplerElements(mu, 0, a * (1 + e), std::sqrt(mu * (1 - e) / (a * (1 + e))), 0);
    ASSERT_LT(*clockwise.start.h, 0);
    const std::optional<TheoryValues> cw = Theory(clockwise);
    ASSERT_TRUE(cw);
    EXPECT_EQ(cw->delayDaPerOrbit, ecc->delayDaPerOrbit);
    EXPECT_EQ(cw->delayDePerOrbit, ecc->delayDePerOrbit);

    // Where nothing applies: no delay (c 0), no outer body; an unbound orbit.
    EXPECT_FALSE(Theory(PairInputs(100, 0.001, 0, a, e)));
    EXPECT_FALSE(Theory(PairInputs(100, 0.001, -5, a, e)));
    TheoryInputs unbound = PairInputs(100, 0.001, 1000, a, e);
    unbound.start = KeplerElements(mu, 1, 0, 0, 20);
    EXPECT_FALSE(Theory(unbound));
}

TEST(Theory, RingSeriesAgainstQuadrature)
{
    struct Case {
        double m2, a, e, a3;
    };
    // "Mercury"; an apocentre at 0.88 of the ring's radius; nearly circular; circular; and
    // comparable masses, where each order of the series carries its mass factor.
    for (const Case k : {Case{0.001, 8 / 1.64, 0.64, 30}, Case{0.001, 1, 0.5, 1.7},
                         Case{0.001, 12, 0.01, 30}, Case{0.001, 12, 0, 30}, Case{100, 1, 0.5, 1.7},
                         Case{40, 8 / 1.64, 0.64, 12}}) {
        SCOPED_TRACE(k.m2);
        SCOPED_TRACE(k.a3 / (k.a * (1 + k.e)));
        TheoryInputs in = PairInputs(100, k.m2, 0, k.a, k.e);
        in.outerActive = true;
        in.m3 = 0.1;
        in.a3 = k.a3;
        const std::optional<TheoryValues> t = Theory(in);
        ASSERT_TRUE(t);
        ExpectRelative(t->perturberPrecessionPerOrbit,
                       QuadraturePrecession(100, k.m2, 0.1, k.a3, k.a, k.e), 1e-8);
        EXPECT_FALSE(t->delayDaPerOrbit || t->grPrecessionPerOrbit); // c 0
    }

    // A far ring: the quadrupole's (3 pi / 2) (m3 / mu) (a / a3)^3 sqrt(1 - e^2).
    TheoryInputs far = PairInputs(100, 0.001, 0, 5, 0.6);
    far.outerActive = true;
    far.m3 = 0.1;
    far.a3 = 5e4;
    ExpectRelative(Theory(far)->perturberPrecessionPerOrbit,
                   1.5 * kPi * (0.1 / 100.001) * std::pow(5 / 5e4, 3) * 0.8 * 180 / kPi, 1e-6);

    // The ring inside the apocentre, no outer mass, the outer body inactive: no value.
    TheoryInputs inside = far;
    inside.a3 = 5 * 1.6;
    TheoryInputs massless = far;
    massless.m3 = 0;
    TheoryInputs inactive = far;
    inactive.outerActive = false;
    for (const TheoryInputs& in : {inside, massless, inactive})
        EXPECT_FALSE(Theory(in));
}

TEST(RunAnalysis, RatesThroughOrbitEventsAndTheFallback)
{
    // Orbit k has a = 5 + 0.01 k, e = 0.5 - 0.001 k, varpi = 359.5 + 0.3 k (across 360).
    const auto orbitState = [](int k) {
        SimState s = OrbitState(10, 5 + 0.01 * k, 0.5 - 0.001 * k, std::fmod(359.5 + 0.3 * k, 360));
        s.scenarioCode = Scenario::Mercury;
        s.dt = 0.01;
        return s;
    };
    const double startPeriod = 2 * kPi * std::sqrt(125 / 10.0);
    RunValues run;
    run.nLast = 1;
    for (const int events : {5, 2, 1}) {
        SCOPED_TRACE(events);
        RunAnalysis analysis;
        analysis.begin(orbitState(0), run);
        RunValues at = run;
        for (int k = 1; k <= events; ++k) {
            at.apsisCount = k;
            at.apsisAngle = 45 + 0.002 * k + (k % 2 ? 1e-4 : -1e-4);
            analysis.orbit(orbitState(k), at);
        }
        RunResult result;
        result.values = at;
        result.values.fit = ApsisFit{};
        result.values.fit->fitB = 0.00123; // the run's own fit slope, reported as it stands
        // 2.5 starting periods with 2 events: the fallback divides by elapsed orbits, not events.
        result.passes = static_cast<std::int64_t>(std::llround(2.5 * startPeriod / 0.01));
        const double elapsed = static_cast<double>(result.passes) * 0.01 / startPeriod;
        const RunReport r = analysis.finish(orbitState(events), result);
        const double orbits = events >= 3 ? 1.0 : events / elapsed;
        EXPECT_EQ(r.orbits.count, events);
        ExpectRelative(r.elements.rates.daPerOrbit, 0.01 * orbits, 1e-9);
        ExpectRelative(r.elements.rates.dePerOrbit, -0.001 * orbits, 1e-9);
        ExpectRelative(r.elements.rates.dvarpiPerOrbit, 0.3 * orbits, 1e-9);
        EXPECT_EQ(r.precession.events, events);
        EXPECT_EQ(r.precession.perOrbit, events >= 2 ? std::optional(0.00123) : std::nullopt);
        EXPECT_EQ(r.precession.stdError.has_value(), events >= 3);
    }
}

TEST(RunAnalysis, TurnsInEitherSenseFromTheSamples)
{
    // "2 BH's": body 1 sampled every 10 degrees from its start at 100 degrees.
    for (const double sense : {1.0, -1.0}) {
        RunAnalysis analysis;
        RunValues run;
        run.nLast = 1;
        analysis.begin(OrbitState(1, 2, 0, 100 - 180), run);
        for (int k = 1; k <= 89; ++k) // 2.47 turns
            analysis.sample(OrbitState(1, 2 + 0.001 * k, 0, 100 - 180 + sense * 10 * k), run);
        SimState end = OrbitState(1, 2.1, 0, 0);
        EXPECT_EQ(analysis.finish(end, RunResult{}).orbits.count, 2) << sense;
    }
}

TEST(RunAnalysis, SampleIntervalKeepsEightSamplesPerStartingOrbit)
{
    // "2 BH's" with a starting period of 2 pi: 0.785 time units per eighth of it.
    SimState s = OrbitState(1, 1, 0, 0);
    RunValues run;
    run.nLast = 1;
    const auto every = [&](double dt) {
        s.dt = dt;
        return RunAnalysis::SampleInterval(s, run);
    };
    EXPECT_EQ(every(0.001), 100); // 785 passes an eighth: the usual 100
    EXPECT_EQ(every(0.01), 78);
    EXPECT_EQ(every(0.5), 1);
    EXPECT_EQ(every(2), 1); // less than a pass an eighth: every pass
    EXPECT_EQ(every(0), 100);
    s.vy[1] = 2; // unbound: no period
    EXPECT_EQ(every(0.01), 100);
    run.nLast = 0; // one body
    EXPECT_EQ(every(0.01), 0);
    s = OrbitState(1, 1, 0, 0);
    s.scenarioCode = Scenario::Mercury; // its orbits are the apsis events
    run.nLast = 1;
    EXPECT_EQ(every(0.01), 0);
}

TEST(RunAnalysis, MercuryRunAtC0)
{
    SimState s = DefaultState();
    AnalysedHost h;
    gravlag::testing::UseMercury(s, h);
    h.boxes[PanelBox::Tn_object] = "2";
    h.boxes[PanelBox::Titer] = "70000"; // 10 orbits
    RunResult result;
    const RunReport r = AnalysedRun(s, h, &result);
    EXPECT_EQ(r.orbits.count, 10);
    EXPECT_EQ(r.orbits.t, 70001 * 0.001);
    EXPECT_EQ(r.precession.events, 10);
    EXPECT_EQ(*r.precession.perOrbit, result.values.fit->fitB);
    // The integrator's own retrograde drift, on a clean line.
    EXPECT_LT(*r.precession.perOrbit, -3e-4);
    EXPECT_LT(*r.precession.stdError, 1e-9);
    // The osculating pericentre turns as the measured apsis does.
    EXPECT_NEAR(*r.elements.rates.dvarpiPerOrbit, *r.precession.perOrbit, 1e-7);
    ExpectRelative(r.elements.start.e, 0.64, 1e-12);
    EXPECT_LT(std::fabs(*r.elements.rates.daPerOrbit), 1e-8);
    EXPECT_LT(std::fabs(*r.energy.relChange), 1e-3);
    EXPECT_LT(std::fabs(*r.angularMomentum.relChange), 1e-12);
    EXPECT_LT(std::fabs(*r.momentum.change), 1e-14);
    EXPECT_FALSE(r.theory); // c 0, two bodies
}

TEST(RunAnalysis, TwoBlackHolesCountTurnsAndWiden)
{
    // Period 18.47: 100000 passes make 5 turns. At c 5000 the pair widens by the theory's
    // rate to within the change of the orbit over the run.
    SimState s = DefaultState();
    s.c = 5000;
    AnalysedHost h;
    h.boxes[PanelBox::Tn_object] = "2";
    h.boxes[PanelBox::Titer] = "100000";
    const RunReport r = AnalysedRun(s, h);
    EXPECT_EQ(r.orbits.count, 5);
    EXPECT_EQ(r.precession.events, 0);
    EXPECT_FALSE(r.precession.perOrbit || r.precession.stdError);
    ASSERT_TRUE(r.theory);
    ExpectRelative(r.elements.rates.daPerOrbit, *r.theory->delayDaPerOrbit, 0.02);
    EXPECT_GT(*r.energy.relChange, 0); // the delay feeds the orbit

    // One body: no pair, no elements, no theory, no turns.
    AnalysedHost one;
    one.boxes[PanelBox::Tn_object] = "1";
    one.boxes[PanelBox::Titer] = "40000";
    const RunReport single = AnalysedRun(s, one);
    EXPECT_EQ(single.orbits.count, 0);
    EXPECT_FALSE(single.elements.start.a || single.elements.end.e || single.elements.rates.daPerOrbit);
    EXPECT_FALSE(single.theory);
}

TEST(Warnings, EachKindAtItsThreshold)
{
    // A report that warns of nothing: 3 orbits, bound, energy within 1e-3, no delay beyond.
    RunReport clean;
    clean.orbits.count = 3;
    clean.elements.rates.daPerOrbit = 0.1;
    clean.elements.start.e = 0.5;
    clean.elements.end.e = std::nextafter(1.0, 0.0);
    clean.energy.relChange = -1e-3;
    clean.delay = DelayStats{25, 0};
    const auto kinds = [](const RunReport& r, bool instantaneous) {
        std::vector<WarningKind> k;
        for (const Warning& w : RunWarnings(r, instantaneous)) {
            EXPECT_FALSE(w.text.empty() || w.text.find('\n') != std::string::npos) << w.text;
            k.push_back(w.kind);
        }
        return k;
    };
    using K = std::vector<WarningKind>;
    EXPECT_EQ(kinds(clean, true), K{});

    RunReport r = clean;
    r.energy.relChange = -1.0001e-3;
    EXPECT_EQ(kinds(r, true), K{WarningKind::EnergyNotConserved});
    EXPECT_EQ(kinds(r, false), K{}); // a delay feeds or drains the orbit: physics
    r = clean;
    r.delay->passesBeyondHistory = 1;
    EXPECT_EQ(kinds(r, true), K{WarningKind::DelayBeyondHistory});
    r = clean;
    r.orbits.count = 2;
    EXPECT_EQ(kinds(r, true), K{WarningKind::FewOrbits});
    r.elements.rates.daPerOrbit.reset(); // no rate at all: nothing to warn of
    EXPECT_EQ(kinds(r, true), K{});
    r.precession.perOrbit = 0.01;
    EXPECT_EQ(kinds(r, true), K{WarningKind::FewOrbits});
    for (OrbitElements* el : {&r.elements.start, &r.elements.end}) {
        r = clean;
        el->e = 1;
        EXPECT_EQ(kinds(r, true), K{WarningKind::Unbound});
    }
    // Through the analysis: at c > 0 only the instantaneous law is held to its energy.
    for (const ForceLaw law : {ForceLaw::Retarded, ForceLaw::Instantaneous, ForceLaw::AberrationFree}) {
        RunValues pair;
        pair.nLast = 1;
        SimState start = OrbitState(1, 2, 0.5, 0), end = OrbitState(1, 2.1, 0.5, 0); // energy 5 % up
        start.mass[1] = end.mass[1] = 1e-3;
        start.c = 1000;
        RunAnalysis analysis;
        analysis.begin(start, pair, law);
        const std::vector<Warning> w = analysis.finish(end, RunResult{}).warnings;
        EXPECT_EQ(!w.empty() && w[0].kind == WarningKind::EnergyNotConserved, law == ForceLaw::Instantaneous);
    }
    // All at once, in the order of the kinds.
    r.energy.relChange = 13;
    r.delay->passesBeyondHistory = 7;
    r.orbits.count = 0;
    EXPECT_EQ(kinds(r, true), (K{WarningKind::EnergyNotConserved, WarningKind::DelayBeyondHistory,
                                 WarningKind::FewOrbits, WarningKind::Unbound}));
}
