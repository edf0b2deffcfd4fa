#pragma once
// The run routine: set-up from the run's typed inputs, then the main loop, pass by pass.
//
// The core knows no windows. What a run needs from the panel and the displays comes through
// RunHost, which panel/ implements on the window services. The run calls the per-pass hooks
// only on passes that draw something (every 100th pass, the time plot's samples, apsis
// events), so a pass that draws nothing makes no indirect call.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/line_fit.h"
#include "core/number_text.h"
#include "core/physics/model.h"
#include "core/retardation.h"
#include "core/sim_state.h"

namespace gravlag {

// What a run takes from around it at its start, beside the state (c, dt, dx1, dx2, the
// scenario): the panel reads its boxes into these.
struct RunInputs {
    double iterEndValue = 0; // the last pass counter value, before flooring
    int nLast = 0;           // index of the last active body, 0..2
    std::array<double, kBodies> mass{}; // mass units; bodies 0..nLast (the others keep the state's)
    double vxBase = 0, vyBase = 0;      // added to every body's velocity, length per time unit
    RetardationMethod method = RetardationMethod::VelocityEstimate;
    Model model;
};

// Why the bodies cannot be placed: which pair (bodies 0 and 1, or their centre of mass and
// body 2) and what is wrong with it.
struct PlacementProblem {
    enum Kind { MassesSumZero, SeparationZero, NegativeSquare, Overflow } kind = Overflow;
    bool outerPair = false; // the pair of the first two bodies' centre of mass and body 2
};

struct DisplayGeometry {
    float simWidth = 0, simHeight = 0; // inner size of Form2, pixels
    float plotHeight = 0;              // inner height of Form3 after its resize, pixels
    float plotWidth = 0;               // inner width of Form3 measured at start-up, pixels
};

// The values that one call of RunSimulation shares among its phases. Optional members are
// those a run assigns only when something happens (an apsis event, a delay evaluated).
struct RunValues {
    double iterEndValue = 0; // "Iteration": the last pass counter value, before flooring
    int nLast = 0;          // index of the last active body
    double vxBase = 0, vyBase = 0;
    int drawScale = 3;      // pixels per length unit on Form2
    std::int64_t apsisCount = 0;
    float simWidth = 0, simHeight = 0, plotHeight = 0;
    double startRadius = 0;
    double xPair = 0, yPair = 0, vxPair = 0, vyPair = 0;
    std::int64_t k = 0;     // pass counter of the pass being reported
    std::optional<double> delay21, delay31; // delays in whole steps, shown as "t 21", "t 31"
    std::int64_t sampleInterval = 1; // "2 BH's" time plot: every n passes (>= 1)
    std::int64_t lastPass = -1; // the last pass counter value the run goes to (-1: none)
    RetardationMethod method = RetardationMethod::VelocityEstimate; // "Prediction" as read
    // Latest apsis event.
    std::optional<double> parabA, parabB, apsisOffset, apsisAngle;
    std::optional<ApsisFit> fit; // the line through the apsis directions so far
};

// The main loop's record of the delays, kept only when the host asks for one (the loop is
// then an instantiation of its own, so that a run without it is the same code).
struct DelayStats {
    double maxSteps = 0; // the largest delay of any pair in a pass, in whole steps (a whole number)
    std::int64_t passesBeyondHistory = 0; // passes whose history lookup used a delay of 20 steps or more (extrapolated)
};

// What the run needs from the windows around it.
class RunHost {
public:
    virtual ~RunHost() = default;
    // The run's inputs are taken in two moments, as a click sees them: takeEarlyInputs
    // before the events are handed over at the start, runInputs after (with the state as
    // "Calculate" left it). A refusal is its reason, one line.
    virtual void takeEarlyInputs() = 0;
    virtual std::variant<RunInputs, std::string> runInputs(const SimState& state) = 0;
    // The reason, one line, why a run whose inputs were taken cannot place its bodies.
    virtual std::string placementRefusal(const PlacementProblem& problem) = 0;
    virtual void setEndCaption(std::string_view caption) = 0; // "Stop" at the start, "End" at the end
    virtual void processPendingEvents() = 0;
    // Form2, then Form3, made visible; Form2 erased.
    virtual void showDisplays() = 0;
    // Form3 sized and laid out for the scenario; the inner sizes the run draws with.
    virtual DisplayGeometry prepareDisplays(Scenario scenario) = 0;

    // Per pass, in this order within a pass, each only when it applies.
    virtual void apsisEvent(const SimState& state, const RunValues& run) = 0;    // "Mercury" event
    virtual void displayUpdate(const SimState& state, const RunValues& run) = 0; // k % 100 == 0; hands over to events
    virtual void timePlot(const SimState& state, const RunValues& run) = 0;      // "2 BH's" sample

    // Sampling for exports, asked once after set-up: every that many passes (k % n == 0)
    // the run calls samplePass after the drawing hooks. 0 samples nothing.
    virtual std::int64_t sampleEvery(const RunValues& /*run*/) { return 0; }
    virtual void samplePass(const SimState& /*state*/, const RunValues& /*run*/) {}

    // The delay record, asked once after set-up: true makes the run keep one and hand it to
    // delayRecord after its last pass (also when it stopped or faulted).
    virtual bool recordDelays() { return false; }
    virtual void delayRecord(const DelayStats& /*delays*/) {}
};

enum class RunEnd { Completed, Stopped, Fault, Refused };

struct RunResult {
    RunEnd ended = RunEnd::Completed;
    std::string message;                 // with Fault and Refused: the cause, in one line
    std::int64_t passes = 0;             // passes completed
    std::optional<std::int64_t> lastPass; // k of the last completed pass
    RunValues values;
};

// Sets up a run from the host's inputs and the state (c, dt, dx1, dx2 stored by
// "Calculate"), runs it to its end and returns how it ended. After a fault the state is that
// of the last completed pass; a refused run leaves the bodies and histories untouched.
RunResult RunSimulation(SimState& state, RunHost& host);

std::string_view RunEndName(RunEnd ended); // "completed", "stopped", "fault", "refused"

} // namespace gravlag
