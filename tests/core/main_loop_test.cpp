// The main loop: one pass by hand, the loop's bounds and stops, faults, and long runs of
// every retardation method against the plain reference loop, bit for bit, field by field.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <tuple>

#include "core/pass.h"
#include "fake_host.h"
#include "reference_run.h"

using namespace gravlag;
using gravlag::testing::DefaultState;
using gravlag::testing::FakeHost;

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The state right after set-up, with no pass made.
SimState SetUpState(FakeHost h, SimState s)
{
    h.boxes[PanelBox::Titer] = "-1";
    RunSimulation(s, h);
    return s;
}

} // namespace

TEST(Pass, TwoBodiesAtRestOneStep)
{
    SimState s;
    s.dt = 0.001;
    s.mass = {1, 1, 0};
    s.x = {-1, 1, 0};
    const PassConstants pc(s);
    HistoryLookup lookup;
    PassCarry carry(s);
    PassChecks<false> checks;
    using enum RetardationMethod;
    ASSERT_TRUE((OnePass<1, false, VelocityEstimate>(s, pc, lookup, carry, checks)));
    EXPECT_EQ(s.fx[0], -0.25);
    EXPECT_EQ(s.vx[0], 0.00025);
    EXPECT_EQ(s.x[0], -0.99999975);
    EXPECT_EQ(s.fx[1], 0.25);
    EXPECT_EQ(s.vx[1], -0.00025);
    EXPECT_EQ(s.x[1], 0.99999975);
    EXPECT_EQ(s.y[0], 0.0);
    EXPECT_EQ(s.vy[1], 0.0);
    EXPECT_EQ(DelayInSteps(carry.tau10, s.dt), 0.0);
    EXPECT_EQ(s.hist.x(1, 0), 0.99999975);
    EXPECT_EQ(s.sepHist[0], 2 * 0.99999975);
    EXPECT_EQ(carry.sep[0], 2 * 0.99999975);
}

TEST(Pass, CoincidentBodiesAreAFaultNotANaN)
{
    SimState s;
    s.dt = 0.001;
    s.mass = {1, 1, 1};
    s.x = {0, 0, 5};
    const SimState before = s;
    const PassConstants pc(s);
    HistoryLookup lookup;
    PassCarry carry(s);
    PassChecks<false> folded;
    using enum RetardationMethod;
    EXPECT_FALSE((OnePass<2, false, VelocityEstimate>(s, pc, lookup, carry, folded)));
    PassChecks<true> naming;
    EXPECT_FALSE((OnePass<2, false, VelocityEstimate>(s, pc, lookup, carry, naming)));
    EXPECT_EQ(PassFaultText(naming.fault(), false),
              "division by zero: body 1 and the position of body 2 coincide");
    EXPECT_EQ(s.x, before.x);
    EXPECT_EQ(s.fx, before.fx);
    EXPECT_EQ(s.hist.x(0, 0), before.hist.x(0, 0));
}

// Bodies so far apart that r^3 overflows pull each other with 0, and every position stays
// finite: the folded checks must still fail, and the naming ones say where.
TEST(Pass, ForceOverflowOfFarBodiesIsCaughtFolded)
{
    SimState s;
    s.dt = 0.001;
    s.mass = {1, 1, 0};
    s.x = {-1e103, 1e103, 0};
    const PassConstants pc(s);
    HistoryLookup lookup;
    PassCarry carry(s);
    PassChecks<false> folded;
    using enum RetardationMethod;
    EXPECT_FALSE((OnePass<1, false, VelocityEstimate>(s, pc, lookup, carry, folded)));
    PassChecks<true> naming;
    EXPECT_FALSE((OnePass<1, false, VelocityEstimate>(s, pc, lookup, carry, naming)));
    EXPECT_EQ(PassFaultText(naming.fault(), false), "overflow in the force on body 1 from body 2");
}

