// The two displays' drawing and texts, fed with chosen run values: where the dots land,
// which colours they take, and how the fit texts are rounded.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "displays/palette.h"
#include "displays/simulation_display.h"
#include "displays/time_evolution_display.h"
#include "ui/headless/headless_services.h"

namespace gravlag {
namespace {

struct TimeEvolution : ::testing::Test {
    ui::HeadlessServices services;
    SimState state;
    TimeEvolutionDisplay form3{services};
    ui::HeadlessWindow& window = *services.window("Form3");
    RunValues run;

    bool dotAt(int x, int y, ui::Rgb color) const { return window.surface().at(x, y) == color; }
    int dotsInColumn(int x) const
    {
        int n = 0;
        for (int y = 0; y < window.surface().height; ++y)
            n += window.surface().at(x, y) == ui::kBackground ? 0 : 1;
        return n;
    }
    std::string text(const char* box) { return services.textBox(box)->text(); }
};

TEST_F(TimeEvolution, FirstApsisEventDashesColumnsOneAndTwo)
{
    form3.layout(Scenario::Mercury);
    form3.setColorIndex(12);
    run.plotHeight = 370; // centre row 185
    run.apsisCount = 1;
    run.fit = ApsisFit{};
    run.fit->fitX = 0;
    run.apsisAngle = 45.01; // 0.01 degree above the centre line: 30 rows up
    run.fit->predAngle = 44.99;
    run.fit->fitA = 44.99;
    run.fit->fitB = 0;
    form3.apsisEvent(state, run);
    EXPECT_TRUE(dotAt(1, 155, QBColor(0)));
    EXPECT_TRUE(dotAt(2, 155, QBColor(0)));
    EXPECT_TRUE(dotAt(1, 215, QBColor(12)));
    EXPECT_TRUE(dotAt(2, 215, QBColor(12)));
    EXPECT_EQ(window.setPixelCalls(), 4u);
    EXPECT_EQ(dotsInColumn(0), 0);
    EXPECT_EQ(dotsInColumn(3), 0);
}

TEST_F(TimeEvolution, LaterEventsMoveTwoColumnsEachAndTheFitIsDrawnLast)
{
    form3.layout(Scenario::Mercury);
    form3.setColorIndex(3);
    run.plotHeight = 370;
    run.fit = ApsisFit{};
    run.fit->fitX = 3;
    run.apsisAngle = 45; // both dashes on the centre line: the coloured one wins
    run.fit->predAngle = 45;
    run.fit->fitA = 45;
    run.fit->fitB = 0;
    form3.apsisEvent(state, run);
    EXPECT_TRUE(dotAt(7, 185, QBColor(3)));
    EXPECT_TRUE(dotAt(8, 185, QBColor(3)));
    EXPECT_EQ(dotsInColumn(7), 1);
    EXPECT_EQ(dotsInColumn(8), 1);
    EXPECT_EQ(dotsInColumn(6), 0);
}

TEST_F(TimeEvolution, FitTextsAreFlooredToSixDecimalsButThePredictionIsNot)
{
    form3.layout(Scenario::Mercury);
    run.plotHeight = 370;
    run.fit = ApsisFit{};
    run.fit->fitX = 1;
    run.apsisAngle = 45.0000001;
    run.fit->predAngle = 44.9999996;
    run.fit->fitA = 44.9999996;
    run.fit->fitB = -0.0000015;
    form3.apsisEvent(state, run);
    EXPECT_EQ(text("TPred"), "44.9999996");
    EXPECT_EQ(text("Ta"), "44.999999");
    EXPECT_EQ(RegionalNumberValue(text("Tb"), {}), -0.000002);

    // Where scaling by a million overflows, the value itself is shown, never "inf".
    const double huge = std::numeric_limits<double>::max() / 10;
    run.fit->fitA = huge;
    run.fit->fitB = -huge;
    form3.apsisEvent(state, run);
    EXPECT_EQ(RegionalNumberValue(text("Ta"), {}), ParseLeadingNumber(RegionalNumberText(huge, {})));
    EXPECT_LT(*RegionalNumberValue(text("Tb"), {}), 0);
}

TEST_F(TimeEvolution, FitTextsUseTheRegionalSeparator)
{
    services.setRegionalFormat({","});
    form3.layout(Scenario::Mercury);
    run.plotHeight = 370;
    run.fit = ApsisFit{};
    run.fit->fitX = 1;
    run.apsisAngle = 45.5;
    run.fit->predAngle = 45.25;
    run.fit->fitA = 45.125;
    run.fit->fitB = 0.5;
    form3.apsisEvent(state, run);
    EXPECT_EQ(text("TPred"), "45,25");
    EXPECT_EQ(text("Ta"), "45,125");
    EXPECT_EQ(text("Tb"), "0,5");
}

TEST_F(TimeEvolution, TwoBodyTimePlotDrawsBodyOnesDriftUpwards)
{
    form3.layout(Scenario::TwoBlackHoles);
    form3.setPlotWidth(400);
    form3.setColorIndex(5);
    state.x = {-1, 1, 0};
    state.y = {0, 0, 0};
    run.nLast = 1;
    run.plotHeight = 210; // centre row 105
    run.startRadius = 0.9; // drifted 0.1 outwards: 10 rows up
    run.iterEndValue = 100;
    run.k = 50; // column 50 * 400 / 100 + 1
    form3.timePlot(state, run);
    EXPECT_EQ(window.setPixelCalls(), 1u);
    EXPECT_TRUE(dotAt(201, 95, QBColor(5)));
}

TEST_F(TimeEvolution, ThreeBodyTimePlotMirrorsBodyTwo)
{
    form3.layout(Scenario::TwoBlackHoles);
    form3.setPlotWidth(400);
    state.x = {-1, 1, 3.5};
    state.y = {0.5, 0.5, 0.5}; // midpoint (0, 0.5)
    state.dx2 = 3;             // body 2 drifted 0.5 outwards: 50 rows down
    run.nLast = 2;
    run.plotHeight = 210;
    run.startRadius = 1.25; // body 1 drifted 0.25 inwards: 25 rows down
    run.iterEndValue = 400;
    run.k = 400; // the last pass: column plotWidth + 1
    form3.timePlot(state, run);
    EXPECT_EQ(window.setPixelCalls(), 2u);
    EXPECT_TRUE(dotAt(401, 155, QBColor(0)));
    EXPECT_TRUE(dotAt(401, 130, QBColor(0)));
}

TEST_F(TimeEvolution, SinglePassRunPlotsInColumnOne)
{
    form3.layout(Scenario::TwoBlackHoles);
    form3.setPlotWidth(800);
    state.x = {-1, 1, 0};
    run.nLast = 1;
    run.plotHeight = 210;
    run.startRadius = 1;
    run.iterEndValue = 0; // no width to spread over, and no 0 / 0
    run.k = 0;
    form3.timePlot(state, run);
    EXPECT_TRUE(dotAt(1, 105, QBColor(0)));
}

TEST(SimulationDisplay, DotsEachActiveBodyInItsColourAroundTheMovingCentre)
{
    ui::HeadlessServices services;
    SimulationDisplay form2(services);
    ui::HeadlessWindow& window = *services.window("Form2");
    SimState s;
    s.dt = 0.5;
    s.x = {0, 2, -3};
    s.y = {0, 1, 4};
    RunValues run;
    run.simWidth = static_cast<float>(window.innerWidth());
    run.simHeight = static_cast<float>(window.innerHeight());
    run.drawScale = 3;
    run.nLast = 2;
    run.xPair = 1; // the view's centre starts at (1, 0) and moves at (0.5, -1) per time unit
    run.vxBase = 0.5;
    run.vyBase = -1;
    run.k = 4; // t = 2: centre at (2, -2)
    form2.drawBodies(s, run);
    const int cx = window.innerWidth() / 2, cy = window.innerHeight() / 2;
    EXPECT_EQ(window.setPixelCalls(), 3u);
    EXPECT_EQ(window.surface().at(cx - 6, cy - 6), QBColor(0)); // body 0 at (-2, +2) from the centre
    EXPECT_EQ(window.surface().at(cx, cy - 9), QBColor(2));     // body 1 at (0, +3)
    EXPECT_EQ(window.surface().at(cx - 15, cy - 18), QBColor(4)); // body 2 at (-5, +6): y up
}

} // namespace
} // namespace gravlag
