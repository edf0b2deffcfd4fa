#pragma once
// SIGINT, SIGTERM and SIGHUP in the desktop program: the first is handed to the event loop
// through a pipe (a handler may do almost nothing itself) and there closes the panel as a
// person would, so a run is stopped first and the program then ends as "End" ends it. The
// event loop runs at a run's hand-overs too, so this works during a run. A second signal
// ends the program at once, its temporaries removed. SIGXFSZ is ignored, so a file-size
// limit shows as a failed save.

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace gravlag {

class DesktopSignals final : public QObject {
public:
    // `onSignal` runs in the event loop with the signal's number. One object per program.
    explicit DesktopSignals(std::function<void(int signal)> onSignal);
    ~DesktopSignals() override; // the handlers it installed are removed
    int received() const; // the first signal, or 0

private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace gravlag
