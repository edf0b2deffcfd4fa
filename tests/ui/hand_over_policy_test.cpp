// When a run's display update hands over to the Qt event loop in full, fed with chosen times.
#include <gtest/gtest.h>

#include "ui/qt/hand_over_policy.h"

namespace gravlag::ui {
namespace {

TEST(HandOverPolicy, FullHandOverAtEachFrameAndForAWhileAfterInput)
{
    using namespace std::chrono_literals;
    using Due = HandOverPolicy::Due;
    static_assert(HandOverPolicy::kFrame == 16ms && HandOverPolicy::kInputGrace == 16ms);
    HandOverPolicy policy;
    const HandOverPolicy::Clock::time_point t0 = HandOverPolicy::Clock::now();
    policy.restart(t0 - 1ms, 5);                     // a run begun just after 5 inputs (its click)
    EXPECT_EQ(policy.due(t0, 5), Due::Nothing);      // its first update: none of them is new
    EXPECT_EQ(policy.due(t0 + 1ms, 7), Due::Input);  // 2 more during the run, within their grace
    EXPECT_EQ(policy.due(t0 + 15ms - 1us, 7), Due::Input);
    EXPECT_EQ(policy.due(t0 + 15ms, 7), Due::Frame); // a frame after the run's start
    policy.restart(t0 + 2ms, 7);                     // the next run
    EXPECT_EQ(policy.due(t0 + 2ms, 7), Due::Input);  // the grace of the 2 goes on
    EXPECT_EQ(policy.due(t0 + 17ms, 7), Due::Nothing);
    EXPECT_EQ(policy.due(t0 + 18ms - 1us, 7), Due::Nothing);
    EXPECT_EQ(policy.due(t0 + 18ms, 8), Due::Frame); // a frame is due, and input has come
    EXPECT_EQ(policy.due(t0 + 20ms, 8), Due::Input);
    EXPECT_EQ(policy.due(t0 + 34ms - 1us, 8), Due::Input);
    EXPECT_EQ(policy.due(t0 + 34ms, 8), Due::Frame);
    EXPECT_EQ(policy.due(t0 + 50ms - 1us, 8), Due::Nothing);
    EXPECT_EQ(policy.due(t0 + 50ms, 8), Due::Frame);
}

// The updates' coarse reading is of the clock the frames are counted on.
TEST(HandOverPolicy, CoarseTimeIsTheSteadyClocksWithinATick)
{
    using namespace std::chrono_literals;
    const auto before = HandOverPolicy::Clock::now();
    const auto coarse = HandOverPolicy::coarseNow();
    EXPECT_LT(coarse - before, 1ms);
    EXPECT_GT(coarse - before, -11ms);
}

} // namespace
} // namespace gravlag::ui
