#pragma once
// One batch run on in-memory windows, driven as a person at the panel would drive it.

#include <iosfwd>
#include <string>

#include "app/batch_options.h"

namespace gravlag {

// Runs, writes the requested files and the report to `out`; problems go to `err` as one
// line. Returns the exit status: 0 completed or stopped, 3 fault, 2 refused or bad input.
int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

} // namespace gravlag
