// The main loop: one pass by hand, the loop's bounds and stops, faults, and long runs of
// every retardation method against the plain reference loop, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/pass.h"
#include "core/retardation.h"
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
    const PassResult p = ComputePass(s, 1, false);
    ASSERT_TRUE(p.fault.empty());
    EXPECT_EQ(p.fx[0], -0.25);
    EXPECT_EQ(p.vx[0], 0.00025);
    EXPECT_EQ(p.x[0], -0.99999975);
    EXPECT_EQ(p.fx[1], 0.25);
    EXPECT_EQ(p.vx[1], -0.00025);
    EXPECT_EQ(p.x[1], 0.99999975);
    EXPECT_EQ(p.y[0], 0.0);
    EXPECT_EQ(p.vy[1], 0.0);
    EXPECT_EQ(p.delay21, 0.0);
    EXPECT_FALSE(p.delay31.has_value()); // two bodies: the pair (3, 1) is never evaluated
}

TEST(Pass, CoincidentBodiesAreAFaultNotANaN)
{
    SimState s;
    s.dt = 0.001;
    s.mass = {1, 1, 1};
    s.x = {0, 0, 5};
    const PassResult p = ComputePass(s, 2, false);
    EXPECT_NE(p.fault.find("division by zero"), std::string::npos) << p.fault;
    EXPECT_NE(p.fault.find("body 1"), std::string::npos);
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

} // namespace

TEST(RetardedPosition, InterpolatesBetweenTheBracketingEntries)
{
    const PositionHistory hist = DistinctHistory();
    std::array<double, 3> xr{}, yr{};
    const double dt = 0.5;
    ASSERT_TRUE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), 3.25 * dt, dt, xr, yr));
    EXPECT_DOUBLE_EQ(xr[1], 109 + (116 - 109) * 0.25); // between entries 3 and 4
    EXPECT_DOUBLE_EQ(yr[1], -3.25);
    ASSERT_TRUE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), 0, dt, xr, yr));
    EXPECT_EQ(xr[1], 100.0); // tau 0: exactly entry 0
    ASSERT_TRUE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), 19.5 * dt, dt, xr, yr));
    EXPECT_DOUBLE_EQ(xr[1], 100 + 361 + (400 - 361) * 0.5); // n = 19: entries 19 and 20
}

TEST(RetardedPosition, ExtrapolatesFromTheTwoOldestFrom20Steps)
{
    const PositionHistory hist = DistinctHistory();
    std::array<double, 3> xr{}, yr{};
    const double dt = 0.5;
    ASSERT_TRUE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), 20 * dt, dt, xr, yr));
    EXPECT_DOUBLE_EQ(xr[1], 500.0);
    ASSERT_TRUE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), 25 * dt, dt, xr, yr));
    EXPECT_DOUBLE_EQ(xr[1], 500 + (400 - 361) * 5.0);
    EXPECT_DOUBLE_EQ(yr[1], -25.0);
}

TEST(RetardedPosition, RefusesWhatNoEntryAnswers)
{
    const PositionHistory hist = DistinctHistory();
    std::array<double, 3> xr{7, 7, 7}, yr{7, 7, 7};
    EXPECT_FALSE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), 1.0, -0.5, xr, yr));
    EXPECT_FALSE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), -1.0, 0.5, xr, yr));
    EXPECT_FALSE(RetardedPosition(3, XHistory(hist, 1), YHistory(hist, 1), 1.0, 0.5, xr, yr));
    EXPECT_FALSE(RetardedPosition(1, XHistory(hist, 1), YHistory(hist, 1), NAN, 0.5, xr, yr));
    EXPECT_EQ(xr, (std::array<double, 3>{7, 7, 7}));
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

TEST(MainLoop, TinyCOverflowsTheDelay)
{
    for (const char* pred : {"0", "1"}) {
        SimState s = DefaultState();
        s.c = 1e-310;
        FakeHost h;
        h.boxes[PanelBox::Tpredsel] = pred;
        const RunResult r = RunSimulation(s, h);
        EXPECT_EQ(r.ended, RunEnd::Fault) << pred;
        EXPECT_TRUE(std::isfinite(s.x[0]) && std::isfinite(s.vx[2]));
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

// The run's compiled-per-case passes commit everything the plain pass routine computes: forces,
// retarded positions and the separation history too, not only the positions.
TEST(MainLoop, EveryStateFieldAsThePlainPassLeavesIt)
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
        SimState plain = SetUpState(h, s);
        const int passes = 3000;
        h.boxes[PanelBox::Titer] = std::to_string(passes - 1);
        ASSERT_EQ(RunSimulation(s, h).passes, passes);
        for (int k = 0; k < passes; ++k) {
            const PassResult p = ComputePass(plain, cb.bodies - 1, cb.pred1);
            ASSERT_TRUE(p.fault.empty()) << p.fault;
            plain.x = p.x, plain.y = p.y, plain.vx = p.vx, plain.vy = p.vy;
            plain.fx = p.fx, plain.fy = p.fy, plain.xRet = p.xRet, plain.yRet = p.yRet;
            plain.hist.push(plain.x, plain.y);
            for (int e = kSepEntries - 1; e >= 1; --e)
                plain.sepHist[e] = plain.sepHist[e - 1];
            plain.sepHist[0] = std::sqrt((p.x[1] - p.x[0]) * (p.x[1] - p.x[0]) + (p.y[1] - p.y[0]) * (p.y[1] - p.y[0]));
        }
        for (int i = 0; i < kBodies; ++i) {
            EXPECT_TRUE(SameBits(s.x[i], plain.x[i]) && SameBits(s.y[i], plain.y[i])) << "position " << i;
            EXPECT_TRUE(SameBits(s.vx[i], plain.vx[i]) && SameBits(s.vy[i], plain.vy[i])) << "velocity " << i;
            EXPECT_TRUE(SameBits(s.fx[i], plain.fx[i]) && SameBits(s.fy[i], plain.fy[i])) << "force " << i;
            EXPECT_TRUE(SameBits(s.xRet[i], plain.xRet[i]) && SameBits(s.yRet[i], plain.yRet[i]))
                << "retarded position " << i;
            for (int e = 0; e < kHistoryEntries; ++e)
                EXPECT_TRUE(SameBits(s.hist.y(i, e), plain.hist.y(i, e))) << "history " << i << "," << e;
        }
        for (int e = 0; e < kSepEntries; ++e)
            EXPECT_TRUE(SameBits(s.sepHist[e], plain.sepHist[e])) << "separation " << e;
    }
}
