#pragma once
// What stops a pass: the check that failed, with the bodies it concerns (0..2).

#include <string>

namespace gravlag {

enum class PassFaultKind {
    NoHistoryEntry,   // the lookup's delay lies after entry 0 of the source's history
    DelayOverflow,    // a shown delay in whole steps is not finite
    Coincide,         // target and (retarded) source at one place: a division by zero
    ForceOverflow,    // a force term or sum is not finite
    MotionOverflow,   // a new velocity or position is not finite
    DistanceOverflow, // the new distance of bodies 0 and 1 is not finite
};

struct PassFault {
    PassFaultKind kind;
    int target = 0, source = 0;
};

// The fault in one line, the bodies numbered as the panel numbers them (1..3); `delayed`
// (c > 0) says whether the source's position was a retarded one.
std::string PassFaultText(const PassFault& fault, bool delayed);

} // namespace gravlag
