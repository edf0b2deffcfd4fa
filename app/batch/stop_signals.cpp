#include "app/batch/stop_signals.h"

#include <atomic>
#include <csignal>

#include "app/files/output_file.h"

namespace gravlag {

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int signal)
{
    int none = 0;
    if (!received.compare_exchange_strong(none, signal))
        EndNowBySignal(signal);
}

extern "C" void OnBrokenPipe(int signal) { EndNowBySignal(signal); }

extern "C" void OnInterruptNoted(int signal)
{
    int none = 0;
    received.compare_exchange_strong(none, signal);
}

void Handle(int signal, void (*handler)(int))
{
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

} // namespace

void InstallStopSignals()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        Handle(signal, OnStopSignal);
    Handle(SIGPIPE, OnBrokenPipe);
    std::signal(SIGXFSZ, SIG_IGN);
}

int StopSignal() { return received.load(std::memory_order_relaxed); }

InterruptStopsRuns::InterruptStopsRuns()
{
    struct sigaction action {};
    action.sa_handler = OnInterruptNoted;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previous_);
}

InterruptStopsRuns::~InterruptStopsRuns()
{
    sigaction(SIGINT, &previous_, nullptr);
    received.store(0, std::memory_order_relaxed);
}

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

} // namespace gravlag
