#include "core/pass_fault.h"

namespace gravlag {

namespace {

std::string BodyName(int i) { return "body " + std::to_string(i + 1); }

} // namespace

std::string PassFaultText(const PassFault& f, bool delayed)
{
    const std::string target = BodyName(f.target), source = BodyName(f.source);
    switch (f.kind) {
    case PassFaultKind::NoHistoryEntry:
        return "the history lookup of " + source + " as seen from " + target
            + " has no entry for its delay";
    case PassFaultKind::DelayOverflow:
        return "overflow: the delay of " + target + " from " + source
            + " in time steps is beyond range (c too small for dt)";
    case PassFaultKind::Coincide:
        return "division by zero: " + target + " and the " + (delayed ? "retarded " : "")
            + "position of " + source + " coincide";
    case PassFaultKind::ForceOverflow:
        return "overflow in the force on " + target + " from " + source;
    case PassFaultKind::MotionOverflow: return "overflow in the motion of " + target;
    case PassFaultKind::DistanceOverflow: return "overflow in the distance of body 1 and body 2";
    }
    return "overflow in the motion of " + target;
}

} // namespace gravlag
