#include "panel/run_reporter.h"

#include "panel/form1.h"

namespace gravlag {

RunReporter::RunReporter(Form1& form1)
{
    begin_ = form1.onRunBegin([this, &form1](const SimState& state, const RunValues& run) {
        analysis_.begin(state, run, form1.model.forceLaw);
        begun_ = true;
    });
    apsisEvents_ = form1.onApsisEvent(
        [this](const SimState& state, const RunValues& run) { analysis_.orbit(state, run); });
    samples_ = form1.onSample(
        [](const SimState& state, const RunValues& run) { return RunAnalysis::SampleInterval(state, run); },
        [this](const SimState& state, const RunValues& run) { analysis_.sample(state, run); });
    delays_ = form1.onDelayRecord([this](const DelayStats& delays) { analysis_.setDelays(delays); });
    finished_ = form1.onRunFinished([this](const SimState& state, const RunResult& result) {
        // A refused run never began: it has nothing to report.
        latest_.reset();
        if (begun_ && result.ended != RunEnd::Refused)
            latest_ = analysis_.finish(state, result);
        begun_ = false;
        if (onFinished)
            onFinished(latest_);
    });
}

} // namespace gravlag
