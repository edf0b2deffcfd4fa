#include "core/run_setup.h"

#include <cmath>
#include <limits>
#include <optional>
#include <variant>

#include "core/finite.h"
#include "core/physics/make_integration.h"
#include "core/place_pair.h"

namespace gravlag {

namespace {

constexpr double kMaxPassCounter = 9.0e18; // beyond this a run would never end anyway

bool PlacementFinite(const PairPlacement& p)
{
    return Finite(p.x0, p.y0, p.vx0, p.vy0, p.x1, p.y1, p.vx1, p.vy1);
}

// Why PlacePair cannot place this pair, if it cannot.
std::optional<PlacementProblem::Kind> PairProblem(double m0, double m1, double d)
{
    if (m0 + m1 == 0)
        return PlacementProblem::MassesSumZero;
    if (d == 0)
        return PlacementProblem::SeparationZero;
    const double r0 = (d * m1) / (m0 + m1), r1 = (d * m0) / (m0 + m1);
    if (m1 * r0 < 0 || m0 * r1 < 0)
        return PlacementProblem::NegativeSquare;
    return std::nullopt;
}

} // namespace

bool RunsOnIntegration(const Model& model)
{
    return !(model.integrator == Integrator::Euler
             && (model.forceLaw == ForceLaw::Retarded || model.forceLaw == ForceLaw::Instantaneous));
}

SetupOutcome SetUpRun(SimState& state, RunHost& host, RunValues& run)
{
    SetupOutcome out;
    run.drawScale = 3;
    run.apsisCount = 0;
    state.stopFlag = StopRequest::None;
    host.takeEarlyInputs();
    host.setEndCaption("Stop");
    host.processPendingEvents();

    std::variant<RunInputs, std::string> taken = host.runInputs(state);
    if (auto* refusal = std::get_if<std::string>(&taken)) {
        out.refusal = std::move(*refusal);
        return out;
    }
    const RunInputs& in = std::get<RunInputs>(taken);
    out.method = in.method;
    out.model = in.model;
    if (in.model.forceLaw == ForceLaw::PostNewtonian1 && !(state.c > 0)) {
        out.refusal = "The force law \"1pn\" needs c > 0: its corrections are of order 1/c^2";
        return out;
    }
    run.iterEndValue = in.iterEndValue;
    run.nLast = in.nLast;
    run.method = in.method;
    const int last = run.nLast;
    std::array<double, kBodies> mass = state.mass;
    for (int i = 0; i <= last; ++i)
        mass[static_cast<unsigned>(i)] = in.mass[static_cast<unsigned>(i)];
    run.vxBase = in.vxBase;
    run.vyBase = in.vyBase;

    const Scenario scenario = state.scenarioCode;
    const bool mercury = scenario == Scenario::Mercury;
    const double theta = mercury ? kPi + kPi / 4 : kPi;
    const double d = mercury ? state.dx1 : 2 * state.dx1;
    const double f = mercury ? 0.6 : 1;

    if (const auto innerProblem = PairProblem(mass[0], mass[1], d)) {
        out.refusal = host.placementRefusal({*innerProblem, false});
        return out;
    }
    if (const auto outerProblem = PairProblem(mass[0] + mass[1], mass[2], state.dx2)) {
        out.refusal = host.placementRefusal({*outerProblem, true});
        return out;
    }
    const PairPlacement inner = PlacePair(mass[0], mass[1], d, f, theta);
    const PairPlacement outer = PlacePair(mass[0] + mass[1], mass[2], state.dx2, 1, 0);
    std::array<double, kBodies> x{inner.x0, inner.x1, outer.x1}, y{inner.y0, inner.y1, outer.y1};
    std::array<double, kBodies> vx{inner.vx0, inner.vx1, outer.vx1},
        vy{inner.vy0, inner.vy1, outer.vy1};
    run.startRadius = std::sqrt(x[1] * x[1] + y[1] * y[1]);
    run.xPair = outer.x0;
    run.yPair = outer.y0;
    run.vxPair = outer.vx0;
    run.vyPair = outer.vy0;
    x[0] += run.xPair;
    y[0] += run.yPair;
    x[1] += run.xPair;
    y[1] += run.yPair;
    vx[0] += run.vxPair;
    vy[0] += run.vyPair;
    vx[1] += run.vxPair;
    vy[1] += run.vyPair;
    for (unsigned i = 0; i < kBodies; ++i) {
        vx[i] += run.vxBase;
        vy[i] += run.vyBase;
    }
    bool finite = PlacementFinite(inner) && PlacementFinite(outer) && Finite(run.startRadius);
    for (unsigned i = 0; i < kBodies; ++i)
        finite = finite && Finite(x[i], y[i], vx[i], vy[i]);
    if (!finite) {
        out.refusal = host.placementRefusal({PlacementProblem::Overflow, false});
        return out;
    }

    if (RunsOnIntegration(out.model)) {
        System system{state.c > 0 ? state.c : 0, {}};
        for (unsigned i = 0; i <= static_cast<unsigned>(last); ++i)
            system.bodies.push_back({mass[i], x[i], y[i], vx[i], vy[i]});
        if (!(state.dt > 0) || !Finite(state.dt)) {
            out.refusal = "The force law \"" + std::string(ForceLawName(out.model.forceLaw))
                + "\" under the \"" + std::string(IntegratorName(out.model.integrator))
                + "\" integrator needs a time step dt > 0";
            return out;
        }
        std::string problem;
        out.integration = MakeIntegration(system, out.model, state.dt, out.method, problem);
        if (!out.integration) {
            out.refusal = "Cannot run this model: " + problem;
            return out;
        }
    }

    // Everything is sound: only now does the run change what the state and displays show.
    state.mass = mass;
    host.showDisplays();
    const DisplayGeometry geometry = host.prepareDisplays(scenario);
    run.simWidth = geometry.simWidth;
    run.simHeight = geometry.simHeight;
    run.plotHeight = geometry.plotHeight;
    state.x = x;
    state.y = y;
    state.vx = vx;
    state.vy = vy;
    state.hist.fill(x, y);
    state.sepHist.fill(state.dx1);

    // "2 BH's" time plot: a dot every n passes, n = iterEnd / plotWidth rounded half to even;
    // at least 1, so that a short run samples every pass instead of dividing by zero.
    const double q = std::nearbyint(run.iterEndValue / static_cast<double>(geometry.plotWidth));
    run.sampleInterval = q >= 1 ? (q < kMaxPassCounter ? static_cast<std::int64_t>(q)
                                                        : std::numeric_limits<std::int64_t>::max())
                                : 1;
    const double bound = std::floor(run.iterEndValue);
    out.lastPass = bound < 0 ? -1 : static_cast<std::int64_t>(std::min(bound, kMaxPassCounter));
    run.lastPass = out.lastPass;
    return out;
}

} // namespace gravlag
