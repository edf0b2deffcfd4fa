#pragma once
// A report and a budget made at dt, read beside the same made at dt/2 and dt/4 (each the
// same texts, "Iteration" doubled and quadrupled so that they cover the same time): every
// rate gets its extrapolation to dt -> 0 (convergence.h), judged against the standard
// error of the value at dt.

#include "core/analysis/budget.h"
#include "core/analysis/run_report.h"

namespace gravlag {

// Sets the convergence of atDt's element rates and precession.
void AddConvergence(RunReport& atDt, const RunReport& atHalf, const RunReport& atQuarter);
// Sets the convergence of each of atDt's rows.
void AddConvergence(Budget& atDt, const Budget& atHalf, const Budget& atQuarter);

} // namespace gravlag
