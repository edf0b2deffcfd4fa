#pragma once
// One batch run on in-memory windows, driven as a person at the panel would drive it.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/batch/batch_options.h"
#include "app/batch/problem.h"

namespace gravlag {

// Exit statuses of gravlag-batch. When several apply, the first in this order wins (a
// sweep takes the worst of its points in the same order): nothing could run; an output
// could not be written; a signal stopped it (128 + the signal's number); a fault ended a run.
inline constexpr int kExitCompleted = 0;  // completed, or stopped by --stop-at
inline constexpr int kExitRefused = 2;    // a bad command line or input that cannot start a run
inline constexpr int kExitFault = 3;      // a fault ended the run
inline constexpr int kExitOutput = 4;     // an output could not be written
inline constexpr int kExitSignalBase = 128;
int WorseStatus(int a, int b); // the one of the two that comes first in the order above

// Runs on fresh windows of its own and writes the requested files; `report` is the --json
// object, with "outputErrors" (one text per file that could not be written, naming its option,
// the file and the system's reason; empty when all were written), "analysis" with --report
// and "budget" with --budget. Problems are appended to `problems` in the order met. Returns
// the exit status; `report` stays empty when no run was made (a file that cannot be created,
// a signal before the run). A refused run writes nothing: every target stays as it was.
int RunBatchReport(const BatchOptions& options, nlohmann::json& report, BatchProblems& problems);
// The same, its problems said on `err`, one line each.
int RunBatchReport(const BatchOptions& options, nlohmann::json& report, std::ostream& err);

// "Iteration" for --duration T: the whole number of passes nearest T / dt, with dt read from
// the "dt" box text as "Calculate" reads it (a decimal comma as a point, 0 as 0.001); halves
// to even. None when that is negative or beyond 10^18.
std::optional<std::int64_t> DurationPasses(double duration, std::string_view dtText);

// The same, with the report written to `out` as JSON or as text.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

// A report as one line of JSON. Texts that are not UTF-8 (file names may hold any bytes)
// are written with U+FFFD, so writing never throws.
std::string JsonLine(const nlohmann::json& j);

} // namespace gravlag
