#include "app/web/delay_recorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/analysis/orbit_elements.h"
#include "core/run.h"
#include "core/run_setup.h"
#include "panel/form1.h"

namespace gravlag {

namespace {

// `passLoop`: the run is on the panel's pass loop, which keeps the pulls, the retarded
// positions and the position history; a run on an integration keeps none of them.
DelayFrame Frame(const SimState& s, const RunValues& run, bool passLoop)
{
    DelayFrame f{};
    f.k = static_cast<double>(run.k);
    f.time = static_cast<double>(run.k) * s.dt;
    for (int b = 0; b < kBodies; ++b) {
        f.x[b] = s.x[b];
        f.y[b] = s.y[b];
        f.xRet[b] = passLoop ? s.xRet[b] : 0;
        f.yRet[b] = passLoop ? s.yRet[b] : 0;
        // A pass moves v by -dt * f: the pull is -f.
        f.ax[b] = passLoop ? -s.fx[b] : 0;
        f.ay[b] = passLoop ? -s.fy[b] : 0;
        f.xFrom[b] = passLoop ? s.hist.x(b, 1) : s.x[b];
        f.yFrom[b] = passLoop ? s.hist.y(b, 1) : s.y[b];
    }
    f.delay21 = run.delay21.value_or(-1);
    f.delay31 = run.delay31.value_or(-1);
    f.separation = std::hypot(s.x[1] - s.x[0], s.y[1] - s.y[0]);
    f.semiMajorAxis = InnerPairElements(s).a.value_or(std::numeric_limits<double>::quiet_NaN());
    return f;
}

} // namespace

DelayRecorder::DelayRecorder(Form1& form1)
{
    begin_ = form1.onRunBegin([this, &form1](const SimState& s, const RunValues& run) {
        frames_.clear();
        bodies_ = run.nLast + 1;
        c_ = s.c;
        dt_ = s.dt;
        mass_ = s.mass;
        running_ = true;
        passLoop_ = !RunsOnIntegration(form1.model);
        ++runNumber_;
        // The frames' room at once, so the passes that record them do not reallocate.
        const auto updates = static_cast<std::int64_t>(std::max(0.0, run.iterEndValue)) / kEvery + 1;
        frames_.reserve(static_cast<std::size_t>(std::min(updates, kMaxFrames) + 1));
    });
    samples_ = form1.onSample(
        [](const SimState&, const RunValues& run) {
            const auto updates = static_cast<std::int64_t>(std::max(0.0, run.iterEndValue)) / kEvery + 1;
            return kEvery * std::max<std::int64_t>(1, (updates + kMaxFrames - 1) / kMaxFrames);
        },
        [this](const SimState& s, const RunValues& run) { frames_.push_back(Frame(s, run, passLoop_)); });
    finished_ = form1.onRunFinished([this](const RunResult&) { running_ = false; });
}

} // namespace gravlag
