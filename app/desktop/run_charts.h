#pragma once
// The latest run's figures for the "Run report" window, on Qt Charts: the elements of body 2
// about body 1 against time, each with the line of the analysis' rate per orbit, and the
// apsis directions with the run's line fit and its residuals. Axes in the run's units
// (G = 1, lengths in the units of the separations, times in the units of dt, degrees).

#include "core/analysis/run_report.h"

class QWidget;

namespace gravlag {

class RunSeries;

// A page of three charts (a, e, varpi); with fewer than two samples, none (nullptr).
QWidget* MakeElementCharts(const RunSeries& series, const RunReport& report);
// A page of two charts (directions and line, residuals); without apsis events, none.
QWidget* MakeApsisCharts(const RunSeries& series, const RunReport& report);

} // namespace gravlag
