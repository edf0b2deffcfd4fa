#pragma once
// The panel's semi-implicit Euler for any number of bodies and any force law: per step,
// every acceleration from the state at the step's start, then v = v + dt a and x = x + dt v
// with the new v. Where a target sees a source is found as the panel finds it: by the
// source's current velocity ("Prediction" 0: x_j - v_j tau, tau = |x_i - x_j| / c) or by
// the 20-step position history (1: the pass's lookup rules, core/retardation.h), the
// retarded velocity being then the current one or the history's slope. Under `retarded`
// with up to three bodies a step is the pass's arithmetic, operation for operation, so a
// run repeats the panel's to the last bit; the panel's own runs keep their own loops.

#include <vector>

#include "core/physics/force_law.h"
#include "core/physics/integration.h"
#include "core/retardation.h"

namespace gravlag {

class EulerIntegration final : public Integration {
public:
    // `system` valid (MakeIntegration checks it), dt > 0.
    EulerIntegration(const System& system, ForceLaw law, double dt, RetardationMethod method);

    bool step(std::string& problem) override;
    double stepStart() const override { return time_ - dt_; }
    double time() const override { return time_; }
    void stateAt(double t, std::span<Body> bodies) const override;
    double delay(int target, int source, double t) const override;
    std::size_t bodies() const override { return now_.size(); }
    std::size_t steps() const override { return steps_; }

private:
    SeenSource seenByVelocity(std::size_t i, std::size_t j) const;
    SeenSource seenInHistory(std::size_t i, std::size_t j);
    // Entry h (0..20, h steps back) of body j's position history.
    double historyX(std::size_t j, int h) const { return xHist_[j * kHistoryEntries + slot(h)]; }
    double historyY(std::size_t j, int h) const { return yHist_[j * kHistoryEntries + slot(h)]; }
    std::size_t slot(int h) const
    {
        return (head_ + static_cast<std::size_t>(h)) % static_cast<std::size_t>(kHistoryEntries);
    }

    ForceLaw law_;
    RetardationMethod method_;
    double c_, dt_;
    double time_ = 0;
    std::size_t steps_ = 0;
    std::vector<double> gm_;   // G m per body
    std::vector<Motion> now_;  // the state at time_
    std::vector<double> ax_, ay_;
    std::vector<double> tau_;  // per ordered pair (target * n + source): the last step's delay
    bool lookupFailed_ = false;
    // The position histories as rings of kHistoryEntries per body; head_ is entry 0.
    std::vector<double> xHist_, yHist_;
    std::size_t head_ = 0;
};

} // namespace gravlag
