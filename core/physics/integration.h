#pragma once
// An integration in progress: the state of a System advanced step by step under one force
// law by one integrator. The run routines drive it without knowing which integrator it is:
// they step it, read the state at any time the last step covered (dense output), and ask the
// delay a target sees from a source, in the same time units as the step.
//
// The euler integrator covers exactly one dt per step and answers only for the step's end;
// the reference integrator chooses its steps and answers anywhere in the last step to the
// order of its continuous extension.

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "core/physics/model.h"

namespace gravlag {

class Integration {
public:
    virtual ~Integration() = default;

    // One step. False with `problem` (one line: what failed, at which time) when it cannot
    // go on: a non-finite state, a step that would have to shrink below the resolution of
    // the time, a history beyond its memory limit. The state then stays as the last step left
    // it.
    virtual bool step(std::string& problem) = 0;
    virtual double stepStart() const = 0; // time at the start of the last step
    virtual double time() const = 0;      // time at its end: where the state stands

    // The bodies at time t, stepStart() <= t <= time() (the euler integrator: t == time()).
    virtual void stateAt(double t, std::span<Body> bodies) const = 0;
    // The delay with which body `target` feels body `source` at time t in the same range
    // (0 under an instantaneous law), as the last step computed it.
    virtual double delay(int target, int source, double t) const = 0;

    virtual std::size_t bodies() const = 0;
    virtual std::size_t steps() const = 0; // steps taken (accepted)
};

enum class StepOutcome { Reached, Fault, Stopped };

// Steps until the last step covers time t (none when it already does): the way every caller
// that integrates to a time advances, so that going to t1 and then to t2 takes the very
// steps that going to t2 at once takes. `stop()` is asked before each step. On a fault
// `problem` says what failed and the state stays as the last step left it.
template <class Stop>
StepOutcome StepTo(Integration& integration, double t, std::string& problem, Stop&& stop)
{
    while (integration.time() < t) {
        if (stop())
            return StepOutcome::Stopped;
        if (!integration.step(problem))
            return StepOutcome::Fault;
    }
    return StepOutcome::Reached;
}

} // namespace gravlag
