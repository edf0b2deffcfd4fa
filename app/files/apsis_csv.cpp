#include "app/files/apsis_csv.h"

namespace gravlag {

std::string_view ApsisCsvHeader() { return "k,apsisCount,apsisAngle,fitA,fitB,predAngle\n"; }

CsvRow ApsisCsvRow(const RunValues& run)
{
    CsvRow row;
    row.addWhole(run.k);
    row.addWhole(run.apsisCount);
    row.addNumber(run.apsisAngle);
    for (const double ApsisFit::*field : {&ApsisFit::fitA, &ApsisFit::fitB, &ApsisFit::predAngle})
        row.addNumber(run.fit ? std::optional<double>((*run.fit).*field) : std::nullopt);
    return row;
}

void AppendApsisCsvRow(std::string& rows, const RunValues& run) { AppendCsvRow(rows, ApsisCsvRow(run)); }

} // namespace gravlag