// Without a delay a pass takes each pair's difference once for both of its bodies, which
// agrees with the plain formulas but for the sign of a zero. Zeros of every sign here: the
// retarded position -0 - v*0 of a body at -0 moving left is +0; bodies 1 and 2 share x = -0;
// body 3's sources are massless, so its pull is a sum of zeros, +0 as the plain sum leaves
// it. Every field to the bit.
TEST(Pass, SignedZerosWithoutADelayAsTheReferenceLeavesThem)
{
    SimState s;
    s.dt = 0.001;
    s.mass = {0, 0, 1};
    s.x = {-0.0, -0.0, -2};
    s.y = {1, -1, 0.5};
    s.vx = {-1, -0.0, 0};
    s.vy = {0, 0.5, -0.0};
    gravlag::testing::ReferenceBodies ref = gravlag::testing::ReferenceFrom(s);
    const PassConstants pc(s);
    HistoryLookup lookup;
    PassCarry carry(s);
    const int passes = 3;
    for (int k = 0; k < passes; ++k) {
        PassChecks<false> checks;
        ASSERT_TRUE((OnePass<2, false, RetardationMethod::VelocityEstimate>(s, pc, lookup, carry, checks)));
        if (k == 0) { // the zeros themselves, before the reference is asked
            EXPECT_TRUE(SameBits(s.xRet[0], 0.0) && SameBits(s.fx[2], 0.0));
        }
    }
    gravlag::testing::ReferencePasses(ref, 2, 0, s.dt, false, passes);
    for (int i = 0; i < kBodies; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(SameBits(s.x[i], ref.x[i]) && SameBits(s.y[i], ref.y[i]));
        EXPECT_TRUE(SameBits(s.vx[i], ref.vx[i]) && SameBits(s.vy[i], ref.vy[i]));
        EXPECT_TRUE(SameBits(s.fx[i], ref.fx[i]) && SameBits(s.fy[i], ref.fy[i]));
        EXPECT_TRUE(SameBits(s.xRet[i], ref.xRet[i]) && SameBits(s.yRet[i], ref.yRet[i]));
    }
}

// floor(tau / dt) is finite exactly up to the bound, so that the shown delays' check can
// compare instead of divide: at the bound the quotient is finite, one ulp above it is not.
TEST(Pass, LargestFiniteDelayIsExact)
{
    for (const double dt : {0.001, 3.0, -0.001, 1e-310, 5e-324, 1e300, 0.1}) {
        const double bound = LargestFiniteDelay(dt);
        EXPECT_TRUE(std::isfinite(std::floor(bound / dt))) << dt;
        EXPECT_FALSE(std::isfinite(std::nextafter(bound, INFINITY) / dt)) << dt;
    }
    EXPECT_EQ(LargestFiniteDelay(INFINITY), DBL_MAX); // every finite tau
    EXPECT_EQ(LargestFiniteDelay(0.0), -INFINITY);    // 0 / 0: none
    EXPECT_EQ(LargestFiniteDelay(NAN), -INFINITY);
}

namespace {

// A history whose entry h holds 100 + h*h (x) and -h (y) for body 1.
PositionHistory DistinctHistory()
{
    PositionHistory hist;
    hist.fill({0, 0, 0}, {0, 0, 0});
    for (int h = 20; h >= 0; --h)
        hist.push({0, 100.0 + h * h, 0}, {0, -static_cast<double>(h), 0});
    return hist;
}

// The lookup of body 1 in that history, with dt 0.5.
struct Lookup {
    PositionHistory hist = DistinctHistory();
    HistoryLookup lookup;
    double xr = 7, yr = 7;
    Lookup() { lookup.prime(hist, 0.5); }
    bool at(double tau, int body = 1, double dt = 0.5)
    {
        const HistoryLookup::Position p = lookup.RetardedPosition(body, 0, tau, dt, hist);
        if (p.found) {
            xr = p.x;
            yr = p.y;
        }
        return p.found;
    }
};

} // namespace

TEST(RetardedPosition, InterpolatesBetweenTheBracketingEntries)
{
    Lookup l;
    ASSERT_TRUE(l.at(3.25 * 0.5));
    EXPECT_DOUBLE_EQ(l.xr, 109 + (116 - 109) * 0.25); // between entries 3 and 4
    EXPECT_DOUBLE_EQ(l.yr, -3.25);
    ASSERT_TRUE(l.at(0));
    EXPECT_EQ(l.xr, 100.0); // tau 0: exactly entry 0
    ASSERT_TRUE(l.at(19.5 * 0.5));
    EXPECT_DOUBLE_EQ(l.xr, 100 + 361 + (400 - 361) * 0.5); // n = 19: entries 19 and 20
}

