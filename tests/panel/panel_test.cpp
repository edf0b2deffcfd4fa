// The control panel driven through in-memory windows: start-up, "Calculate", the selectors,
// the colour selector, the displays' drawing and one run at a time.
#include <gtest/gtest.h>

#include "displays/palette.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"

using namespace gravlag;
using ui::HeadlessServices;

namespace {

struct Panel : ::testing::Test {
    HeadlessServices services;
    Program program{services};
    ui::HeadlessTextBox& box(const char* name) { return *services.textBox(name); }
    void click(const char* name)
    {
        if (auto* b = services.button(name))
            b->click();
        else
            services.textBox(name)->click();
    }
    std::size_t inkOn(const char* window)
    {
        std::size_t n = 0;
        for (const ui::Rgb& p : services.window(window)->surface().pixels)
            n += !(p == ui::kBackground);
        return n;
    }
};

} // namespace

TEST_F(Panel, StartUpState)
{
    EXPECT_EQ(services.window("Form1")->caption(), "Control Display");
    EXPECT_EQ(services.window("Form2")->caption(), "Simulation Display");
    EXPECT_EQ(services.window("Form3")->caption(), "Time Evolution Display");
    EXPECT_FALSE(services.window("Form2")->isVisible());
    EXPECT_FALSE(services.window("Form3")->isVisible());
    EXPECT_EQ(box("Tmethode").text(), "2 BH's");
    EXPECT_EQ(box("Titer").text(), "320000");
    EXPECT_EQ(box("Tmass(2)").text(), "0.01");
    EXPECT_EQ(services.button("CommandEnd")->caption(), "End");
    EXPECT_EQ(box("Tcolor").text(), "0");
    EXPECT_FALSE(box("Tcolor").colorsSet());
    const auto& f1 = *services.window("Form1");
    EXPECT_EQ(services.window("Form2")->top(), f1.outerHeight());
    EXPECT_EQ(services.window("Form2")->left(), 0);
    EXPECT_EQ(services.window("Form2")->outerWidth(), f1.outerWidth());
    EXPECT_EQ(services.window("Form3")->left(), f1.outerWidth());
    EXPECT_EQ(program.form3().plotWidth(), 800.0f);
    EXPECT_EQ(f1.innerWidth(), 251);
    EXPECT_EQ(f1.innerHeight(), 248);
    EXPECT_EQ(f1.controls().size(), 34u);
}

TEST_F(Panel, CalculateTidiesItsBoxes)
{
    box("Titer").type("0");
    box("Tdt").type("0,002");
    box("Tc").type("0,5");
    box("Dx1").type("7,5");
    click("CommandCalc");
    EXPECT_EQ(box("Tdt").text(), " .002");
    EXPECT_EQ(program.state().dt, 0.002);
    EXPECT_EQ(box("Tc").text(), " 0");
    EXPECT_EQ(box("Dx1").text(), "7.5");
    EXPECT_EQ(program.state().dx1, 7.5);
    for (const char* t : {"", "0", "abc"}) {
        box("Tdt").type(t);
        click("CommandCalc");
        EXPECT_EQ(box("Tdt").text(), " .001") << t;
    }
    EXPECT_TRUE(services.window("Form2")->isVisible());
    EXPECT_TRUE(services.window("Form3")->isVisible());
}

TEST_F(Panel, NObjectKeepsTwoToThree)
{
    const std::pair<const char*, const char*> cases[] = {
        {"5", "3"}, {"1", "2"}, {"2.5", "2.5"}, {"", ""}, {"-", "2"}, {"x", "2"}, {"2,5", "2,5"}};
    for (const auto& [typed, shown] : cases) {
        box("Tn_object").type(typed);
        EXPECT_EQ(box("Tn_object").text(), shown) << typed;
    }
    box("Tn_object").type("2");
    click("Tn_object");
    EXPECT_EQ(box("Tn_object").text(), "3");
    click("Tn_object");
    EXPECT_EQ(box("Tn_object").text(), "2");
}

