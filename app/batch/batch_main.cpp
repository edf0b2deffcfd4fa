// gravlag-batch: the panel and the run on in-memory windows, driven from the command line.
#include <csignal>
#include <iostream>

#include <unistd.h>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "app/batch/memory_reserve.h"
#include "app/batch/stop_signals.h"

int main(int argc, char** argv)
{
    gravlag::InstallStopSignals();
    gravlag::InstallMemoryReserve(8 * 1024 * 1024);
    const gravlag::MemoryWaits waits; // the main thread's own reserve
    const int status = gravlag::BatchMain(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
    // Stopped by a signal, with every file written: ended by that signal itself, so that a
    // shell running this in a loop or a script stops too (it sees 128 + n either way).
    const int signal = gravlag::StopSignal();
    if (signal != 0 && status == gravlag::kExitSignalBase + signal) {
        std::cout.flush();
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return status;
}
