#pragma once
// The physics of a run apart from how it is stepped: a typed system of point masses (G = 1,
// kGConst), the force law that says what pull a body feels from another, and the integrator
// that advances the state. Names are those of the command line, the JSON "model" and Python.

#include <optional>
#include <string_view>
#include <vector>

namespace gravlag {

struct Body {
    double m = 0;          // mass units, > 0
    double x = 0, y = 0;   // position, length units
    double vx = 0, vy = 0; // velocity, length per time unit
};

struct System {
    double c = 0; // propagation speed, length per time unit; 0: the pull is instantaneous
    std::vector<Body> bodies;
};

// What pull body i feels from body j.
enum class ForceLaw {
    Retarded,       // "retarded": from where j was a signal-travel time ago (the default)
    Instantaneous,  // "instantaneous": from where j is now, whatever c
    AberrationFree, // "aberration-free": from j's retarded position carried on along its
                    // retarded velocity for the delay, x_j(t - tau) + tau v_j(t - tau)
    PostNewtonian1, // "1pn": Einstein-Infeld-Hoffmann, instantaneous, first order in 1/c^2
};

// How the state is advanced.
enum class Integrator {
    Euler,     // "euler": the panel's semi-implicit Euler, retarded positions by "Prediction"
    Reference, // "reference": adaptive high-order steps of the true delay equations
};

inline constexpr double kDefaultTolerance = 1e-12; // relative, the reference integrator's

struct Model {
    Integrator integrator = Integrator::Euler;
    ForceLaw forceLaw = ForceLaw::Retarded;
    double tolerance = kDefaultTolerance; // used by Integrator::Reference only
    bool operator==(const Model&) const = default;
};

std::string_view ForceLawName(ForceLaw law);         // "retarded", "instantaneous", ...
std::optional<ForceLaw> ForceLawNamed(std::string_view name); // exact names only
std::string_view IntegratorName(Integrator integrator); // "euler", "reference"
std::optional<Integrator> IntegratorNamed(std::string_view name);

// What every report says of the time before t = 0 under the reference integrator.
inline constexpr std::string_view kReferencePast =
    "before t = 0 the bodies follow the instantaneous Newtonian motion of the start state, "
    "integrated backwards";

} // namespace gravlag
