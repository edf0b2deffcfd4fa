// Initial conditions of both scenarios, and the inputs a run refuses.
#include <gtest/gtest.h>

#include <cmath>

#include "core/place_pair.h"
#include "fake_host.h"

using namespace gravlag;
using gravlag::testing::DefaultState;
using gravlag::testing::FakeHost;

namespace {

RunResult SetUpOnly(SimState& s, FakeHost& h)
{
    h.boxes[PanelBox::Titer] = "-1"; // no pass: the state is exactly what set-up built
    return RunSimulation(s, h);
}

} // namespace

TEST(PlacePair, EqualMassesCircle)
{
    const PairPlacement p = PlacePair(100, 100, 12, 1, kPi);
    EXPECT_DOUBLE_EQ(p.x0, -6);
    EXPECT_DOUBLE_EQ(p.x1, 6);
    EXPECT_LT(std::fabs(p.y0), 2e-15);
    EXPECT_LT(std::fabs(p.y1), 2e-15);
    EXPECT_NEAR(p.vy0, -std::sqrt(100.0 * 6 / 144), 1e-15);
    EXPECT_NEAR(p.vy1, std::sqrt(100.0 * 6 / 144), 1e-15);
    EXPECT_LT(std::fabs(p.vx0), 1e-15);
    // The sines and cosines of the shifted angles are evaluated, not replaced by swaps.
    EXPECT_NE(p.y0, 0.0);
    EXPECT_NE(p.vx0, 0.0);
}

TEST(PlacePair, MasslessSecondMemberAndSwap)
{
    const PairPlacement p = PlacePair(4, 0, 2, 0.5, 0);
    EXPECT_EQ(p.x0, 0.0);
    EXPECT_EQ(p.vy0, 0.0);
    EXPECT_NEAR(std::hypot(p.vx1, p.vy1), std::sqrt(4.0 / 2) * 0.5, 1e-15);
    const PairPlacement a = PlacePair(3, 5, 2, 1, 0.3), b = PlacePair(5, 3, 2, 1, 0.3);
    EXPECT_DOUBLE_EQ(std::hypot(a.x0, a.y0), std::hypot(b.x1, b.y1));
    EXPECT_DOUBLE_EQ(std::hypot(a.vx0, a.vy0), std::hypot(b.vx1, b.vy1));
}

