#pragma once
// gravlag-batch's command line: parses it, refuses bad input, runs once or sweeps.

#include <iosfwd>

namespace gravlag {

// Returns the exit status; `progress` keeps a sweep's progress line on `err`.
int BatchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress);

} // namespace gravlag
