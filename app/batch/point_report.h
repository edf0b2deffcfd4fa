#pragma once
// A sweep point's JSON object under --out: DIR/point-N.json, written atomically once the
// point's files are, with "command" (what the point was run from) and "files" (each file's
// size and checksum) beside the printed object, so that --resume can tell a point already
// done from one to run again, and a report from one whose files another run replaced.

#include <nlohmann/json.hpp>

#include "app/batch/batch_options.h"

namespace gravlag {

// What decides a point's result and files: the scenario, the parameter file's texts, every
// typed text, --stop-at, --every, --duration, --report, --budget, --converge and the output
// names.
nlohmann::json PointInputs(const BatchOptions& options);

// Writes `report` with the point's inputs as "command" and the files' digests to options.reportFile; false if it could not, with the
// problem appended to report["outputErrors"].
bool WritePointReport(const BatchOptions& options, nlohmann::json& report);

// The point's earlier report, without "command" and "files", if options.reportFile holds one made from
// the same inputs that ended "completed" or "fault" (or "stopped" by --stop-at, not by a
// signal), wrote every output and whose output files are all there with the size and the
// checksum it recorded; `status` is then its exit status. False for anything else: the point is run again.
bool ResumedReport(const BatchOptions& options, nlohmann::json& report, int& status);

} // namespace gravlag