TEST(RetardedPosition, ExtrapolatesFromTheTwoOldestFrom20Steps)
{
    Lookup l;
    ASSERT_TRUE(l.at(20 * 0.5));
    EXPECT_DOUBLE_EQ(l.xr, 500.0);
    ASSERT_TRUE(l.at(25 * 0.5));
    EXPECT_DOUBLE_EQ(l.xr, 500 + (400 - 361) * 5.0);
    EXPECT_DOUBLE_EQ(l.yr, -25.0);
}

TEST(RetardedPosition, RefusesWhatNoEntryAnswers)
{
    Lookup l;
    EXPECT_FALSE(l.at(1.0, 1, -0.5));
    EXPECT_FALSE(l.at(-1.0));
    EXPECT_FALSE(l.at(1.0, 3));
    EXPECT_FALSE(l.at(NAN));
}

struct ReferenceCase {
    const char* name;
    double c;
    bool pred1;
    int bodies;
    Scenario scenario;
    std::int64_t passes;
    double dt = 0.001;
};

class AgainstReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(AgainstReference, LongRunBitForBit)
{
    const ReferenceCase& rc = GetParam();
    SimState s = DefaultState();
    s.c = rc.c;
    s.dt = rc.dt;
    s.scenarioCode = rc.scenario;
    FakeHost h;
    h.boxes[PanelBox::Tn_object] = std::to_string(rc.bodies);
    h.boxes[PanelBox::Tpredsel] = rc.pred1 ? "1" : "0";
    if (rc.scenario == Scenario::Mercury)
        gravlag::testing::UseMercury(s, h);
    gravlag::testing::ReferenceBodies ref = gravlag::testing::ReferenceFrom(SetUpState(h, s));
    h.boxes[PanelBox::Titer] = std::to_string(rc.passes - 1);
    const RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    ASSERT_EQ(r.passes, rc.passes);
    gravlag::testing::ReferencePasses(ref, rc.bodies - 1, rc.c, s.dt, rc.pred1, rc.passes);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SameBits(s.x[i], ref.x[i])) << "x" << i << " " << s.x[i] << " vs " << ref.x[i];
        EXPECT_TRUE(SameBits(s.y[i], ref.y[i])) << "y" << i;
        EXPECT_TRUE(SameBits(s.vx[i], ref.vx[i])) << "vx" << i;
        EXPECT_TRUE(SameBits(s.vy[i], ref.vy[i])) << "vy" << i;
        for (int hh = 0; hh <= 20; ++hh)
            EXPECT_TRUE(SameBits(s.hist.x(i, hh), ref.xh[i][hh]));
    }
    if (rc.bodies >= 2) {
        EXPECT_TRUE(SameBits(*r.values.delay21, ref.delay21));
    }
    if (rc.bodies == 3) {
        EXPECT_TRUE(SameBits(*r.values.delay31, ref.delay31));
    }
}

using enum Scenario;

