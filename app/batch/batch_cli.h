#pragma once
// gravlag-batch's command line: parses it, refuses bad input, runs once or sweeps.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/batch/batch_options.h"
#include "app/batch/problem.h"
#include "app/batch/sweep.h"
#include "app/batch/system_run.h"

namespace gravlag {

// Returns the exit status; `progress` keeps a sweep's progress line on `err`.
int BatchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress);

// A command line as BatchMain reads it: the run's options, and the sweep with its settings
// when it asks for one.
struct BatchCommand {
    BatchOptions options;
    std::optional<Sweep> sweep;
    SweepSettings settings;
    std::optional<SystemRun> system; // --system: a run of the file's bodies instead of the panel's
};

// The arguments after the program's name read as BatchMain reads them, without running
// anything (--params is read; --out's folder is checked, made by the sweep). No value for a
// command line it refuses (--help and --version too), with `problem` what it would say; none
// either for an argument that holds a NUL character, which no command line can carry.
std::optional<BatchCommand> ParseBatchCommand(const std::vector<std::string>& arguments, BatchProblem& problem);

} // namespace gravlag
