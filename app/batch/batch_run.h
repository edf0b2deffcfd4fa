#pragma once
// One batch run on in-memory windows, driven as a person at the panel would drive it.

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "app/batch/batch_options.h"

namespace gravlag {

// Runs on fresh windows of its own and writes the requested files; `report` is the --json
// object. Problems go to `err`, one line each. Returns the exit status: 0 completed or
// stopped, 3 fault, 2 refused or bad input (then `report` may be empty: no run was made).
int RunBatchReport(const BatchOptions& options, nlohmann::json& report, std::ostream& err);

// The same, with the report written to `out` as JSON or as text.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

} // namespace gravlag