// c = 600 puts the delay of the inner pair (separation 12, dt 0.001) right at 20 steps, so
// the lookup crosses between interpolation (n = 19) and extrapolation (n = 20) as it wobbles.
INSTANTIATE_TEST_SUITE_P(
    Methods, AgainstReference,
    ::testing::Values(ReferenceCase{"Instantaneous", 0, false, 3, TwoBlackHoles, 20000},
                      ReferenceCase{"InstantaneousHistory", 0, true, 3, TwoBlackHoles, 5000},
                      ReferenceCase{"NegativeC", -5, false, 3, TwoBlackHoles, 3000},
                      ReferenceCase{"VelocityEstimate", 50000, false, 3, TwoBlackHoles, 20000},
                      ReferenceCase{"HistoryLookup", 50000, true, 3, TwoBlackHoles, 20000},
                      ReferenceCase{"HistoryBoundary19To20", 600, true, 3, TwoBlackHoles, 20000},
                      ReferenceCase{"LongDelayExtrapolation", 50, true, 3, TwoBlackHoles, 20000},
                      ReferenceCase{"TwoBodiesHistory", 2000, true, 2, TwoBlackHoles, 10000},
                      ReferenceCase{"MercuryHistory", 50000, true, 3, Mercury, 20000},
                      ReferenceCase{"HistoryWithoutDelay", 0, true, 3, TwoBlackHoles, 5000},
                      ReferenceCase{"TwoBodiesVelocity", 50000, false, 2, TwoBlackHoles, 5000},
                      ReferenceCase{"OneBodyHistory", 50000, true, 1, TwoBlackHoles, 2000},
                      ReferenceCase{"NegativeDtInstant", 0, false, 3, TwoBlackHoles, 3000, -0.001},
                      ReferenceCase{"NegativeDtVelocity", 50000, false, 3, TwoBlackHoles, 3000, -0.001}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainLoop, BoundsUpdatesAndSamples)
{
    SimState s = DefaultState();
    FakeHost h;
    h.boxes[PanelBox::Titer] = "0";
    RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.passes, 1);
    EXPECT_EQ(h.displayPasses, (std::vector<std::int64_t>{0}));
    EXPECT_EQ(h.plotPasses, (std::vector<std::int64_t>{0})); // interval rounds to 0: every pass

    FakeHost h2;
    h2.boxes[PanelBox::Titer] = "2000";
    r = RunSimulation(s, h2);
    EXPECT_EQ(r.lastPass, 2000);
    EXPECT_EQ(r.values.sampleInterval, 2); // 2000 / 800 = 2.5, half to even (not away from 0)
    EXPECT_EQ(h2.displayPasses.size(), 21u);
    EXPECT_EQ(h2.plotPasses.size(), 1001u);
    EXPECT_EQ(h2.caption, "End");
}

// The export hook sees every n-th committed pass, after the drawing hooks of that pass, and
// a host that asks for nothing is never called.
TEST(MainLoop, SamplesEveryNthCommittedPass)
{
    struct SamplingHost : FakeHost {
        std::int64_t every = 0;
        std::vector<std::int64_t> samples;
        std::vector<double> sampledX;
        std::int64_t sampleEvery(const RunValues&) override { return every; }
        void samplePass(const SimState& st, const RunValues& run) override
        {
            samples.push_back(run.k);
            sampledX.push_back(st.x[2]);
        }
    };
    SimState s = DefaultState();
    SamplingHost h;
    h.every = 7;
    h.boxes[PanelBox::Titer] = "30";
    h.onDisplay = [&](const SimState&, const RunValues& run) {
        EXPECT_TRUE(h.samples.empty() || h.samples.back() < run.k); // drawn before sampled
    };
    RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.lastPass, 30);
    EXPECT_EQ(h.samples, (std::vector<std::int64_t>{0, 7, 14, 21, 28}));
    EXPECT_NE(h.sampledX.back(), s.x[2]); // pass 28, not the final state of pass 30

    SimState s2 = DefaultState();
    SamplingHost none;
    none.boxes[PanelBox::Titer] = "30";
    RunSimulation(s2, none);
    EXPECT_TRUE(none.samples.empty());
    EXPECT_EQ(s2.x, s.x); // sampling changes nothing in the run
}

TEST(MainLoop, StopTakesEffectAtTheNextPass)
{
    SimState s = DefaultState();
    FakeHost h;
    h.onDisplay = [&](const SimState&, const RunValues& run) {
        if (run.k == 300)
            s.stopFlag = StopRequest::Stop;
    };
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Stopped);
    EXPECT_EQ(r.lastPass, 300);
    EXPECT_EQ(r.passes, 301);
    EXPECT_EQ(s.stopFlag, StopRequest::Stop);

    // A stop during set-up's hand-over prevents pass 0.
    FakeHost h2;
    h2.onHandOver = [&] { s.stopFlag = StopRequest::Stop; };
    const RunResult r2 = RunSimulation(s, h2);
    EXPECT_EQ(r2.ended, RunEnd::Stopped);
    EXPECT_EQ(r2.passes, 0);
    EXPECT_FALSE(r2.lastPass.has_value());
}

