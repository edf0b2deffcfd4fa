// Geometry and drawing surface of the in-memory windows.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/headless/headless_services.h"

namespace gravlag::ui {
namespace {

constexpr int kTwips = HeadlessServices::kTwipsPerPixel;
constexpr int kFrameW = HeadlessServices::kFrameLeft + HeadlessServices::kFrameRight;
constexpr int kFrameH = HeadlessServices::kFrameTop + HeadlessServices::kFrameBottom;
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 128, 0};

int CountNot(const Surface& s, Rgb color)
{
    int n = 0;
    for (const Rgb& p : s.pixels)
        n += p == color ? 0 : 1;
    return n;
}

TEST(HeadlessWindowGeometry, DesignedInnerSizeGivesFramedOuterSize)
{
    HeadlessServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);

    EXPECT_EQ(panel.innerWidth(), 251);
    EXPECT_EQ(panel.innerHeight(), 248);
    EXPECT_EQ(panel.outerWidth(), 3765 + kFrameW * kTwips);
    EXPECT_EQ(panel.outerHeight(), 3720 + kFrameH * kTwips);
    EXPECT_EQ(plot.innerWidth(), 800);
    EXPECT_EQ(plot.innerHeight(), 206);
    EXPECT_EQ(panel.caption(), "Control Display");
    EXPECT_FALSE(panel.isVisible());
}

TEST(HeadlessWindowGeometry, OuterSizeRoundTripsThroughInnerSize)
{
    HeadlessServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    services.createWindow("Form2", "Simulation Display", 4680, 4260);
    HeadlessWindow& sim = *services.window("Form2");

    // The start-up arrangement: Form2 as wide as Form1 gets Form1's inner width.
    sim.setOuterWidth(panel.outerWidth());
    EXPECT_EQ(sim.outerWidth(), panel.outerWidth());
    EXPECT_EQ(sim.innerWidth(), panel.innerWidth());
    EXPECT_EQ(sim.innerHeight(), 284);

    sim.setOuterHeight(kTwips * (100 + kFrameH));
    EXPECT_EQ(sim.innerHeight(), 100);
    EXPECT_EQ(static_cast<int>(sim.surface().pixels.size()), sim.innerWidth() * 100);
}

TEST(HeadlessWindowGeometry, PartialPixelsAndTinyOrNegativeSizes)
{
    HeadlessServices services;
    services.createWindow("Form2", "Simulation Display", 4680, 4260);
    HeadlessWindow& w = *services.window("Form2");
    w.setOuterWidth(kTwips * (50 + kFrameW) + 14); // 14 twips do not make a pixel
    EXPECT_EQ(w.innerWidth(), 50);
    w.setOuterWidth(kTwips * (kFrameW - 1));
    EXPECT_EQ(w.innerWidth(), 0);
    w.setOuterHeight(-3000);
    EXPECT_EQ(w.innerHeight(), 0);
    EXPECT_EQ(w.outerHeight(), -3000);
    EXPECT_TRUE(w.surface().pixels.empty());
    w.setPixel(0.0f, 0.0f, kRed); // nothing to draw on, and no fault
    EXPECT_EQ(CountNot(w.surface(), kBackground), 0);
}

TEST(HeadlessWindowGeometry, PositionAndVisibility)
{
    HeadlessServices services;
    Window& w = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    w.setLeft(3885);
    w.setTop(-45);
    EXPECT_EQ(w.left(), 3885);
    EXPECT_EQ(w.top(), -45);
    w.show();
    w.show();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(services.window("Form3"), &w);
    EXPECT_EQ(services.window("Form4"), nullptr);
    EXPECT_THROW(services.createWindow("Form3", "again", 15, 15), std::invalid_argument);
}

