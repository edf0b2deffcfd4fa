// Queued input, event hand-over and program end of the in-memory services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/headless/headless_services.h"

namespace gravlag::ui {
namespace {

struct EventsFixture : ::testing::Test {
    HeadlessServices services;
    Window& panel = services.createWindow("Form1", "Control Display", 3765, 3720);
    Window& plot = services.createWindow("Form3", "Time Evolution Display", 12000, 3090);
    Button& calc = panel.addButton({"CommandCalc", "Calculate", 480, 120, 975, 375, 0});
    TextBox& tc = panel.addTextBox({"Tc", "0", 2640, 2160, 735, 285, 16});
    TextBox& tcolor = plot.addTextBox({"Tcolor", "Text1", 840, 2640, 735, 285, 1});
    Label& lc = panel.addLabel({"Lc", "c", 1800, 2160, 615, 255, 17});
    std::vector<std::string> log;
};

TEST_F(EventsFixture, QueuedInputWaitsForTheHandOverAndRunsInOrder)
{
    calc.onClick([&] { log.push_back("calc"); });
    tc.onClick([&] { log.push_back("Tc click"); });
    tc.onChange([&] { log.push_back("Tc change " + tc.text()); });
    tcolor.onClick([&] { log.push_back("Tcolor click"); });
    plot.onCloseRequest([&] { log.push_back("close Form3"); });

    services.queueClick("Tc");
    services.queueTyping("Tc", "3e5");
    services.queueClick("Tcolor"); // another window
    services.queueCloseRequest("Form3");
    services.queueClick("CommandCalc");
    EXPECT_EQ(services.pendingEvents(), 5u);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(tc.text(), "0");

    services.processPendingEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"Tc click", "Tc change 3e5", "Tcolor click",
                                             "close Form3", "calc"}));
    EXPECT_EQ(services.pendingEvents(), 0u);
    EXPECT_EQ(services.eventHandOvers(), 1u);
}

TEST_F(EventsFixture, TypingTheSameTextRaisesNoChange)
{
    int changes = 0;
    tc.onChange([&] { ++changes; });
    services.queueTyping("Tc", "0");
    services.queueTyping("Tc", "1");
    services.processPendingEvents();
    EXPECT_EQ(changes, 1);
}

TEST_F(EventsFixture, EventsQueuedByEventsRunInTheSameHandOver)
{
    services.queue([&] {
        log.push_back("a");
        services.queue([&] {
            log.push_back("c");
            services.queue([&] { log.push_back("d"); });
        });
    });
    services.queue([&] { log.push_back("b"); });
    services.processPendingEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(services.pendingEvents(), 0u);
}

TEST_F(EventsFixture, IdleHookRunsFirstAtEveryHandOverAndMayQueueInput)
{
    calc.onClick([&] { log.push_back("calc"); });
    services.setIdleHook([&] {
        log.push_back("idle");
        if (services.eventHandOvers() == 2)
            services.queueClick("CommandCalc");
    });
    services.queue([&] { log.push_back("queued"); });
    services.processPendingEvents();
    services.processPendingEvents();
    services.processPendingEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"idle", "queued", "idle", "calc", "idle"}));
    EXPECT_EQ(services.eventHandOvers(), 3u);
}

// A hook that replaces itself, twice while it runs, goes on to its end with its own captures
// (the replaced ones live until no hook runs); the last one set runs from the next hand-over.
TEST_F(EventsFixture, IdleHookThatReplacesItselfRunsToItsEnd)
{
    const std::string first = "the first hook, a text long enough to live on the heap";
    services.setIdleHook([&, first] {
        services.setIdleHook([&, second = std::string(first.size(), 'x')] {
            log.push_back(second.substr(0, 2));
        });
        services.setIdleHook([&] { log.push_back("third"); });
        log.push_back(first);
    });
    services.processPendingEvents();
    services.processPendingEvents();
    EXPECT_EQ(log, (std::vector<std::string>{first, "third"}));
}

TEST_F(EventsFixture, HandOverFromInsideAnEventGoesOnWithTheLaterEvents)
{
    // "Calculate" runs the whole simulation inside its click handler and hands over from
    // there: a later click is served inside it, and nothing runs twice.
    int stops = 0;
    calc.onClick([&] {
        log.push_back("run start");
        services.processPendingEvents();
        log.push_back("run end, stops " + std::to_string(stops));
    });
    tc.onClick([&] { ++stops; });
    services.queueClick("CommandCalc");
    services.queueClick("Tc");
    services.queueClick("Tc");
    services.processPendingEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"run start", "run end, stops 2"}));
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(services.eventHandOvers(), 2u);
}

TEST_F(EventsFixture, UnknownOrWrongKindOfNameIsRejectedWhenQueued)
{
    EXPECT_THROW(services.queueClick("Nothing"), std::invalid_argument);
    EXPECT_THROW(services.queueClick("Lc"), std::invalid_argument); // labels take no clicks
    EXPECT_THROW(services.queueTyping("CommandCalc", "x"), std::invalid_argument);
    EXPECT_THROW(services.queueTyping("Lc", "x"), std::invalid_argument);
    EXPECT_THROW(services.queueCloseRequest("Form9"), std::invalid_argument);
    EXPECT_THROW(services.queueCloseRequest("Tc"), std::invalid_argument);
    EXPECT_EQ(services.pendingEvents(), 0u);
}

TEST_F(EventsFixture, InputWithoutHandlersDoesNothing)
{
    services.queueClick("CommandCalc");
    services.queueClick("Tc");
    services.queueCloseRequest("Form1");
    services.queueTyping("Tc", "7");
    services.processPendingEvents();
    EXPECT_EQ(tc.text(), "7");
    EXPECT_FALSE(panel.isVisible()); // closing is the handler's business
}

TEST_F(EventsFixture, EndProgramDiscardsInputAndLaterHandOversRunNothing)
{
    int hooks = 0;
    services.setIdleHook([&] { ++hooks; });
    calc.onClick([&] { log.push_back("calc"); });
    services.queueClick("CommandCalc");
    EXPECT_FALSE(services.programEnded());

    services.endProgram();
    EXPECT_TRUE(services.programEnded());
    EXPECT_EQ(services.pendingEvents(), 0u);
    services.queueClick("CommandCalc");
    services.processPendingEvents();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(hooks, 0);
    EXPECT_EQ(services.pendingEvents(), 0u);
}

TEST_F(EventsFixture, EndProgramFromAHandlerStopsTheRestOfTheQueue)
{
    calc.onClick([&] {
        log.push_back("end");
        services.endProgram();
    });
    tc.onClick([&] { log.push_back("after end"); });
    services.queueClick("CommandCalc");
    services.queueClick("Tc");
    services.processPendingEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"end"}));
    EXPECT_TRUE(services.programEnded());
}

TEST(HeadlessServicesFormat, RegionalFormatIsWhatWasGiven)
{
    HeadlessServices services(RegionalFormat{","});
    EXPECT_EQ(services.regionalFormat().decimalSeparator, ",");
    services.setRegionalFormat(RegionalFormat{"."});
    EXPECT_EQ(services.regionalFormat().decimalSeparator, ".");
}

} // namespace
} // namespace gravlag::ui