TEST(MainLoop, OverflowEndsTheRunWithTheLastCompletedPassKept)
{
    SimState s = DefaultState();
    s.dt = 1e300;
    FakeHost h;
    const SimState before = SetUpState(h, s);
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Fault);
    EXPECT_NE(r.message.find("Pass 0"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("overflow"), std::string::npos) << r.message;
    EXPECT_EQ(r.passes, 0);
    EXPECT_EQ(s.x, before.x);
    EXPECT_EQ(s.vx, before.vx);
    EXPECT_EQ(h.caption, "End");
}

// A fault between display updates: the passes before it count, and the state is the one
// the last of them left, as a run that ends there leaves it.
TEST(MainLoop, FaultBetweenUpdatesKeepsThePassesBeforeIt)
{
    SimState s = DefaultState();
    s.dt = 1e50;
    FakeHost h;
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Fault);
    EXPECT_EQ(r.message, "Pass 407: overflow in the force on body 1 from body 2");
    EXPECT_EQ(r.passes, 407);
    EXPECT_EQ(r.lastPass, 406);
    EXPECT_EQ(r.values.k, 406);

    SimState upTo = DefaultState();
    upTo.dt = 1e50;
    FakeHost h2;
    h2.boxes[PanelBox::Titer] = "406";
    ASSERT_EQ(RunSimulation(upTo, h2).ended, RunEnd::Completed);
    EXPECT_EQ(s.x, upTo.x);
    EXPECT_EQ(s.vy, upTo.vy);
    EXPECT_EQ(s.fx, upTo.fx);
    EXPECT_EQ(s.sepHist, upTo.sepHist);
}

namespace {

// Every field a pass writes the same, to the bit, in both states; `what` names the first
// that differs.
std::string FirstDifference(const SimState& a, const SimState& b)
{
    const auto field = [&](const char* name, const std::array<double, kBodies>& u,
                           const std::array<double, kBodies>& v) -> std::string {
        for (int i = 0; i < kBodies; ++i)
            if (!SameBits(u[i], v[i]))
                return std::string(name) + std::to_string(i);
        return {};
    };
    for (const auto& d : {field("x", a.x, b.x), field("y", a.y, b.y), field("vx", a.vx, b.vx),
                          field("vy", a.vy, b.vy), field("fx", a.fx, b.fx), field("fy", a.fy, b.fy),
                          field("xRet", a.xRet, b.xRet), field("yRet", a.yRet, b.yRet)})
        if (!d.empty())
            return d;
    for (int e = 0; e < kSepEntries; ++e)
        if (!SameBits(a.sepHist[e], b.sepHist[e]))
            return "sepHist" + std::to_string(e);
    for (int i = 0; i < kBodies; ++i)
        for (int e = 0; e < kHistoryEntries; ++e)
            if (!SameBits(a.hist.x(i, e), b.hist.x(i, e)) || !SameBits(a.hist.y(i, e), b.hist.y(i, e)))
                return "hist" + std::to_string(i) + "," + std::to_string(e);
    return {};
}

// What `passes` passes of OnePass by velocity leave from `start`, carrying in what the run
// took from `setUp` (before a test's host moved the bodies); none when a pass fails.
std::optional<SimState> PassesFrom(SimState start, const SimState& setUp, int bodies, bool delayed, int passes)
{
    constexpr RetardationMethod kVelocity = RetardationMethod::VelocityEstimate;
    const PassConstants pc(start);
    HistoryLookup lookup;
    PassCarry carry(setUp);
    for (int k = 0; k < passes; ++k) {
        PassChecks<true> checks;
        const bool committed = bodies == 2 ? OnePass<1, false, kVelocity>(start, pc, lookup, carry, checks)
            : delayed                      ? OnePass<2, true, kVelocity>(start, pc, lookup, carry, checks)
                                           : OnePass<2, false, kVelocity>(start, pc, lookup, carry, checks);
        if (!committed)
            return std::nullopt;
    }
    return start;
}

} // namespace

