#include "app/files/apsis_csv.h"

#include "app/files/exact_text.h"

namespace gravlag {

std::string_view ApsisCsvHeader() { return "k,apsisCount,apsisAngle,fitA,fitB,predAngle\n"; }

void AppendApsisCsvRow(std::string& rows, const RunValues& run)
{
    rows += std::to_string(run.k);
    rows += ',';
    rows += std::to_string(run.apsisCount);
    for (const std::optional<double>& v : {run.apsisAngle, run.fitA, run.fitB, run.predAngle}) {
        rows += ',';
        if (v)
            AppendExactText(rows, *v);
    }
    rows += '\n';
}

} // namespace gravlag