TEST_F(Panel, ScenarioSwitchAndSelectors)
{
    click("Tmethode");
    EXPECT_EQ(box("Tmethode").text(), "Mercury");
    EXPECT_EQ(program.state().scenarioCode, Scenario::Mercury);
    EXPECT_EQ(box("Tmass(1)").text(), "0.001");
    EXPECT_EQ(box("Tmass(2)").text(), "0.1");
    EXPECT_EQ(box("Dx1").text(), "8");
    EXPECT_EQ(box("Titer").text(), "1000000");
    EXPECT_EQ(box("Tcolor").text(), "12");
    EXPECT_EQ(box("Tcolor").backgroundColor(), QBColor(12));
    EXPECT_EQ(box("Tcolor").textColor(), QBColor(0));
    box("Tmethode").type("mercury"); // any other text leads back to "2 BH's"
    click("Tmethode");
    EXPECT_EQ(box("Tmethode").text(), "2 BH's");
    EXPECT_EQ(box("Tmass(1)").text(), "100");
    EXPECT_EQ(box("Tcolor").textColor(), QBColor(15));
    EXPECT_EQ(box("Tcolor").backgroundColor(), QBColor(0));
    box("Tmethode").type("Mercury");
    EXPECT_EQ(program.state().scenarioCode, Scenario::TwoBlackHoles); // typing is not switching

    box("Tc").type(" 0");
    click("Tc");
    EXPECT_EQ(box("Tc").text(), "50000");
    click("Tc");
    EXPECT_EQ(box("Tc").text(), "50000");
    for (const char* t : {"1", "2", " "}) {
        box("Tpredsel").type(t);
        click("Tpredsel");
        EXPECT_EQ(box("Tpredsel").text(), "0");
    }
    click("Tpredsel");
    EXPECT_EQ(box("Tpredsel").text(), "1");
}

TEST_F(Panel, CommaRegionalFormatInTheScenarioSwitch)
{
    services.setRegionalFormat({","});
    click("Tmethode");
    EXPECT_EQ(box("Tmass(1)").text(), "0,001");
    box("Titer").type("300");
    click("CommandCalc");
    EXPECT_EQ(box("Tmass(1)").text(), "0.001");
    EXPECT_EQ(program.state().mass[1], 0.001);
}

TEST_F(Panel, ColourSelectorAndClear)
{
    click("Tcolor");
    EXPECT_EQ(box("Tcolor").text(), "1");
    EXPECT_EQ(box("Tcolor").backgroundColor(), QBColor(1));
    EXPECT_EQ(box("Tcolor").textColor(), QBColor(15));
    for (int i = 2; i <= 15; ++i) {
        click("Tcolor");
        EXPECT_EQ(box("Tcolor").textColor(), QBColor(i < 7 || i == 9 ? 15 : 0)) << i;
    }
    click("Tcolor");
    EXPECT_EQ(program.form3().colorIndex(), 0);
    EXPECT_EQ(box("Tcolor").text(), "0");

    box("Titer").type("4000");
    click("CommandCalc");
    EXPECT_GT(inkOn("Form3"), 0u);
    const std::size_t dots = inkOn("Form2");
    EXPECT_GT(dots, 0u);
    click("CommandCls");
    EXPECT_EQ(inkOn("Form3"), 0u);
    EXPECT_EQ(inkOn("Form2"), dots); // "Clear" never touches the simulation display
}