// A fault inside a stretch of quiet passes (by velocity the main loop computes its passes
// again to keep the last one's forces and retarded positions; the history lookup keeps them
// as it goes), without a delay and with one, and at a run's first pass: every field as the
// pass before left it, as a run that ends there leaves it.
TEST(MainLoop, FaultLeavesEveryFieldAsThePassBefore)
{
    for (const auto& [c, dt, bodies, prediction, passes] :
         {std::tuple{0.0, 1e50, "3", "0", 407}, std::tuple{1e50, 1e50, "3", "0", 797},
          std::tuple{0.0, 1e300, "3", "0", 0}, std::tuple{0.0, 1e50, "2", "0", 407},
          std::tuple{0.0, 1e300, "2", "0", 0}, std::tuple{1e50, 1e50, "3", "1", 797},
          std::tuple{1e40, 1e50, "3", "1", 20}, std::tuple{1.0, 1e300, "3", "1", 0}}) {
        SCOPED_TRACE(::testing::Message() << "c " << c << ", dt " << dt << ", " << bodies
                                          << " bodies, \"Prediction\" " << prediction);
        SimState s = DefaultState();
        s.c = c;
        s.dt = dt;
        FakeHost h;
        h.boxes[PanelBox::Tn_object] = bodies;
        h.boxes[PanelBox::Tpredsel] = prediction;
        const RunResult r = RunSimulation(s, h);
        ASSERT_EQ(r.ended, RunEnd::Fault);
        EXPECT_EQ(r.passes, passes);
        SimState upTo = DefaultState();
        upTo.c = c;
        upTo.dt = dt;
        FakeHost h2;
        h2.boxes[PanelBox::Tn_object] = bodies;
        h2.boxes[PanelBox::Tpredsel] = prediction;
        h2.boxes[PanelBox::Titer] = std::to_string(r.passes - 1);
        ASSERT_EQ(RunSimulation(upTo, h2).passes, r.passes);
        EXPECT_EQ(FirstDifference(s, upTo), "");
    }
}

// Without a delay the main loop forms the retarded positions once, at the end of its quiet
// passes, from where the last of them began: as that pass would, -0 - v*0 is +0 for v < 0.
// The run's first pass starts its last body at (-0, -0), at rest in x but for the sign (-0)
// and moving down: moved there before the pass, once the run has taken what it carries into
// the pass (without a delay, only the separation of bodies 1 and 2). It is pulled to +x (with
// three bodies by body 2, heavier than body 1; with two by body 1, moved to x 1), so that its
// x velocity after the pass is positive: the retarded position takes the velocity the pass
// began with. Three bodies take the quiet passes' own loop, two the general one.
TEST(MainLoop, RetardedPositionsWithoutADelayAsThePassLeavesThem)
{
    struct ZeroHost : FakeHost {
        SimState* state = nullptr;
        SimState setUp, start;
        std::size_t moved = 2;
        std::int64_t sampleEvery(const RunValues&) override
        {
            setUp = *state;
            state->x[moved] = -0.0;
            state->y[moved] = -0.0;
            state->vx[moved] = -0.0;
            state->vy[moved] = -0.5;
            if (moved == 1)
                state->x[0] = 1.0, state->y[0] = 0.0;
            start = *state;
            return 0;
        }
    };
    for (const int bodies : {2, 3}) {
        SCOPED_TRACE(bodies);
        SimState s = DefaultState();
        ZeroHost h;
        h.state = &s;
        h.moved = static_cast<std::size_t>(bodies - 1);
        h.boxes[PanelBox::Tn_object] = std::to_string(bodies);
        h.boxes[PanelBox::Titer] = "0";
        h.boxes[PanelBox::Tmass1] = "200";
        ASSERT_EQ(RunSimulation(s, h).passes, 1);
        const std::optional<SimState> pass = PassesFrom(h.start, h.setUp, bodies, false, 1);
        ASSERT_TRUE(pass);
        // The case itself: +0 from -0, and a velocity that turned positive.
        EXPECT_TRUE(SameBits(pass->xRet[h.moved], 0.0) && SameBits(pass->yRet[h.moved], 0.0) && pass->vx[h.moved] > 0);
        EXPECT_EQ(FirstDifference(s, *pass), "");
    }
}