TEST(HeadlessSurface, StartsBlankAndEraseClearsIt)
{
    HeadlessServices services;
    services.createWindow("Form2", "Simulation Display", 4680, 4260);
    HeadlessWindow& w = *services.window("Form2");
    ASSERT_EQ(w.surface().width, 312);
    ASSERT_EQ(w.surface().height, 284);
    EXPECT_EQ(CountNot(w.surface(), kBackground), 0);

    w.setPixel(0.0f, 0.0f, kRed);
    w.setPixel(311.0f, 283.0f, kGreen);
    w.setPixel(10.0f, 20.0f, Rgb{0, 0, 0});
    EXPECT_EQ(w.surface().at(0, 0), kRed);
    EXPECT_EQ(w.surface().at(311, 283), kGreen);
    EXPECT_EQ(w.surface().at(10, 20), (Rgb{0, 0, 0}));
    EXPECT_EQ(CountNot(w.surface(), kBackground), 3);

    w.erase();
    EXPECT_EQ(CountNot(w.surface(), kBackground), 0);
    EXPECT_EQ(w.surface().width, 312);
    EXPECT_EQ(w.setPixelCalls(), 3u);
    // Nothing erased comes back with the dots drawn after it, on the rows it held.
    w.setPixel(5.0f, 0.0f, kRed);
    w.setPixel(5.0f, 283.0f, kRed);
    EXPECT_EQ(CountNot(w.surface(), kBackground), 2);
}

// A window's pixels are kept for the next window of its size when it goes: that one starts
// blank all the same, on every row the first drew on.
TEST(HeadlessSurface, AWindowAfterOneDrawnOnStartsBlank)
{
    for (int round = 0; round < 2; ++round) {
        HeadlessServices services;
        services.createWindow("Form2", "Simulation Display", 4680, 4260);
        HeadlessWindow& w = *services.window("Form2");
        EXPECT_EQ(CountNot(w.surface(), kBackground), 0) << "round " << round;
        w.setPixel(0.0f, 0.0f, kRed);
        w.setPixel(311.0f, 283.0f, kGreen);
        EXPECT_EQ(CountNot(w.surface(), kBackground), 2);
    }
}

// A window left unread draws nothing and keeps no memory; read anyway, it gives no picture
// rather than a blank one that could be taken for what was drawn.
TEST(HeadlessSurface, AWindowLeftUnreadCountsItsCallsAndHoldsNoPicture)
{
    HeadlessServices services;
    services.createWindow("Form2", "Simulation Display", 4680, 4260);
    HeadlessWindow& w = *services.window("Form2");
    w.setPixel(1.0f, 1.0f, kRed);
    w.leaveUnread();
    w.show();
    w.setOuterWidth(5000); // a run's layout: a drawn-on window would fit its paper to it
    EXPECT_GT(w.innerWidth(), 0);
    w.setPixel(2.0f, 3.0f, kRed);
    w.erase();
    EXPECT_EQ(w.setPixelCalls(), 2u);
    EXPECT_EQ(w.surface().width, 0);
    EXPECT_TRUE(w.surface().pixels.empty());
    EXPECT_EQ(w.takePaper().width(), 0);
}

// Pixels are noted and written in batches: the later of two on one place shows, across a
// batch's end too, and what an erase comes before is gone although it was never written.
TEST(HeadlessSurface, TheLaterPixelShowsAndAnEraseTakesPixelsNotYetWritten)
{
    HeadlessServices services;
    services.createWindow("Form2", "Simulation Display", 4680, 4260);
    HeadlessWindow& w = *services.window("Form2");
    constexpr int kPlaces = 1000; // several batches' worth
    for (int i = 0; i < kPlaces; ++i) {
        w.setPixel(static_cast<float>(i % 312), static_cast<float>(i / 312), kRed);
        w.setPixel(static_cast<float>(i % 312), static_cast<float>(i / 312), kGreen);
    }
    EXPECT_EQ(CountNot(w.surface(), kGreen), 312 * 284 - kPlaces);
    EXPECT_EQ(CountNot(w.surface(), kBackground), kPlaces);
    w.erase();
    w.setPixel(7.0f, 7.0f, kRed);
    w.erase();
    EXPECT_EQ(CountNot(w.surface(), kBackground), 0);
    w.setPixel(100.0f, 7.0f, kGreen); // on the row the erased pixel was on
    EXPECT_EQ(CountNot(w.surface(), kBackground), 1);
}

