#include "core/integration_run.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "core/apsis.h"
#include "core/countdown.h"
#include "core/finite.h"
#include "core/line_fit.h"
#include "core/pass.h"

namespace gravlag {

namespace {

constexpr std::int64_t kDisplayInterval = 100;
constexpr int kRootIterations = 100;

// r . v of body 1 about body 0: positive while they separate, negative while they close.
double Separating(const std::vector<Body>& b)
{
    return (b[1].x - b[0].x) * (b[1].vx - b[0].vx) + (b[1].y - b[0].y) * (b[1].vy - b[0].vy);
}

// Direction of body 1 from body 0, degrees in [0, 360).
double Direction(const std::vector<Body>& b)
{
    return PolarAngle(b[1].x - b[0].x, b[1].y - b[0].y) * 180 / kPi;
}

// The greatest separations of bodies 0 and 1: r . v going from + to - between two points of
// the integration, (time, r . v, direction) each.
class ApsisWatch {
public:
    struct Point {
        double t, f, direction;
    };
    struct Event {
        double t, direction;
    };

    ApsisWatch(const Integration& integration, bool dense, std::size_t n)
        : integration_(integration), dense_(dense), bodies_(n)
    {
    }
    // A point at time t, which the integration's last step covers (with `dense` false: its
    // end); the event between it and the point before, if there is one.
    std::optional<Event> at(double t)
    {
        const Point p = pointAt(t);
        const std::optional<Point> before = last_;
        last_ = p;
        if (!before || !(before->f > 0 && p.f <= 0) || before->t == t)
            return std::nullopt;
        if (!dense_) {
            const double s = before->f / (before->f - p.f);
            return Event{before->t + s * (t - before->t),
                         InterpolateDirection(before->direction, p.direction, s)};
        }
        return locate(*before, p);
    }
    std::optional<double> lastTime() const
    {
        return last_ ? std::optional<double>(last_->t) : std::nullopt;
    }

private:
    Point pointAt(double t)
    {
        integration_.stateAt(t, bodies_);
        return {t, Separating(bodies_), Direction(bodies_)};
    }
    // The root between a (f > 0) and b (f <= 0), by regula falsi with the Illinois halving,
    // to where the dense output no longer tells two times apart.
    Event locate(Point a, Point b)
    {
        int side = 0;
        Point root = b;
        for (int i = 0; i < kRootIterations; ++i) {
            double t = (a.t * b.f - b.t * a.f) / (b.f - a.f);
            if (!(t > a.t && t < b.t))
                t = a.t + (b.t - a.t) / 2;
            if (!(t > a.t && t < b.t))
                break; // a and b are neighbouring doubles
            root = pointAt(t);
            if (root.f == 0)
                break;
            if (root.f > 0) {
                a = root;
                if (side == 1)
                    b.f /= 2;
                side = 1;
            } else {
                b = root;
                if (side == -1)
                    a.f /= 2;
                side = -1;
            }
        }
        return {root.t, root.direction};
    }

    const Integration& integration_;
    bool dense_;
    std::vector<Body> bodies_;
    std::optional<Point> last_;
};

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
    ApsisWatch watch(integration, dense, n);
    Countdown display{kDisplayInterval}, plot{run.sampleInterval};
    const std::int64_t sampleEvery = host.sampleEvery(run);
    Countdown sample{sampleEvery > 0 ? sampleEvery : 1};
    const bool record = host.recordDelays();
    DelayStats delays;
    std::vector<ApsisWatch::Event> events;
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
        for (const ApsisWatch::Event& e : events) {
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
