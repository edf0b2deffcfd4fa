#include "app/files/apsis_csv.h"

#include "app/files/exact_text.h"

namespace gravlag {

std::string_view ApsisCsvHeader() { return "k,apsisCount,apsisAngle,fitA,fitB,predAngle\n"; }

void AppendApsisCsvRow(std::string& rows, const RunValues& run)
{
    rows += std::to_string(run.k);
    rows += ',';
    rows += std::to_string(run.apsisCount);
    rows += ',';
    if (run.apsisAngle)
        AppendExactText(rows, *run.apsisAngle);
    for (const double ApsisFit::*field : {&ApsisFit::fitA, &ApsisFit::fitB, &ApsisFit::predAngle}) {
        rows += ',';
        if (run.fit)
            AppendExactText(rows, (*run.fit).*field);
    }
    rows += '\n';
}

} // namespace gravlag
