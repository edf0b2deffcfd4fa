#pragma once
// The pass countdowns of the run loops: display updates, plot and export samples.

#include <cstdint>

namespace gravlag {

// Counts passes down to the next one that is a multiple of `every` (k counts from 0).
struct Countdown {
    std::int64_t every, left = 0;
    bool due()
    {
        const bool now = left == 0;
        left = now ? every - 1 : left - 1;
        return now;
    }
    // As many due() calls as `passes`, their answers unasked (passes >= 0).
    void skip(std::int64_t passes)
    {
        left = passes <= left ? left - passes : every - 1 - (passes - left - 1) % every;
    }
};

} // namespace gravlag
