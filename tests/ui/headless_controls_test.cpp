// Controls of the in-memory windows: design geometry, lookup, and the change event.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/headless/headless_services.h"

namespace gravlag::ui {
namespace {

struct PanelFixture : ::testing::Test {
    HeadlessServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    TextBox& tc = panel.addTextBox({"Tc", "0", 2640, 2160, 735, 285, 16});
    TextBox& tdt = panel.addTextBox({"Tdt", "0.001", 2640, 1800, 735, 285, 18});
};

TEST_F(PanelFixture, ControlsTakeTheirDesignInPixels)
{
    Button& end = panel.addButton({"CommandEnd", "End", 2640, 120, 735, 375, 7});
    Label& lc = panel.addLabel({"Lc", "c", 1800, 2160, 615, 255, 17});
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    plot.addTextBox({"Tcolor", "Text1", 840, 2640, 735, 285, 1});

    EXPECT_EQ(tc.left(), 176);
    EXPECT_EQ(tc.top(), 144);
    EXPECT_EQ(tc.text(), "0");
    EXPECT_TRUE(tc.isVisible());
    EXPECT_EQ(end.caption(), "End");
    EXPECT_EQ(end.left(), 176);
    EXPECT_EQ(end.top(), 8);
    EXPECT_EQ(lc.caption(), "c");
    EXPECT_EQ(lc.left(), 120);

    // Lookup reaches every window, and only by the right kind.
    EXPECT_EQ(services.textBox("Tc"), &tc);
    EXPECT_EQ(services.button("CommandEnd"), &end);
    EXPECT_EQ(services.label("Lc"), &lc);
    ASSERT_NE(services.textBox("Tcolor"), nullptr);
    EXPECT_EQ(services.textBox("Tcolor")->text(), "Text1");
    EXPECT_EQ(services.textBox("Lc"), nullptr);
    EXPECT_EQ(services.button("Tc"), nullptr);
    EXPECT_EQ(services.label("Nothing"), nullptr);
    EXPECT_THROW(panel.addLabel({"Tc", "", 0, 0, 15, 15, 0}), std::invalid_argument);
}

TEST_F(PanelFixture, PositionsColoursAndVisibilityAreKept)
{
    auto& box = *services.textBox("Tc");
    EXPECT_FALSE(box.colorsSet());
    box.setLeft(-5);
    box.setTop(300);
    box.setVisible(false);
    box.setTextColor(Rgb{255, 255, 0});
    box.setBackgroundColor(Rgb{0, 0, 128});
    EXPECT_EQ(box.left(), -5);
    EXPECT_EQ(box.top(), 300);
    EXPECT_FALSE(box.isVisible());
    EXPECT_TRUE(box.colorsSet());
    EXPECT_EQ(box.textColor(), (Rgb{255, 255, 0}));
    EXPECT_EQ(box.backgroundColor(), (Rgb{0, 0, 128}));
}

TEST_F(PanelFixture, ChangeRaisedOnlyOnARealChangeAndBeforeSetTextReturns)
{
    std::vector<std::string> seen;
    tc.onChange([&] { seen.push_back(tc.text()); });
    tc.setText("0"); // same text
    EXPECT_TRUE(seen.empty());
    tc.setText("2.5");
    ASSERT_EQ(seen.size(), 1u); // already raised here
    EXPECT_EQ(seen[0], "2.5");
    tc.setText("2.5");
    tc.setText("");
    EXPECT_EQ(seen, (std::vector<std::string>{"2.5", ""}));
}

TEST_F(PanelFixture, ChangeHandlerThatSetsTheTextIsEnteredAgain)
{
    // A handler that tidies its own text, as a selector does: the tidied text changes the box
    // again, and that change is handled before the outer handler goes on.
    std::vector<std::string> trace;
    tdt.onChange([&] {
        trace.push_back("enter " + tdt.text());
        if (tdt.text() == "1,5")
            tdt.setText("1.5");
        trace.push_back("leave " + tdt.text());
    });
    tdt.setText("1,5");
    EXPECT_EQ(tdt.text(), "1.5");
    EXPECT_EQ(trace, (std::vector<std::string>{"enter 1,5", "enter 1.5", "leave 1.5",
                                               "leave 1.5"}));
}

TEST_F(PanelFixture, ChangesAcrossBoxesNest)
{
    std::vector<std::string> trace;
    tc.onChange([&] {
        trace.push_back("Tc " + tc.text());
        tdt.setText("from Tc");
    });
    tdt.onChange([&] { trace.push_back("Tdt " + tdt.text() + " while Tc " + tc.text()); });
    tc.setText("1");
    tc.setText("2");
    EXPECT_EQ(trace, (std::vector<std::string>{"Tc 1", "Tdt from Tc while Tc 1", "Tc 2"}));
}

TEST_F(PanelFixture, ChangeHandlerThatNeverSettlesIsCutAtTheDepthLimit)
{
    int entered = 0;
    const auto hitsBefore = HeadlessTextBox::changeDepthLimitHits();
    std::vector<std::string> problems;
    const ScopedSubscription told
        = services.onProblem([&](std::string_view p) { problems.emplace_back(p); });
    tc.onChange([&] {
        ++entered;
        tc.setText(tc.text() == "a" ? "b" : "a");
    });
    tc.setText("a");
    EXPECT_EQ(entered, HeadlessTextBox::kMaxChangeDepth);
    EXPECT_EQ(HeadlessTextBox::changeDepthLimitHits(), hitsBefore + 1);
    EXPECT_EQ(problems, (std::vector<std::string>{"change handlers nested too deeply; chain cut"}));
    // The box works normally afterwards: the depth count came back down.
    tc.onChange([&] { ++entered; });
    tc.setText("c");
    EXPECT_EQ(entered, HeadlessTextBox::kMaxChangeDepth + 1);
}

TEST_F(PanelFixture, HandlerMayReplaceItselfWhileRunning)
{
    int first = 0, second = 0;
    tc.onChange([&] {
        ++first;
        tc.onChange([&] { ++second; });
        tc.setText("inner");
    });
    tc.setText("outer");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(tc.text(), "inner");
}

TEST_F(PanelFixture, ExceptionFromAHandlerLeavesTheDepthCountRight)
{
    int entered = 0;
    tc.onChange([&] {
        ++entered;
        throw std::runtime_error("handler fault");
    });
    EXPECT_THROW(tc.setText("x"), std::runtime_error);
    // Were the depth left raised, a chain of 64 would now be cut short.
    tc.onChange([&] {
        ++entered;
        tc.setText(tc.text() + "y");
    });
    tc.setText("z");
    EXPECT_EQ(entered, 1 + HeadlessTextBox::kMaxChangeDepth);
}

} // namespace
} // namespace gravlag::ui
