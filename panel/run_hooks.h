#pragma once
// What the runs of a panel tell their subscribers (the exports, a run analysis): each hook
// takes any number of them, called in the order they subscribed, during the run's passes
// without allocating.

#include <cstdint>
#include <functional>

#include "core/run.h"
#include "ui/subscription.h"

namespace gravlag {

// A subscriber to the sampled passes: asked for its interval once the run is set up, then
// called every that many passes (k % every == 0), after the displays have drawn the pass.
struct SampleSubscriber {
    std::function<std::int64_t(const SimState&, const RunValues&)> interval; // <= 0: not this run
    std::function<void(const SimState&, const RunValues&)> sample;
    std::int64_t every = 0; // passes, this run's answer of `interval`; 0 while none
};

struct RunHooks {
    // Right after the run's set-up, before pass 0 (with the state the passes start from).
    ui::Hook<const SimState&, const RunValues&> begin;
    // At every apsis event, after the displays have drawn it.
    ui::Hook<const SimState&, const RunValues&> apsisEvent;
    ui::SubscriberList<SampleSubscriber> samples;
    // After the last pass, the main loop's delay record; a run keeps one only while this
    // hook has a subscriber.
    ui::Hook<const DelayStats&> delayRecord;
    // After every run (also a refused one), once "End" is back on the button.
    ui::Hook<const SimState&, const RunResult&> finished;
};

} // namespace gravlag