TEST_F(Panel, RunWritesProgressAndLaysOutTheDisplays)
{
    box("Titer").type("250");
    box("Tn_object").type("2");
    box("Tc").type("50");
    click("CommandCalc");
    EXPECT_EQ(box("Titer1").text(), "200");
    EXPECT_EQ(box("Tti2j0").text(), ""); // two bodies: never evaluated
    EXPECT_EQ(box("Tti1j0").text(), "239"); // the pair just under 12 apart, c * dt = 0.05
    EXPECT_FALSE(box("Ta").isVisible());
    EXPECT_EQ(services.window("Form3")->outerWidth(), 12000);
    // The strip's first dot stands in column 1.
    const ui::Surface& plot = services.window("Form3")->surface();
    bool column1 = false;
    for (int y = 0; y < plot.height; ++y)
        column1 = column1 || !(plot.at(1, y) == ui::kBackground);
    EXPECT_TRUE(column1);

    click("Tmethode");
    box("Titer").type("30000");
    click("CommandCalc");
    EXPECT_TRUE(box("Ta").isVisible());
    EXPECT_EQ(box("TPred").left(), box("Ta").left());
    EXPECT_EQ(box("Ta").top(), 320);
    EXPECT_EQ(box("Ta").text(), "44.987895"); // a and b floored to six decimals
    EXPECT_EQ(box("Tb").text(), "-0.000235");
    EXPECT_EQ(box("TPred").text(), "44.9871917087729");
    EXPECT_EQ(services.window("Form3")->innerHeight(), 370);
}

// The delays' texts follow the number format of each run, also where the delay is the same.
TEST_F(Panel, DelayTextsInTheFormatOfTheirRun)
{
    box("Titer").type("50"); // one display update: the same delay in both runs
    box("Tc").type("1E-15"); // about 10^19 steps, shown with a separator
    click("CommandCalc");
    const std::string pointed = box("Tti1j0").text();
    ASSERT_NE(pointed.find('.'), std::string::npos) << pointed;
    services.setRegionalFormat({","});
    click("CommandCalc");
    std::string comma = pointed;
    comma[pointed.find('.')] = ',';
    EXPECT_EQ(box("Tti1j0").text(), comma);
}

TEST_F(Panel, StopAndOneRunAtATime)
{
    int runsStarted = 0;
    services.setIdleHook([&] {
        if (box("Titer1").text() == "500") {
            services.queueClick("CommandCalc"); // must be ignored
            services.queueClick("CommandEnd");
        }
    });
    program.form1().onRunFinished([&](const RunResult&) { ++runsStarted; });
    click("CommandCalc");
    const RunResult& r = *program.form1().lastRun();
    EXPECT_EQ(r.ended, RunEnd::Stopped);
    EXPECT_EQ(r.lastPass, 500);
    EXPECT_EQ(runsStarted, 1);
    EXPECT_EQ(services.button("CommandEnd")->caption(), "End");
    EXPECT_FALSE(services.programEnded());
    click("CommandEnd");
    EXPECT_TRUE(services.programEnded());
}

TEST_F(Panel, ClosingThePanelDuringARunStopsThenEnds)
{
    services.setIdleHook([&] {
        if (box("Titer1").text() == "300")
            services.queueCloseRequest("Form1");
    });
    click("CommandCalc");
    EXPECT_EQ(program.form1().lastRun()->lastPass, 300);
    EXPECT_TRUE(services.programEnded());
}

TEST(Palette, TableAndSafeIndex)
{
    EXPECT_EQ(QBColor(0), (ui::Rgb{0, 0, 0}));
    EXPECT_EQ(QBColor(7), (ui::Rgb{192, 192, 192}));
    EXPECT_EQ(QBColor(12), (ui::Rgb{255, 0, 0}));
    EXPECT_EQ(QBColor(15), (ui::Rgb{255, 255, 255}));
    EXPECT_EQ(QBColor(16), QBColor(0));
    EXPECT_EQ(QBColor(-1), QBColor(15));
    EXPECT_EQ(PixelCoordinate(1e300), 1e30f);
    EXPECT_EQ(PixelCoordinate(-1e300), -1e30f);
    EXPECT_EQ(PixelCoordinate(2.5), 2.5f);
}
