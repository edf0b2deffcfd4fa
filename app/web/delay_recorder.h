#pragma once
// What the page's delay view shows, recorded from a panel's runs through its run hooks (as
// the run analysis is): every `every` passes the bodies' positions, the retarded source
// positions and the pulls the pass used, the delays in steps, and the inner pair's
// separation and semi-major axis. The view plays the frames back at any speed: the same
// orbit at every speed, since the frames are the run's own passes.

#include <array>
#include <cstdint>
#include <vector>

#include "core/sim_state.h"
#include "ui/subscription.h"

namespace gravlag {

class Form1;

// One recorded pass. Doubles only, so the page reads the frames as one Float64Array.
struct DelayFrame {
    double k;                          // pass counter
    double time;                       // k * dt, time units
    std::array<double, kBodies> x, y;  // positions, length units
    std::array<double, kBodies> xRet, yRet; // retarded position of each body as a source, as the pass last used it
    std::array<double, kBodies> ax, ay;     // acceleration of each body (the pull), per unit mass
    double delay21, delay31;           // delays in whole steps ("t 21", "t 31"); -1 without a delay
    double separation;                 // distance of bodies 1 and 2, length units
    double semiMajorAxis;              // of body 2 about body 1, length units; NaN when unbound
    // Where the bodies stood when the pass computed its pulls (before its move), length
    // units: the pull is compared with the Newtonian direction from there, or a pass's own
    // step would show as an angle even without a delay.
    std::array<double, kBodies> xFrom, yFrom;
};
static_assert(sizeof(DelayFrame) % sizeof(double) == 0);

class DelayRecorder {
public:
    // At most this many frames a run: a longer run records every n-th update.
    static constexpr std::int64_t kMaxFrames = 20000;
    static constexpr std::int64_t kEvery = 100; // passes, the display updates'

    explicit DelayRecorder(Form1& form1);
    DelayRecorder(const DelayRecorder&) = delete;
    DelayRecorder& operator=(const DelayRecorder&) = delete;

    const std::vector<DelayFrame>& frames() const { return frames_; }
    int bodies() const { return bodies_; } // active bodies of the recorded run
    double c() const { return c_; }
    double dt() const { return dt_; }
    double mass(int body) const { return mass_[static_cast<std::size_t>(body)]; }
    bool running() const { return running_; }
    std::uint32_t runNumber() const { return runNumber_; } // changes when a new run begins

private:
    std::vector<DelayFrame> frames_;
    int bodies_ = 0;
    double c_ = 0, dt_ = 0;
    std::array<double, kBodies> mass_{};
    bool running_ = false;
    bool passLoop_ = false; // the run's passes report their pulls and retarded positions
    std::uint32_t runNumber_ = 0;
    ui::ScopedSubscription begin_, samples_, finished_;
};

} // namespace gravlag
