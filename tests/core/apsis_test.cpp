// Directions, apsis events and the running line fit.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "core/apsis.h"
#include "core/line_fit.h"
#include "fake_host.h"

using namespace gravlag;
using gravlag::testing::DefaultState;
using gravlag::testing::FakeHost;

TEST(PolarAngle, FullCircle)
{
    EXPECT_EQ(kPi, 4 * std::atan(1.0)); // the program's pi is 4*atan(1) to the last bit
    EXPECT_EQ(PolarAngle(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(PolarAngle(0, 1), kPi / 2);
    EXPECT_EQ(PolarAngle(-1, 0), kPi); // the negative x axis
    EXPECT_EQ(PolarAngle(-1e-300, 0), kPi);
    EXPECT_DOUBLE_EQ(PolarAngle(0, -1), 3 * kPi / 2);
    EXPECT_DOUBLE_EQ(PolarAngle(1, -1), 7 * kPi / 4);
    EXPECT_DOUBLE_EQ(PolarAngle(-1, 1), 3 * kPi / 4);
    EXPECT_EQ(PolarAngle(0, 0), 0.0);
    for (double a = 0.01; a < 2 * kPi; a += 0.1) {
        const double p = PolarAngle(std::cos(a), std::sin(a));
        EXPECT_NEAR(p, a, 1e-12);
        EXPECT_GE(p, 0.0);
        EXPECT_LT(p, 2 * kPi);
    }
}

TEST(InterpolateDirection, ShorterArcAcrossZero)
{
    EXPECT_NEAR(InterpolateDirection(359, 1, 0.5), 0.0, 1e-12);
    EXPECT_NEAR(InterpolateDirection(359, 1, 0.25), 359.5, 1e-12);
    EXPECT_NEAR(InterpolateDirection(1, 359, 0.75), 359.5, 1e-12);
    EXPECT_LT(InterpolateDirection(359.9999999999999, 0.5, 1e-17), 360.0);
    // Without a wrap the plain formula, to the bit.
    const double a = 44.123456789, b = 44.987654321, t = 0.7312;
    EXPECT_EQ(InterpolateDirection(a, b, t), a + t * (b - a));
}

TEST(LineFit, FirstTwoEvents)
{
    ApsisFit fit = AddApsisToFit(std::nullopt, 1, 45.1);
    EXPECT_EQ(fit.fitA, 45.1);
    EXPECT_EQ(fit.fitB, 0.0);
    EXPECT_EQ(fit.predAngle, 45.1);
    fit = AddApsisToFit(fit, 2, 45.3);
    EXPECT_NEAR(fit.fitA, 45.1, 1e-12);
    EXPECT_NEAR(fit.fitB, 0.2, 1e-12);
    EXPECT_NEAR(fit.predAngle, 45.3, 1e-12);
    fit = AddApsisToFit(fit, 3, 45.2);
    EXPECT_NEAR(fit.fitB, 0.05, 1e-12); // least squares through (0,45.1) (1,45.3) (2,45.2)
    EXPECT_NEAR(fit.fitA, 45.15, 1e-12);
    EXPECT_EQ(fit.fitN, 3);
    EXPECT_EQ(fit.fitX, 2);
}

TEST(ApsisCheck, StrictMaximumOnly)
{
    EXPECT_TRUE(IsApsis({0, 1, 2, 1, 0}));
    EXPECT_FALSE(IsApsis({0, 2, 2, 1, 0}));
    EXPECT_FALSE(IsApsis({6, 6, 6, 6, 6}));
    // Body 2 seen from body 1 at 0, 45, 90, 135 and 180 degrees, h = 0..4 passes back.
    SimState s;
    s.hist.fill({0, 0, 0}, {0, 0, 0});
    for (const auto& [dx, dy] : {std::pair{-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}})
        s.hist.push({5, 5.0 + dx, 0}, {7, 7.0 + dy, 0});
    s.sepHist = {0, 1, 2, 1, 0};
    ApsisEvent e = MeasureApsis(s);
    EXPECT_EQ(e.apsisOffset, 1.0);
    EXPECT_EQ(e.apsisAngle, 90.0);
    EXPECT_EQ(s.angleHist, (std::array<double, kSepEntries>{0, 45, 90, 135, 180}));
    // Entries 1..3 at 0, 0.5, -1 peak 0.75 after entry 1; at 0, 1.5, 1, 1.25 after it.
    s.sepHist = {9, 0, 0.5, -1, 9};
    e = MeasureApsis(s);
    EXPECT_EQ(e.apsisOffset, 0.75);
    EXPECT_EQ(e.apsisAngle, 78.75);
    s.sepHist = {9, 0, 1.5, 1, 9};
    e = MeasureApsis(s);
    EXPECT_EQ(e.apsisOffset, 1.25);
    EXPECT_EQ(e.apsisAngle, 101.25);
}

TEST(ApsisCheck, MercuryRunMeasuresNear45AndFits)
{
    SimState s = DefaultState();
    FakeHost h;
    gravlag::testing::UseMercury(s, h);
    h.boxes[PanelBox::Titer] = "100000";
    const RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    ASSERT_GE(h.apsisRuns.size(), 3u);
    const RunValues& first = h.apsisRuns[0];
    EXPECT_EQ(first.apsisCount, 1);
    EXPECT_NEAR(*first.apsisAngle, 45, 0.5);
    EXPECT_GT(*first.apsisOffset, 0.5);
    EXPECT_LT(*first.apsisOffset, 1.5);
    const RunValues& second = h.apsisRuns[1];
    EXPECT_NEAR(second.fit->predAngle, *second.apsisAngle, 1e-9);
    EXPECT_NEAR(second.fit->fitA, *first.apsisAngle, 1e-9);
    EXPECT_EQ(r.values.apsisCount, static_cast<std::int64_t>(h.apsisRuns.size()));
    // "2 BH's" never measures.
    SimState b = DefaultState();
    FakeHost hb;
    hb.boxes[PanelBox::Titer] = "20000";
    RunSimulation(b, hb);
    EXPECT_TRUE(hb.apsisRuns.empty());
}
