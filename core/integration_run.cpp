#include "core/integration_run.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "core/apsis.h"
#include "core/pair_watch.h"
#include "core/countdown.h"
#include "core/finite.h"
#include "core/line_fit.h"
#include "core/pass.h"
#include "core/vector_state.h"

namespace gravlag {

namespace {

constexpr std::int64_t kDisplayInterval = 100;

} // namespace

void RunIntegrationPasses(SimState& state, RunHost& host, RunResult& result, std::int64_t kEnd,
                          Integration& integration, bool dense, bool historyLookup)
{
    RunValues& run = result.values;
    const double dt = state.dt;
    const std::size_t n = integration.bodies();
    std::vector<Body> bodies(n);
    const bool mercury = state.scenarioCode == Scenario::Mercury && n >= 2;
    // Watched from the first step's end on: a start at an apsis (the "Mercury" start is one)
    // is no event, as in the pass loop, whose separation history starts flat.
    std::vector<Body> start(n);
    integration.stateAt(integration.time(), start);
    PairWatch watch(integration, dense, 0, 1, PairWatch::Crossing::Apocentre, start);
    Countdown display{kDisplayInterval}, plot{run.sampleInterval};
    const std::int64_t sampleEvery = host.sampleEvery(run);
    Countdown sample{sampleEvery > 0 ? sampleEvery : 1};
    const bool record = host.recordDelays();
    DelayStats delays;
    std::vector<PairWatch::Event> events;
    std::string problem;

    const auto showDelays = [&](double t) {
        if (n >= 2)
            run.delay21 = DelayInSteps(integration.delay(1, 0, t), dt);
        if (n >= 3)
            run.delay31 = DelayInSteps(integration.delay(2, 0, t), dt);
    };
    double t = 0;
    for (std::int64_t k = 0; k <= kEnd; ++k) {
        if (state.stopFlag == StopRequest::Stop) {
            result.ended = RunEnd::Stopped;
            break;
        }
        ClearUpperVectorHalves();
        const double tPass = static_cast<double>(k + 1) * dt;
        events.clear();
        bool failed = false;
        while (integration.time() < tPass) {
            // The step about to be left behind is closed at its end, so that every root
            // is looked for inside one step, where the dense output answers.
            if (mercury && integration.steps() > 0 && watch.lastTime() != integration.time())
                if (const auto e = watch.at(integration.time()))
                    events.push_back(*e);
            if (!integration.step(problem)) {
                failed = true;
                break;
            }
        }
        if (failed) {
            result.ended = RunEnd::Fault;
            result.message = "Pass " + std::to_string(k) + ": " + problem;
            break;
        }
        t = tPass;
        integration.stateAt(t, bodies);
        for (std::size_t i = 0; i < n; ++i) {
            state.x[i] = bodies[i].x;
            state.y[i] = bodies[i].y;
            state.vx[i] = bodies[i].vx;
            state.vy[i] = bodies[i].vy;
        }
        if (mercury)
            if (const auto e = watch.at(t))
                events.push_back(*e);
        run.k = k;
        result.passes = k + 1;
        result.lastPass = k;
        if (record && n >= 2) {
            bool beyond = false;
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = 0; j < n; ++j) {
                    if (i == j)
                        continue;
                    const double steps = DelayInSteps(
                        integration.delay(static_cast<int>(i), static_cast<int>(j), t), dt);
                    delays.maxSteps = std::max(delays.maxSteps, steps);
                    beyond = beyond || steps >= kHistorySpan;
                }
            delays.passesBeyondHistory += historyLookup && beyond ? 1 : 0;
        }

        bool overflow = false;
        for (const PairWatch::Event& e : events) {
            const std::int64_t apsisCount = run.apsisCount + 1;
            const ApsisFit fit = AddApsisToFit(run.fit, apsisCount, e.direction);
            if (!Finite(e.direction, fit.fitA, fit.fitB, fit.predAngle)) {
                result.ended = RunEnd::Fault;
                result.message = "Pass " + std::to_string(k)
                    + ": overflow or division by zero in the apsis measurement";
                overflow = true;
                break;
            }
            showDelays(t);
            run.apsisCount = apsisCount;
            run.parabA.reset();
            run.parabB.reset();
            run.apsisOffset = (t - e.t) / dt; // passes before this one
            run.apsisAngle = e.direction;
            run.fit = fit;
            host.apsisEvent(state, run);
        }
        if (overflow)
            break;
        if (display.due()) {
            showDelays(t);
            host.displayUpdate(state, run);
        }
        if (plot.due() && state.scenarioCode == Scenario::TwoBlackHoles) {
            showDelays(t);
            host.timePlot(state, run);
        }
        if (sample.due() && sampleEvery > 0) {
            showDelays(t);
            host.samplePass(state, run);
        }
    }
    // The last step may have gone past the last pass only when a later pass failed.
    if (result.passes > 0 && integration.stepStart() <= t && t <= integration.time())
        showDelays(t);
    if (record)
        host.delayRecord(delays);
}

} // namespace gravlag
