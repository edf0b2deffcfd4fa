// Hooks with several subscribers: the order they are called in, and how a subscription ends.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/subscription.h"

namespace gravlag::ui {
namespace {

TEST(Hook, SubscribersInOrderUntilTheirHandlesEndThem)
{
    std::vector<std::string> calls;
    Subscription outliving;
    {
        Hook<int> hook;
        Subscription a = hook.subscribe([&](int v) { calls.push_back("a" + std::to_string(v)); });
        Subscription b;
        b = hook.subscribe([&](int v) {
            calls.push_back("b" + std::to_string(v));
            b.disconnect(); // itself, while it runs
            hook.subscribe([&](int w) { calls.push_back("late" + std::to_string(w)); });
        });
        {
            const ScopedSubscription scoped
                = hook.subscribe([&](int v) { calls.push_back("s" + std::to_string(v)); });
            hook(1); // "late" subscribes during this call and is first called by the next
            EXPECT_TRUE(scoped.connected());
        }
        hook(2);
        a.disconnect();
        a.disconnect(); // a second time does nothing
        hook(3);
        EXPECT_FALSE(a.connected());
        EXPECT_FALSE(b.connected());
        outliving = hook.subscribe([&](int) { calls.push_back("outliving"); });
        EXPECT_TRUE(outliving.connected());
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "s1", "a2", "late2", "late3"}));
    EXPECT_FALSE(outliving.connected()); // its hook has gone
    outliving.disconnect();              // and ending it does nothing
    ScopedSubscription moved = std::move(outliving);
    EXPECT_FALSE(moved.connected());
}

} // namespace
} // namespace gravlag::ui
