// The panel's run hooks: several subscribers to each, called in the order they subscribed,
// each sample subscriber at its own interval, and subscriptions ended by their handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/program.h"
#include "ui/headless/headless_services.h"

namespace gravlag {
namespace {

TEST(RunHooks, SeveralSubscribersEachAtItsOwnPassesUntilItsHandleEndsIt)
{
    ui::HeadlessServices services;
    Program program(services);
    Form1& form1 = program.form1();
    ui::Headless(form1.Tmethode).click(); // "Mercury": apsis events
    ui::Headless(form1.Titer).type("200000");

    std::vector<std::string> trace; // begin, samples and the end, in the order they came
    std::vector<std::int64_t> first, second;
    ui::Subscription firstEvents = form1.onApsisEvent([&](const SimState&, const RunValues& run) {
        first.push_back(run.apsisCount);
        if (run.apsisCount == 2)
            firstEvents.disconnect(); // from inside its own call
    });
    form1.onApsisEvent(
        [&](const SimState&, const RunValues& run) { second.push_back(run.apsisCount); });
    form1.onRunBegin([&](const SimState& state, const RunValues& run) {
        EXPECT_EQ(&state, &program.state());
        EXPECT_EQ(run.k, 0);
        trace.push_back("begin");
    });
    const auto every = [](std::int64_t n) {
        return [n](const SimState&, const RunValues&) { return n; };
    };
    std::int64_t by300 = 0, by200 = 0;
    form1.onSample(every(300), [&](const SimState&, const RunValues& run) {
        EXPECT_EQ(run.k % 300, 0);
        ++by300;
        if (run.k <= 600)
            trace.push_back("300:" + std::to_string(run.k));
    });
    form1.onSample(every(0), [&](const SimState&, const RunValues&) { trace.push_back("never"); });
    form1.onRunFinished(
        [&](const RunResult& r) { trace.push_back("end " + std::string(RunEndName(r.ended))); });
    form1.onRunFinished([&](const SimState& state, const RunResult&) {
        EXPECT_EQ(&state, &program.state());
        trace.push_back("end, second subscriber");
    });
    {
        const auto by200s = [&](const SimState&, const RunValues& run) {
            EXPECT_EQ(run.k % 200, 0);
            ++by200;
            if (run.k <= 600)
                trace.push_back("200:" + std::to_string(run.k));
        };
        const ui::ScopedSubscription scoped = form1.onSample(every(200), by200s);
        ui::Headless(form1.CommandCalc).click();
    }
    const RunResult& r = *form1.lastRun();
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    ASSERT_GE(r.values.apsisCount, 3);
    EXPECT_EQ(trace, (std::vector<std::string>{"begin", "300:0", "200:0", "200:200", "300:300",
                                               "200:400", "300:600", "200:600", "end completed",
                                               "end, second subscriber"}));
    EXPECT_EQ(by300, 200000 / 300 + 1);
    EXPECT_EQ(by200, 200000 / 200 + 1);
    EXPECT_EQ(first, (std::vector<std::int64_t>{1, 2}));
    ASSERT_EQ(second.size(), static_cast<std::size_t>(r.values.apsisCount));
    EXPECT_EQ(second.back(), r.values.apsisCount);
    EXPECT_FALSE(firstEvents.connected());

    // The scoped subscriber has gone; the others stay for the panel's lifetime.
    trace.clear();
    ui::Headless(form1.Titer).type("400");
    ui::Headless(form1.CommandCalc).click();
    EXPECT_EQ(by200, 200000 / 200 + 1);
    EXPECT_EQ(by300, 200000 / 300 + 1 + 2);
    EXPECT_EQ(trace, (std::vector<std::string>{"begin", "300:0", "300:300", "end completed",
                                               "end, second subscriber"}));
}

} // namespace
} // namespace gravlag
