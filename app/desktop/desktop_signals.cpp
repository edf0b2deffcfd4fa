#include "app/desktop/desktop_signals.h"

#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "app/files/output_file.h"

namespace gravlag {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
int wakeUp[2] = {-1, -1}; // the pipe: written by the handler, read by the event loop
std::atomic<int> firstSignal{0};

extern "C" void OnSignal(int signal)
{
    int none = 0;
    if (!firstSignal.compare_exchange_strong(none, signal))
        EndNowBySignal(signal);
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(wakeUp[1], &byte, 1);
}

} // namespace

DesktopSignals::DesktopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    if (::pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without the pipe the signals keep their default action
    notifier_ = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(wakeUp[0], &byte, 1) == 1) {
        }
        if (onSignal_)
            onSignal_(firstSignal.load());
    });
    for (int signal : kSignals) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue; // ignored when the program started (nohup): left so
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

DesktopSignals::~DesktopSignals()
{
    for (int signal : kSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == OnSignal)
            std::signal(signal, SIG_DFL);
    }
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : wakeUp)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    firstSignal = 0;
}

int DesktopSignals::received() const { return firstSignal.load(); }

} // namespace gravlag
