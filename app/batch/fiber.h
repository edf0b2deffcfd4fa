#pragma once
// A fiber: a function running on a stack of its own, which it leaves at yield() and
// continues on at the next resume(), on the same thread. Sweep lanes run each point on one,
// so that a point's run can wait at its main loop while the lanes compute its passes with
// those of other points. Only on x86-64 (where the lanes are); elsewhere none can be made.

#include <cstddef>
#include <exception>
#include <functional>

namespace gravlag {

class Fiber {
public:
    // `body` on a stack of `stackBytes` (address space counts against a limit on it, so a
    // point's run gets what it needs and no more); !valid() when the
    // system gives none or the platform has no fibers.
    explicit Fiber(std::function<void()> body, std::size_t stackBytes = std::size_t{1} << 20);
    ~Fiber();
    Fiber(const Fiber&) = delete;
    Fiber& operator=(const Fiber&) = delete;

    bool valid() const { return stack_ != nullptr; }
    bool finished() const { return finished_; }
    // The body of a fiber that could not be made, for its caller to run instead.
    std::function<void()> takeBody() { return std::move(body_); }
    // A finished fiber runs `body` (taken from the caller) next, on the stack it has, whose
    // pages are already there; false, and nothing changes, for one that has not finished or
    // has no stack.
    bool restart(std::function<void()>& body);
    // Runs the body until it yields or returns; what it threw is thrown here once it ended.
    void resume();
    // Inside a body: back to the resume() that ran it.
    static void yield();

private:
    [[noreturn]] static void start(Fiber* self);
    void layOut(); // the stack as a new body starts on it

    std::function<void()> body_;
    void* stack_ = nullptr;       // the mapping, guard page first
    std::size_t mapped_ = 0;
    void* sp_ = nullptr;          // the fiber's stack pointer while it is not running
    void* callerSp_ = nullptr;    // resume()'s while it runs
    const void* callerBottom_ = nullptr; // resume()'s stack, for the address sanitizer
    std::size_t callerSize_ = 0;
    void* fakeStack_ = nullptr;
    bool finished_ = false;
    std::exception_ptr thrown_;
};

} // namespace gravlag
