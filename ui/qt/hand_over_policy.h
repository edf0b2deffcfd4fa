#pragma once
// When a run's display update hands over to the event loop in full. The full hand-over polls
// the window system and runs due timers and repaints: about a microsecond even when it finds
// nothing, against a few for the hundred passes between two updates. So an update hands over
// in full only when a frame is due (then the deferred texts and dots are painted too) or
// when input has arrived; the rest of the time it runs the posted events alone, which costs
// nanoseconds when there are none.

#include <chrono>
#include <cstdint>
#include <ctime>

namespace gravlag::ui {

class HandOverPolicy {
public:
    using Clock = std::chrono::steady_clock;
    // As often as the paint pacer paints (paint_pacer.h).
    static constexpr Clock::duration kFrame = std::chrono::milliseconds(16);
    // After input arrives, every update hands over in full for this long: the window
    // system's reader may take a moment to pick up the events that the watcher saw.
    static constexpr Clock::duration kInputGrace = std::chrono::milliseconds(16);

    enum class Due { Nothing, Input, Frame };

    // What the update at `now` owes. `inputCount` counts the input events seen so far; a
    // count other than last time's means input has arrived.
    Due due(Clock::time_point now, std::uint64_t inputCount)
    {
        if (inputCount != inputSeen_) {
            inputSeen_ = inputCount;
            inputUntil_ = now + kInputGrace;
        }
        if (now >= nextFrame_) {
            nextFrame_ = now + kFrame;
            return Due::Frame;
        }
        return now < inputUntil_ ? Due::Input : Due::Nothing;
    }

    // The time for `due` at a display update: the system's coarse reading of the same clock
    // where it has one. It advances by the kernel's tick (1 to 10 ms), fine enough for 16 ms
    // frames, and costs a few nanoseconds where a precise reading can cost over a hundred
    // on a virtual machine: a run makes tens of thousands of updates a second.
    static Clock::time_point coarseNow()
    {
#if defined(CLOCK_MONOTONIC_COARSE)
        timespec t{};
        if (clock_gettime(CLOCK_MONOTONIC_COARSE, &t) == 0) // steady_clock reads CLOCK_MONOTONIC
            return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
                std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec)));
#endif
        return Clock::now();
    }

    // A run starts: its first frame is one frame on. What the run's start changed would stand
    // for less than a frame before the run's own changes cover it, and a run shorter than a
    // frame paints once, at its end, not twice (on X with shared memory, painting what the
    // last paint sent waits for the server). The `inputBefore` input events seen by then,
    // among them the click that started the run, are not new to it: counted new, they
    // made a person's "Calculate" hand over in full at every update of the run's first
    // frame, which nearly doubled what a short run cost (docs/performance.md).
    void restart(Clock::time_point now, std::uint64_t inputBefore)
    {
        nextFrame_ = now + kFrame; // not at once
        inputSeen_ = inputBefore;
    }

private:
    Clock::time_point nextFrame_{}, inputUntil_{};
    std::uint64_t inputSeen_ = 0;
};

} // namespace gravlag::ui
