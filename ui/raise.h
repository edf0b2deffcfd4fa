#pragma once
// Raising the handlers of controls and windows, the same way in both implementations. A
// handler runs from a copy, so that one that installs another handler (or itself again)
// does not destroy the function object it is running in.
//
// Change handlers may set texts again, of their own box or of others; the nesting depth is
// counted over all boxes of a thread, so that two boxes feeding each other are caught as
// well. Per thread: the windows of one program live on one thread, and independent programs
// (a sweep's points) may run side by side.

#include <cstddef>

#include "ui/window_services.h"

namespace gravlag::ui {

// One level of change-handler nesting, entered for as long as the guard lives, unless
// kMaxDepth levels are entered already.
class ChangeDepthGuard {
public:
    // Only a handler chain that never settles gets this deep.
    static constexpr int kMaxDepth = 64;
    ChangeDepthGuard();
    ~ChangeDepthGuard();
    ChangeDepthGuard(const ChangeDepthGuard&) = delete;
    ChangeDepthGuard& operator=(const ChangeDepthGuard&) = delete;
    bool entered() const { return entered_; }
    // How often a chain was cut on this thread.
    static std::size_t limitHits();

private:
    bool entered_;
};

void Raise(const Handler& handler);

// A change handler, one level deeper. At the depth limit the handler is not entered (the
// text stays set) and the cut is reported through `services`.
void RaiseChange(const Handler& handler, WindowServices& services);

} // namespace gravlag::ui