TEST(HeadlessSurface, ResizeKeepsOverlapAndFillsNewAreaWithBackground)
{
    HeadlessServices services;
    services.createWindow("Form2", "S", 15 * 20, 15 * 10);
    HeadlessWindow& w = *services.window("Form2");
    w.setPixel(2.0f, 3.0f, kRed);
    w.setPixel(19.0f, 9.0f, kGreen); // the corner, cut off by the shrink below

    w.setOuterWidth(kTwips * (12 + kFrameW));
    w.setOuterHeight(kTwips * (8 + kFrameH));
    EXPECT_EQ(w.surface().at(2, 3), kRed);
    EXPECT_EQ(CountNot(w.surface(), kBackground), 1);

    w.setOuterWidth(kTwips * (30 + kFrameW));
    w.setOuterHeight(kTwips * (25 + kFrameH));
    ASSERT_EQ(w.surface().width, 30);
    ASSERT_EQ(w.surface().height, 25);
    EXPECT_EQ(w.surface().at(2, 3), kRed);
    EXPECT_EQ(w.surface().at(19, 9), kBackground); // what was cut off stays lost
    EXPECT_EQ(CountNot(w.surface(), kBackground), 1);
}

struct RoundingCase {
    float x, y;
    int px, py;
};

class HeadlessPixelRounding : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(HeadlessPixelRounding, LandsOnTheNearestDevicePixelHalvesUp)
{
    const RoundingCase c = GetParam();
    HeadlessServices services;
    services.createWindow("Form2", "S", 15 * 10, 15 * 10);
    HeadlessWindow& w = *services.window("Form2");
    w.setPixel(c.x, c.y, kRed);
    ASSERT_EQ(CountNot(w.surface(), kBackground), 1);
    EXPECT_EQ(w.surface().at(c.px, c.py), kRed);
}

INSTANTIATE_TEST_SUITE_P(Coordinates, HeadlessPixelRounding,
                         ::testing::Values(RoundingCase{2.5f, 3.49f, 3, 3},
                                           RoundingCase{2.49f, 3.5f, 2, 4},
                                           RoundingCase{-0.5f, -0.4f, 0, 0},
                                           RoundingCase{9.49f, 0.0f, 9, 0},
                                           RoundingCase{4.0f, 8.999f, 4, 9}));

class HeadlessPixelOutside : public ::testing::TestWithParam<std::pair<float, float>> {};

// A pixel in the bottom-left corner first, so that every row is drawn: one past the right
// edge would otherwise land unseen at the start of a row below.
TEST_P(HeadlessPixelOutside, IsIgnoredWithoutFault)
{
    const auto [x, y] = GetParam();
    HeadlessServices services;
    services.createWindow("Form2", "S", 15 * 10, 15 * 10);
    HeadlessWindow& w = *services.window("Form2");
    w.setPixel(0.0f, 9.0f, kGreen);
    w.setPixel(x, y, kRed);
    EXPECT_EQ(CountNot(w.surface(), kBackground), 1);
    EXPECT_EQ(w.setPixelCalls(), 2u);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(Coordinates, HeadlessPixelOutside,
                         ::testing::Values(std::pair{9.5f, 0.0f}, std::pair{0.0f, 9.5f},
                                           std::pair{-0.51f, 0.0f}, std::pair{0.0f, -1.0f},
                                           std::pair{1.0e30f, 1.0f}, std::pair{1.0f, -1.0e30f},
                                           std::pair{3.0e9f, 3.0e9f}, std::pair{kNaN, 1.0f},
                                           std::pair{1.0f, kNaN}, std::pair{kInf, 1.0f},
                                           std::pair{-kInf, -kInf}));

} // namespace
} // namespace gravlag::ui
