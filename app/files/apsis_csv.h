#pragma once
// The apsis CSV: one row per apsis event of a "Mercury" run, numbers written exactly.

#include <string>
#include <string_view>

#include "core/run.h"

namespace gravlag {

std::string_view ApsisCsvHeader(); // the header line, with its line feed
// One row with its line feed, appended; `run` as the run reports an apsis event, when the
// event's angle and the fitted line are all set.
void AppendApsisCsvRow(std::string& rows, const RunValues& run);

} // namespace gravlag
