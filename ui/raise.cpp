#include "ui/raise.h"

namespace gravlag::ui {

namespace {

// Initial-exec: set up with each thread, also in a module loaded later (the Python module),
// where the C library would otherwise allocate them at their first use and abort the process
// if that allocation is refused.
thread_local int changeDepth [[gnu::tls_model("initial-exec")]] = 0;
thread_local std::size_t changeLimitHits [[gnu::tls_model("initial-exec")]] = 0;

} // namespace

ChangeDepthGuard::ChangeDepthGuard()
    : entered_(changeDepth < kMaxDepth)
{
    if (entered_)
        ++changeDepth;
    else
        ++changeLimitHits;
}

ChangeDepthGuard::~ChangeDepthGuard()
{
    if (entered_)
        --changeDepth;
}

std::size_t ChangeDepthGuard::limitHits()
{
    return changeLimitHits;
}

void Raise(const Handler& handler)
{
    if (handler) {
        Handler running = handler;
        running();
    }
}

void RaiseChange(const Handler& handler, WindowServices& services)
{
    if (!handler)
        return;
    const ChangeDepthGuard nested;
    if (!nested.entered()) {
        services.reportProblem("change handlers nested too deeply; chain cut");
        return;
    }
    Raise(handler);
}

} // namespace gravlag::ui