// The quiet passes of three bodies take each body's x and y together; each body's pull
// still starts from +0 and takes its sources in order, so the signs of zero forces are a
// pass's own. The bodies lie on the x axis at every mix of +0 and -0 for y and for the y
// velocity: the y pulls (and with a delay the retarded positions) are sums of signed zeros.
// Three passes, without a delay and with one, every field as OnePass leaves it from where
// the run began (the bodies moved once it had taken its carry).
TEST(MainLoop, SignedZerosOfTheQuietPassesAsOnePassLeavesThem)
{
    struct AxisHost : FakeHost {
        SimState* state = nullptr;
        SimState setUp, start;
        unsigned signs = 0;
        std::int64_t sampleEvery(const RunValues&) override
        {
            setUp = *state;
            for (std::size_t i = 0; i < kBodies; ++i) {
                state->y[i] = signs >> i & 1u ? -0.0 : 0.0; // bits 0-2, 3-5; bit 6: the delay
                state->vy[i] = signs >> (i + 3) & 1u ? -0.0 : 0.0;
                state->x[i] = 3.0 * static_cast<double>(i) - 2.0;
            }
            start = *state;
            return 0;
        }
    };
    for (unsigned signs = 0; signs < 128; ++signs) {
        SCOPED_TRACE(signs);
        const bool delayed = signs >= 64;
        SimState s = DefaultState();
        s.c = delayed ? 1e5 : 0;
        AxisHost h;
        h.state = &s;
        h.signs = signs;
        h.boxes[PanelBox::Titer] = "2";
        ASSERT_EQ(RunSimulation(s, h).passes, 3);
        const std::optional<SimState> pass = PassesFrom(h.start, h.setUp, 3, delayed, 3);
        ASSERT_TRUE(pass);
        EXPECT_EQ(FirstDifference(s, *pass), "");
    }
}

// The quiet passes' folded checks take the r^3 of every pair: here only that of bodies 2 and
// 3 overflows (6e102 apart, body 1 halfway between them), and no force or position does.
TEST(MainLoop, AnOverflowingCubeOfOnePairEndsTheRun)
{
    struct FarHost : FakeHost {
        SimState* state = nullptr;
        std::int64_t sampleEvery(const RunValues&) override
        {
            state->x = {0, -3e102, 3e102};
            state->y = state->vx = state->vy = {0, 0, 0};
            return 0;
        }
    };
    SimState s = DefaultState();
    FarHost h;
    h.state = &s;
    h.boxes[PanelBox::Titer] = "10";
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Fault);
    EXPECT_EQ(r.message, "Pass 0: overflow in the force on body 2 from body 3");
}

// With a delay a pass checks the delays of bodies 2 and 3 from body 1 against the range of
// the shown delays in whole steps. Here only body 3's lies beyond it: c puts body 2's at 0.7
// of the range, and the bodies stand still, so their retarded positions are where they are and
// no force overflows first.
TEST(MainLoop, ADelayBeyondTheShownRangeEndsTheRun)
{
    struct RestHost : FakeHost {
        SimState* state = nullptr;
        std::int64_t sampleEvery(const RunValues&) override
        {
            state->vx = state->vy = {0, 0, 0};
            return 0;
        }
    };
    SimState s = DefaultState();
    s.c = 1;
    const SimState setUp = SetUpState(FakeHost{}, s);
    const double sep01 = std::hypot(setUp.x[0] - setUp.x[1], setUp.y[0] - setUp.y[1]);
    const double sep02 = std::hypot(setUp.x[0] - setUp.x[2], setUp.y[0] - setUp.y[2]);
    ASSERT_GT(sep02, 1.6 * sep01);
    s.c = 1.4 * sep01 / LargestFiniteDelay(setUp.dt);
    RestHost h;
    h.state = &s;
    h.boxes[PanelBox::Titer] = "10";
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Fault);
    EXPECT_EQ(r.message, "Pass 0: overflow: the delay of body 3 from body 1 in time steps is beyond "
                         "range (c too small for dt)");
}

