#pragma once
// A group of SIMD lanes computing the passes of runs that share one main loop (LaneKey),
// each lane bit for bit the run's own pass: IEEE add, multiply, divide and square root
// round each lane as the scalar instructions round one double, nothing is fused, floor is
// a rounding instruction, and the lanes take the pass's formulas in the pass's order
// (core/pass.h). Chosen at run time: 8 lanes on AVX-512, 4 on AVX2; none elsewhere.

#include <memory>

#include "core/lane_run.h"

namespace gravlag {

class LaneGroup {
public:
    virtual ~LaneGroup() = default;
    static constexpr int kMaxWidth = 8; // no group has more lanes (its slots are arrays)
    // The lanes this processor computes at once at most: 8, 4, or 1 (no lanes).
    static int WidestLanes();
    // A group of `width` lanes (4 or 8) for runs of `key`; none when the processor has no
    // such lanes.
    static std::unique_ptr<LaneGroup> Make(const LaneKey& key, int width);

    virtual int width() const = 0;
    LaneRun* lane(int slot) const { return runs_[slot]; } // none: the slot is free
    // Takes `run` (of this group's key) into the free `slot`, from its pass run.k.
    virtual void load(int slot, LaneRun& run) = 0;
    // Computes passes of every loaded lane until at least one is handed back (its run written
    // back as LaneDriver::advance says, its slot free again); returns their slots' bits.
    // With no lane loaded, returns 0 at once.
    virtual unsigned run() = 0;
    // Hands back every loaded lane as it stands, its next pass not computed (as at a failed
    // check); returns their slots' bits.
    virtual unsigned release() = 0;

protected:
    LaneRun* runs_[kMaxWidth] = {};
};

} // namespace gravlag
