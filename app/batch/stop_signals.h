#pragma once
// The batch runner's signals. The first SIGINT, SIGTERM or SIGHUP is only noted: each run
// looks at it at its next event hand-over and clicks "Stop" as a person would, so its files
// are complete up to its last pass and its report says "stopped"; no new sweep point starts.
// A second one ends the process at once, its temporaries removed and every target as it was.
// SIGPIPE (the reader of an output went away) ends it at once too. SIGXFSZ is ignored, so a
// file-size limit shows as a write error ("File too large") instead of killing the process.

#include <csignal>

namespace gravlag {

// A signal ignored when the process started (nohup, a background job of a script) stays
// ignored.
void InstallStopSignals();
int StopSignal(); // the first signal received, or 0
const char* SignalName(int signal); // "SIGINT", "SIGTERM", "SIGHUP"

// For a process that makes batch runs on behalf of another program (the Python module):
// while one lives, SIGINT is noted as the first stop signal is (a later one is ignored, so
// the process is never ended by it); when it goes, the handler it found is back and the
// note is cleared. One at a time, made and ended on one thread.
class InterruptStopsRuns {
public:
    InterruptStopsRuns();
    ~InterruptStopsRuns();
    InterruptStopsRuns(const InterruptStopsRuns&) = delete;
    InterruptStopsRuns& operator=(const InterruptStopsRuns&) = delete;

private:
    struct ::sigaction previous_ {};
};

} // namespace gravlag
