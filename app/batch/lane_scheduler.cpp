#include "app/batch/lane_scheduler.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "app/batch/memory_reserve.h"

namespace gravlag {

LaneScheduler::LaneScheduler(int width) : width_(width) {}

LaneScheduler::~LaneScheduler() = default;

bool LaneScheduler::advance(LaneRun& run)
{
    Running* me = current_;
    if (!me || me->alone)
        return false; // not one of this scheduler's fibers, or given back for good
    me->parked = &run;
    Fiber::yield();
    me->parked = nullptr;
    return true;
}

void LaneScheduler::resume(Running* r)
{
    current_ = r;
    try {
        r->fiber->resume();
    } catch (...) {
        if (!thrown_)
            thrown_ = std::current_exception();
    }
    current_ = nullptr;
    if (r->fiber->finished()) {
        spare_.push_back(std::move(r->fiber)); // its stack's pages for the next point
        const auto at = std::find_if(tasks_.begin(), tasks_.end(),
                                     [r](const std::unique_ptr<Running>& t) { return t.get() == r; });
        tasks_.erase(at);
        return;
    }
    r->placed = false;
    place(r);
}

void LaneScheduler::runAlone(Task task)
{
    LaneDriver* driver = CurrentLaneDriver();
    SetCurrentLaneDriver(nullptr);
    try {
        if (task)
            task();
    } catch (...) {
        if (!thrown_)
            thrown_ = std::current_exception();
    }
    SetCurrentLaneDriver(driver);
}

void LaneScheduler::start(Task task)
{
    // Neither allocation takes the task when it fails: it then runs here, alone, as it does
    // when the system gives no stack for a fiber.
    std::unique_ptr<Running> r;
    try {
        r = std::make_unique<Running>();
        if (!spare_.empty() && spare_.back()->restart(task)) {
            r->fiber = std::move(spare_.back());
            spare_.pop_back();
        } else {
            r->fiber = std::make_unique<Fiber>(std::move(task));
        }
    } catch (const std::bad_alloc&) {
        MemoryDealtWith();
        return runAlone(std::move(task));
    }
    if (!r->fiber->valid())
        return runAlone(r->fiber->takeBody());
    Running* raw = r.get();
    tasks_.push_back(std::move(r)); // room set aside in run()
    resume(raw);
}

void LaneScheduler::place(Running* r)
{
    if (!r->parked || r->placed)
        return;
    Group* target = nullptr;
    for (Group& g : groups_)
        if (g.key == r->parked->key && g.loaded < width_) {
            target = &g;
            break;
        }
    if (!target) {
        try {
            Group g;
            g.key = r->parked->key;
            g.lanes = LaneGroup::Make(g.key, width_);
            groups_.push_back(std::move(g));
        } catch (const std::bad_alloc&) {
            // No memory for a group: the run computes its own passes from here on.
            MemoryDealtWith();
            r->alone = true;
            return resume(r);
        }
        target = &groups_.back();
    }
    int slot = 0;
    while (target->slot[slot])
        ++slot;
    target->slot[slot] = r;
    ++target->loaded;
    target->lanes->load(slot, *r->parked);
    r->placed = true;
}

void LaneScheduler::run(const Take& take, const Work& work)
{
    const auto task = [&work](std::uint64_t number) -> Task { return [&work, number] { work(number); }; };
    LaneDriver* outer = CurrentLaneDriver();
    SetCurrentLaneDriver(this);
    // Room for every task that can be in progress, and every fiber kept, set aside before
    // one is taken: a task taken is never lost to an allocation. Without it, each runs alone.
    try {
        tasks_.reserve(capacity());
        spare_.reserve(capacity());
    } catch (const std::bad_alloc&) {
        MemoryDealtWith();
        for (std::optional<std::uint64_t> number; !thrown_ && (number = take(true));)
            runAlone(task(*number));
        SetCurrentLaneDriver(outer);
        if (thrown_)
            std::rethrow_exception(std::exchange(thrown_, nullptr));
        return;
    }
    bool more = true;
    for (;;) {
        // More points only while no group is full: a point more than the lanes need holds
        // its windows' memory, which a virtual machine faults in dearly, and crowds the caches.
        const auto full = [&] {
            return std::any_of(groups_.begin(), groups_.end(), [&](const Group& g) { return g.loaded == width_; });
        };
        while (more && !thrown_ && tasks_.size() < capacity() && !full()) {
            const std::optional<std::uint64_t> number = take(tasks_.empty());
            if (!number) {
                more = !tasks_.empty(); // a wait that gives none: none ever will
                break;
            }
            start(task(*number));
        }
        if (tasks_.empty()) {
            if (!more || thrown_)
                break;
            continue;
        }
        // Every task in progress waits in a lane: the fullest group runs.
        Group* fullest = nullptr;
        for (Group& g : groups_)
            if (g.loaded > 0 && (!fullest || g.loaded > fullest->loaded))
                fullest = &g;
        if (!fullest)
            break; // cannot happen: a task in progress has either ended or parked
        const std::size_t index = static_cast<std::size_t>(fullest - groups_.data());
        // The last few runs of a group, with no task to come: a pass of all the lanes costs
        // more than theirs one at a time, so they finish alone.
        const bool release = noneToCome_ && 4 * fullest->loaded <= width_;
        const unsigned handedAll = release ? fullest->lanes->release() : fullest->lanes->run();
        for (unsigned handed = handedAll; handed != 0; handed &= handed - 1) {
            Group& g = groups_[index];
            const int l = std::countr_zero(handed);
            Running* r = std::exchange(g.slot[l], nullptr);
            --g.loaded;
            r->alone = release;
            resume(r);
        }
    }
    SetCurrentLaneDriver(outer);
    if (thrown_)
        std::rethrow_exception(std::exchange(thrown_, nullptr));
}

} // namespace gravlag
