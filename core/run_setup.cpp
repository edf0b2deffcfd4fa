#include "core/run_setup.h"

#include <cmath>
#include <limits>

#include "core/finite.h"
#include "core/place_pair.h"

namespace gravlag {

namespace {

constexpr double kMaxPassCounter = 9.0e18; // beyond this a run would never end anyway

double ReadNormalised(RunHost& host, PanelBox box)
{
    const std::string text = NormalizeDecimalText(host.boxText(box));
    host.setBoxText(box, text);
    return ParseLeadingNumber(host.boxText(box));
}

bool PlacementFinite(const PairPlacement& p)
{
    return Finite(p.x0, p.y0, p.vx0, p.vy0, p.x1, p.y1, p.vx1, p.vy1);
}

// Why PlacePair cannot place this pair, or empty when it can.
std::string PairProblem(double m0, double m1, double d, const char* masses, const char* separation)
{
    if (m0 + m1 == 0)
        return std::string(masses) + " sum to 0, so the pair has no centre of mass";
    if (d == 0)
        return std::string(separation) + " is 0, so the pair has no separation";
    const double r0 = (d * m1) / (m0 + m1), r1 = (d * m0) / (m0 + m1);
    if (m1 * r0 < 0 || m0 * r1 < 0)
        return std::string("the masses and ") + separation
            + " give an orbital speed with a negative square";
    return {};
}

} // namespace

SetupOutcome SetUpRun(SimState& state, RunHost& host, RunValues& run)
{
    SetupOutcome out;
    run.drawScale = 3;
    run.apsisCount = 0;
    state.stopFlag = StopRequest::None;
    run.predMode = host.boxText(PanelBox::Tpredsel);
    host.setEndCaption("Stop");
    host.processPendingEvents();

    const RegionalFormat format = host.regionalFormat();
    run.iterEnd = host.boxText(PanelBox::Titer);
    const std::optional<double> iterEnd = RegionalNumberValue(run.iterEnd, format);
    if (!iterEnd) {
        out.refusal = "\"Iteration\" is not a number: \"" + run.iterEnd + "\"";
        return out;
    }
    const std::string nText = host.boxText(PanelBox::Tn_object);
    const std::optional<double> nObject = RegionalNumberValue(nText, format);
    if (!nObject) {
        out.refusal = "\"n object\" is not a number: \"" + nText + "\"";
        return out;
    }
    if (!(*nObject >= 1 && *nObject < 4)) {
        out.refusal = "\"n object\" must be 1 to 3 bodies, not " + nText;
        return out;
    }
    const std::optional<double> pred = RegionalNumberValue(run.predMode, format);
    if (!pred) {
        out.refusal = "\"Prediction\" is not a number: \"" + run.predMode + "\"";
        return out;
    }
    out.method =
        *pred == 1 ? RetardationMethod::HistoryLookup : RetardationMethod::VelocityEstimate;
    if (out.method == RetardationMethod::HistoryLookup && state.c > 0 && !(state.dt > 0)) {
        out.refusal = "\"dt\" must be positive for \"Prediction\" 1 with c > 0: the history "
                      "holds only the past";
        return out;
    }
    run.iterEndValue = *iterEnd;
    // Bodies 0 up to the number minus 1; a fraction counts as its whole part.
    run.nLast = static_cast<int>(*nObject) - 1;
    const int last = run.nLast;

    std::array<double, kBodies> mass = state.mass;
    static constexpr PanelBox kMassBox[kBodies] = {PanelBox::Tmass0, PanelBox::Tmass1,
                                                  PanelBox::Tmass2};
    for (int i = 0; i <= last; ++i)
        mass[static_cast<unsigned>(i)] = ReadNormalised(host, kMassBox[i]);
    run.vxBase = ReadNormalised(host, PanelBox::Tvxbase);
    run.vyBase = ReadNormalised(host, PanelBox::Tvybase);

    const Scenario scenario = state.scenarioCode;
    const bool mercury = scenario == Scenario::Mercury;
    const double theta = mercury ? kPi + kPi / 4 : kPi;
    const double d = mercury ? state.dx1 : 2 * state.dx1;
    const double f = mercury ? 0.6 : 1;

    std::string problem = PairProblem(mass[0], mass[1], d, "\"Mass 1\" and \"Mass 2\"", "\"r  m(2)\"");
    if (problem.empty())
        problem = PairProblem(mass[0] + mass[1], mass[2], state.dx2, "the three masses",
                              "\"r  m(3)\"");
    if (!problem.empty()) {
        out.refusal = "Cannot place the bodies: " + problem;
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
        out.refusal = "Cannot place the bodies: overflow in the initial positions or velocities";
        return out;
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
    return out;
}

} // namespace gravlag
