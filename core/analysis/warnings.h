#pragma once
// What a reader of a run's figures must know before trusting them, as values: a kind, to
// test and act on, and the one sentence that says it, made here and nowhere else.

#include <string>
#include <vector>

namespace gravlag {

struct RunReport;

enum class WarningKind {
    EnergyNotConserved, // instantaneous forces, and the energy drifted beyond kEnergyDriftLimit
    DelayBeyondHistory, // passes looked a source up 20 steps back or more
    FewOrbits,          // fewer than 3 orbits: rates from start and end, without errors
    Unbound,            // e >= 1 at the start or the end
};

struct Warning {
    WarningKind kind;
    std::string text; // a plain sentence, no line feed
};

// Relative energy drift beyond which a run with instantaneous forces is not trusted: those
// forces conserve the energy, so the drift is the integrator's error.
inline constexpr double kEnergyDriftLimit = 1e-3;

// The warnings of a finished report, in the order of the kinds above. `instantaneous`: the
// forces of the run act without delay (c 0), so that its energy should be conserved.
std::vector<Warning> RunWarnings(const RunReport& report, bool instantaneous);

} // namespace gravlag
