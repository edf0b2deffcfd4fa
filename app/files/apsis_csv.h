#pragma once
// The apsis CSV: one row per apsis event of a "Mercury" run, numbers written exactly.

#include <string>
#include <string_view>

#include "app/files/csv_row.h"
#include "core/run.h"

namespace gravlag {

std::string_view ApsisCsvHeader(); // the header line, with its line feed
// One row with its line feed, appended; `run` as the run reports an apsis event, when the
// event's angle and the fitted line are all set.
CsvRow ApsisCsvRow(const RunValues& run); // the same row as numbers
void AppendApsisCsvRow(std::string& rows, const RunValues& run);

} // namespace gravlag
