#pragma once
// When a run's display update hands over to the event loop in full. The full hand-over polls
// the window system and runs due timers and repaints: about a microsecond even when it finds
// nothing, against a few for the hundred passes between two updates. So an update hands over
// in full only when a frame is due (then the deferred texts and dots are painted too) or
// when input has arrived; the rest of the time it runs the posted events alone, which costs
// nanoseconds when there are none.

#include <chrono>
#include <cstdint>

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

    // A run starts: its first update paints.
    void restart() { nextFrame_ = Clock::time_point{}; }

private:
    Clock::time_point nextFrame_{}, inputUntil_{};
    std::uint64_t inputSeen_ = 0;
};

} // namespace gravlag::ui
