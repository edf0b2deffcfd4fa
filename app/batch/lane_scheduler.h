#pragma once
// Runs tasks (sweep points) on fibers of one thread, and the main loops of their runs in
// SIMD lane groups (core/lane_group.h): a run that reaches its main loop waits in a lane of
// its loop's group; the fullest group computes passes until one of its runs is due for its
// host, whose fiber then goes on as far as its next quiet pass or its end.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/batch/fiber.h"
#include "core/lane_group.h"

namespace gravlag {

class LaneScheduler final : public LaneDriver {
public:
    // A task is a number its caller gives, which `Work` runs. Once taken, a task is run
    // whatever memory is left: making it allocates nothing (two words fit in a function).
    using Work = std::function<void(std::uint64_t task)>;
    // What gives the tasks: with `wait` true it may block until one can start, and none
    // means none ever will; with `wait` false none means none can start now.
    using Take = std::function<std::optional<std::uint64_t>(bool wait)>;

    // `width`: 4 or 8 lanes a group (LaneGroup::Make must make them).
    explicit LaneScheduler(int width);
    ~LaneScheduler() override;

    // Tasks at most in progress at once.
    std::size_t capacity() const { return 3 * static_cast<std::size_t>(width_); }
    // Runs every task `take` gives on this thread; returns when all are done. What a task
    // threw is thrown here once the others have ended.
    void run(const Take& take, const Work& work);
    // Said by `take` (on this thread) once it knows no task will ever come: a group left with
    // a few lanes then gives its runs back to finish alone, which costs them less.
    void noneToCome() { noneToCome_ = true; }

    bool advance(LaneRun& run) override;

private:
    struct Running {
        std::unique_ptr<Fiber> fiber;
        LaneRun* parked = nullptr; // its run, waiting for a lane
        bool placed = false;       // in a group's lane
        bool alone = false;        // given back for good: runs its passes itself
    };
    struct Group {
        std::unique_ptr<LaneGroup> lanes;
        LaneKey key;
        Running* slot[LaneGroup::kMaxWidth] = {};
        int loaded = 0;
    };

    using Task = std::function<void()>;
    void start(Task task);
    void runAlone(Task task); // on this thread, no lane taking its passes
    void resume(Running* r);
    void place(Running* r);

    int width_;
    std::vector<std::unique_ptr<Running>> tasks_;
    std::vector<std::unique_ptr<Fiber>> spare_; // finished, to run the next tasks
    std::vector<Group> groups_;
    Running* current_ = nullptr;
    std::exception_ptr thrown_;
    bool noneToCome_ = false;
};

} // namespace gravlag