TEST(MainLoop, TinyCOverflowsTheDelay)
{
    for (const char* pred : {"0", "1"}) {
        SimState s = DefaultState();
        s.c = 1e-310;
        FakeHost h;
        h.boxes[PanelBox::Tpredsel] = pred;
        const RunResult r = RunSimulation(s, h);
        EXPECT_EQ(r.ended, RunEnd::Fault) << pred;
        EXPECT_EQ(r.message, "Pass 0: overflow in the force on body 1 from body 2") << pred;
        EXPECT_TRUE(std::isfinite(s.x[0]) && std::isfinite(s.vx[2]));
    }
    // The fault named is the first check that fails in the order of the formulas: with a dt
    // that gives no quotient (NaN, which "Calculate" never stores) the lookup fails before
    // the shown delay, which fails first by velocity.
    for (const auto& [pred, message] :
         {std::pair{"0", "Pass 0: overflow: the delay of body 2 from body 1 in time steps is beyond "
                         "range (c too small for dt)"},
          std::pair{"1", "Pass 0: the history lookup of body 2 as seen from body 1 has no entry for "
                         "its delay"}}) {
        SimState s = DefaultState();
        s.dt = NAN;
        FakeHost h;
        h.boxes[PanelBox::Tpredsel] = pred;
        const RunResult r = RunSimulation(s, h);
        EXPECT_EQ(r.message, message);
        EXPECT_EQ(r.passes, 0);
    }
}

TEST(MainLoop, OneBodyMovesStraight)
{
    SimState s = DefaultState();
    FakeHost h;
    h.boxes[PanelBox::Tn_object] = "1";
    const SimState start = SetUpState(h, s);
    h.boxes[PanelBox::Titer] = "99";
    RunSimulation(s, h);
    EXPECT_NEAR(s.x[0], start.x[0] + 100 * 0.001 * start.vx[0], 1e-12);
    EXPECT_NEAR(s.y[0], start.y[0] + 100 * 0.001 * start.vy[0], 1e-12);
    EXPECT_EQ(s.x[1], start.x[1]); // inactive bodies stand still
}

// The run's compiled-per-case passes commit everything the formulas compute: forces,
// retarded positions and the separation history too, not only the positions.
TEST(MainLoop, EveryStateFieldAsTheReferenceLeavesIt)
{
    struct Combo {
        int bodies;
        double c;
        bool pred1;
    };
    for (const Combo cb : {Combo{1, 0, false}, Combo{2, 0, false}, Combo{3, 0, false},
                           Combo{3, 0, true}, Combo{2, 3000, false}, Combo{3, 3000, false},
                           Combo{2, 3000, true}, Combo{3, 600, true}, Combo{3, 50, true}}) {
        SCOPED_TRACE(::testing::Message() << cb.bodies << " bodies, c " << cb.c << ", pred " << cb.pred1);
        SimState s = DefaultState();
        s.c = cb.c;
        FakeHost h;
        h.boxes[PanelBox::Tn_object] = std::to_string(cb.bodies);
        h.boxes[PanelBox::Tpredsel] = cb.pred1 ? "1" : "0";
        gravlag::testing::ReferenceBodies ref = gravlag::testing::ReferenceFrom(SetUpState(h, s));
        const int passes = 3000;
        h.boxes[PanelBox::Titer] = std::to_string(passes - 1);
        ASSERT_EQ(RunSimulation(s, h).passes, passes);
        gravlag::testing::ReferencePasses(ref, cb.bodies - 1, cb.c, s.dt, cb.pred1, passes);
        for (int i = 0; i < kBodies; ++i) {
            EXPECT_TRUE(SameBits(s.x[i], ref.x[i]) && SameBits(s.y[i], ref.y[i])) << "position " << i;
            EXPECT_TRUE(SameBits(s.vx[i], ref.vx[i]) && SameBits(s.vy[i], ref.vy[i])) << "velocity " << i;
            EXPECT_TRUE(SameBits(s.fx[i], ref.fx[i]) && SameBits(s.fy[i], ref.fy[i])) << "force " << i;
            EXPECT_TRUE(SameBits(s.xRet[i], ref.xRet[i]) && SameBits(s.yRet[i], ref.yRet[i]))
                << "retarded position " << i;
            for (int e = 0; e < kHistoryEntries; ++e)
                EXPECT_TRUE(SameBits(s.hist.x(i, e), ref.xh[i][e]) && SameBits(s.hist.y(i, e), ref.yh[i][e]))
                    << "history " << i << "," << e;
        }
        for (int e = 0; e < kSepEntries; ++e)
            EXPECT_TRUE(SameBits(s.sepHist[e], ref.sepHist[e])) << "separation " << e;
    }
}
