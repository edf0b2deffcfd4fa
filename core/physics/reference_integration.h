#pragma once
// The reference integrator: adaptive Dormand-Prince 5(4) steps of the delay equations with
// the true retarded time of every pair, solved on a dense history of every body (each step's
// quartic continuous extension), the step size chosen so that the embedded error estimate
// stays within a relative tolerance of the state (scaled by the system's size and speed).
//
// Before t = 0 the bodies follow the instantaneous Newtonian motion of the start state,
// integrated backwards as far as the delays reach, with the same steps and tolerance.
//
// A delay shorter than the step puts a retarded time inside the step being taken. The step
// is then iterated on its own continuous extension: the first pass reads the retarded states
// from the previous step's extension carried on past its end, each following pass from the
// extension the pass before it built, until the new state changes by less than a thousandth
// of the tolerance. The alternative, capping the step at the shortest delay, would make the
// cost grow with c without bound; the iteration converges in two or three passes because
// the retarded state enters only through the pull, damped by h^2 G m / r^3.
//
// The history keeps only what the largest delay reaches back to, and a run whose history
// would outgrow kHistoryMemoryLimit stops with a problem instead of taking the machine.

#include <cstddef>
#include <optional>
#include <vector>

#include "core/physics/dense_history.h"
#include "core/physics/integration.h"

namespace gravlag {

inline constexpr std::size_t kHistoryMemoryLimit = std::size_t{256} << 20; // bytes, 256 MiB
inline constexpr int kMaxStepIterations = 12; // passes over a step holding a retarded time

class ReferenceIntegration final : public Integration {
public:
    // `system` valid (MakeIntegration checks it); tolerance relative, > 0; the history's
    // memory limit in bytes.
    ReferenceIntegration(const System& system, ForceLaw law, double tolerance,
                         std::size_t memoryLimit = kHistoryMemoryLimit);

    bool step(std::string& problem) override;
    double stepStart() const override { return tPrev_; }
    double time() const override { return t_; }
    void stateAt(double t, std::span<Body> bodies) const override;
    double delay(int target, int source, double t) const override;
    std::size_t bodies() const override { return n_; }
    std::size_t steps() const override { return steps_; }

    // The segments and bytes the history holds now (for the tests and benchmarks).
    std::size_t historySegments() const { return history_.size(); }
    std::size_t historyBytes() const { return history_.bytes(); }

private:
    // dy/dt of the whole state at time t under the law; retarded states from the history.
    void derivatives(double t, std::span<const double> y, std::span<double> dydt);
    // The same under the instantaneous Newtonian pull: the motion before t = 0.
    void newtonDerivatives(std::span<const double> y, std::span<double> dydt);
    Motion sourceAt(std::size_t j, double t);
    // One step of size h from (t_, y_) into work_ and trial_, iterated while a retarded
    // time falls inside it; false when the iteration does not settle.
    bool attempt(double h);
    double errorNorm(std::span<const double> y, const Dp5Work& w) const;
    // One more step of the past, backwards from the history's start.
    bool extendPast();
    void fail(std::string text);

    ForceLaw law_;
    double c_, tol_;
    std::size_t memoryLimit_; // bytes
    std::size_t n_;
    bool delayed_;
    std::vector<double> gm_;    // G m per body
    std::vector<double> scale_; // per component: the size below which errors count absolutely
    std::vector<double> y_;     // x, y, vx, vy per body at t_
    double t_ = 0, tPrev_ = 0;
    double tCarry_ = 0; // what the sum of the steps holds below t_'s last bit (compensated sum)
    double h_ = 0, hMax_ = 0; // next step to try; the largest step allowed
    std::size_t steps_ = 0;

    DenseHistory history_;
    std::vector<double> tau_; // per ordered pair (target * n + source): its last delay
    Dp5Work work_;
    DenseSegment trial_; // the step being taken, while it is iterated
    bool firstKnown_ = false; // work_.k[0] holds the derivatives at (t_, y_)
    bool readTrial_ = false, insideStep_ = false;

    // The past: the state at the history's start while it can still be extended backwards.
    bool pastOpen_ = false;
    std::vector<double> pastY_;
    double pastH_ = 0;
    Dp5Work pastWork_;

    // Scratch of the derivatives; the past's own, as it may be extended in the middle of them.
    std::vector<Motion> motions_, pastMotions_;
    std::vector<double> ax_, ay_, pastAx_, pastAy_;
    std::optional<std::string> fault_;
};

} // namespace gravlag