TEST(RunSetup, TwoBlackHolesDefaults)
{
    SimState s = DefaultState();
    FakeHost h;
    const RunResult r = SetUpOnly(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    EXPECT_NEAR(s.x[0], -5.99850, 5e-6);
    EXPECT_NEAR(s.vy[0], -2.04111, 5e-6);
    EXPECT_NEAR(s.x[1], 6.00150, 5e-6);
    EXPECT_NEAR(s.vy[1], 2.04137, 5e-6);
    EXPECT_NEAR(s.x[2], -29.9985, 5e-5);
    EXPECT_NEAR(s.vy[2], -2.58192, 5e-6);
    EXPECT_NEAR(s.y[0], 7.3e-16, 1e-16);
    EXPECT_NEAR(s.vx[0], -3.7e-16, 1e-16);
    EXPECT_NEAR(s.y[2], 3.7e-15, 1e-16);
    EXPECT_NEAR(r.values.xPair, 0.00149993, 5e-9);
    EXPECT_EQ(r.values.yPair, 0.0);
    EXPECT_NEAR(r.values.vyPair, 0.000129096, 5e-10);
    EXPECT_DOUBLE_EQ(r.values.startRadius, 6);
    // Histories primed with the initial places, sepHist with dx1 (not the pair's 12).
    for (int h2 = 0; h2 <= 20; ++h2) {
        EXPECT_EQ(s.xHist2(h2), s.x[2]);
        EXPECT_EQ(s.yHist0(h2), s.y[0]);
    }
    for (double d : s.sepHist)
        EXPECT_EQ(d, 6.0);
    EXPECT_EQ(h.caption, "End");
    EXPECT_EQ(h.handOvers, 1);
}

TEST(RunSetup, MercuryParameterSet)
{
    SimState s = DefaultState();
    FakeHost h;
    gravlag::testing::UseMercury(s, h);
    const RunResult r = SetUpOnly(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    EXPECT_NEAR(s.x[0], 0.0299132, 5e-8);
    EXPECT_NEAR(s.y[0], -5.65680e-05, 5e-11);
    EXPECT_NEAR(s.vx[0], 1.49999e-05, 5e-11);
    EXPECT_NEAR(s.vy[0], 0.00180982, 5e-9);
    EXPECT_NEAR(s.x[1], 5.68677, 5e-6);
    EXPECT_NEAR(s.y[1], 5.65680, 5e-6);
    EXPECT_NEAR(s.vx[1], -1.49999, 5e-6);
    EXPECT_NEAR(s.vy[1], 1.50182, 5e-6);
    EXPECT_NEAR(s.x[2], -29.9700, 5e-5);
    EXPECT_NEAR(s.vy[2], -1.82484, 5e-6);
    EXPECT_NEAR(r.values.startRadius, 7.99992, 5e-6);
}

TEST(RunSetup, BoxesNormalisedAndMassesAboveLastKept)
{
    SimState s = DefaultState();
    s.mass[2] = 7;
    FakeHost h;
    h.boxes[PanelBox::Tn_object] = "2";
    h.boxes[PanelBox::Tmass1] = "0,5";
    h.boxes[PanelBox::Tmass2] = "9,9";
    h.boxes[PanelBox::Tvxbase] = "1,5";
    const RunResult r = SetUpOnly(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed);
    EXPECT_EQ(h.boxes[PanelBox::Tmass1], "0.5");
    EXPECT_EQ(s.mass[1], 0.5);
    EXPECT_EQ(h.boxes[PanelBox::Tmass2], "9,9"); // not read with two bodies
    EXPECT_EQ(s.mass[2], 7.0);
    EXPECT_EQ(r.values.vxBase, 1.5);
    // The base velocity reaches body 2 too, although it takes no part.
    SimState z = DefaultState();
    z.mass[2] = 7;
    FakeHost hz;
    hz.boxes[PanelBox::Tn_object] = "2";
    hz.boxes[PanelBox::Tmass1] = "0.5";
    SetUpOnly(z, hz);
    EXPECT_EQ(s.vx[2], z.vx[2] + 1.5);
}

struct RefusalCase {
    const char* name;
    PanelBox box;
    const char* text;
    double dx1, dx2;
    const char* fragment;
};

class RunRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RunRefusal, RefusedWithMessageAndStateUntouched)
{
    const RefusalCase& c = GetParam();
    SimState s = DefaultState();
    s.dx1 = c.dx1;
    s.dx2 = c.dx2;
    s.x = {1, 2, 3};
    FakeHost h;
    h.boxes[c.box] = c.text;
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Refused);
    EXPECT_NE(r.message.find(c.fragment), std::string::npos) << r.message;
    EXPECT_EQ(r.passes, 0);
    EXPECT_EQ(s.x[0], 1.0);
    EXPECT_EQ(s.x[2], 3.0);
    EXPECT_EQ(h.shows, 0);
    EXPECT_EQ(h.caption, "End");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RunRefusal,
    ::testing::Values(
        RefusalCase{"MassesSumZero", PanelBox::Tmass1, "-100", 6, 30, "sum to 0"},
        RefusalCase{"AllMassesSumZero", PanelBox::Tmass2, "-200", 6, 30, "three masses"},
        RefusalCase{"ZeroSeparation", PanelBox::Tmass0, "100", 0, 30, "r  m(2)"},
        RefusalCase{"ZeroOuterSeparation", PanelBox::Tmass0, "100", 6, 0, "r  m(3)"},
        RefusalCase{"NegativeRoot", PanelBox::Tmass1, "-150", 6, 30, "negative square"},
        RefusalCase{"NObjectText", PanelBox::Tn_object, "three", 6, 30, "n object"},
        RefusalCase{"NObjectEmpty", PanelBox::Tn_object, "", 6, 30, "n object"},
        RefusalCase{"NObjectTooMany", PanelBox::Tn_object, "4", 6, 30, "1 to 3"},
        RefusalCase{"NObjectZero", PanelBox::Tn_object, "0", 6, 30, "1 to 3"},
        RefusalCase{"IterationText", PanelBox::Titer, "lots", 6, 30, "Iteration"},
        RefusalCase{"PredictionText", PanelBox::Tpredsel, "yes", 6, 30, "Prediction"},
        RefusalCase{"HugeMass", PanelBox::Tmass0, "1e999", 6, 30, "overflow"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunSetup, NegativeDtWithHistoryLookupRefused)
{
    SimState s = DefaultState();
    s.c = 50000;
    s.dt = -0.001;
    FakeHost h;
    h.boxes[PanelBox::Tpredsel] = "1";
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Refused);
    EXPECT_NE(r.message.find("dt"), std::string::npos);
    // Without the lookup a negative dt simply runs time backwards.
    FakeHost h0;
    h0.boxes[PanelBox::Titer] = "300";
    EXPECT_EQ(RunSimulation(s, h0).ended, RunEnd::Completed);
}

TEST(RunSetup, RegionalTextsReadInTheUsersFormat)
{
    SimState s = DefaultState();
    FakeHost h;
    h.format.decimalSeparator = ",";
    h.boxes[PanelBox::Titer] = "250,7";
    const RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    EXPECT_EQ(r.lastPass, 250);
    h.boxes[PanelBox::Titer] = "250.7";
    EXPECT_EQ(RunSimulation(s, h).ended, RunEnd::Refused);
}
