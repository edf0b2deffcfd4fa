#pragma once
// Analyses every run of a panel (core/analysis/run_analysis.h) through the panel's run
// hooks, as long as it lives, and keeps the report of the latest run. Both programs attach
// one when a report is wanted: the batch runner for --report and --budget, the desktop
// program always.

#include <functional>
#include <optional>

#include "core/analysis/run_analysis.h"
#include "ui/subscription.h"

namespace gravlag {

class Form1;

class RunReporter {
public:
    explicit RunReporter(Form1& form1);
    RunReporter(const RunReporter&) = delete;
    RunReporter& operator=(const RunReporter&) = delete;

    // The latest run's report; none before the first run and after a refused one.
    const std::optional<RunReport>& latest() const { return latest_; }
    // Called at the end of every run, with latest() as it now stands.
    std::function<void(const std::optional<RunReport>&)> onFinished;

private:
    RunAnalysis analysis_;
    bool begun_ = false;
    std::optional<RunReport> latest_;
    ui::ScopedSubscription begin_, apsisEvents_, samples_, delays_, finished_;
};

} // namespace gravlag
