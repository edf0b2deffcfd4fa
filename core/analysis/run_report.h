#pragma once
// What the analysis of one run reports: plain values, each finite or absent. Units: G = 1,
// lengths and times those of the panel, angles in degrees, "per orbit" per orbit of body
// index 1 about body index 0 as run_analysis.h counts them.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/analysis/convergence.h"
#include "core/analysis/orbit_elements.h"
#include "core/analysis/theory.h"
#include "core/analysis/warnings.h"
#include "core/run.h" // DelayStats, measured in the main loop

namespace gravlag {

struct OrbitTally {
    std::int64_t count = 0; // orbits completed
    double t = 0;           // elapsed time, passes * dt
};

struct ElementRates {
    std::optional<double> daPerOrbit;     // length units per orbit
    std::optional<double> dePerOrbit;     // per orbit
    std::optional<double> dvarpiPerOrbit; // degrees per orbit
    // Standard errors of the three slopes from their residuals, in the same units; from 3
    // orbits on (none with the start/end fallback).
    struct StdErrors {
        std::optional<double> daPerOrbit, dePerOrbit, dvarpiPerOrbit;
    } stdError;
    // Toward dt -> 0, where the run was also made at dt/2 and dt/4 (converged_report.h).
    struct Convergences {
        Convergence daPerOrbit, dePerOrbit, dvarpiPerOrbit;
    };
    std::optional<Convergences> convergence;
};

struct ElementsReport {
    OrbitElements start, end;
    ElementRates rates;
};

struct PrecessionReport {
    std::optional<double> perOrbit; // slope of the run's apsis line fit, degrees per event; from 2 events
    std::optional<double> stdError; // its standard error from the fit residuals; from 3 events
    std::int64_t events = 0;        // apsis events of the run
    std::optional<Convergence> convergence; // of perOrbit, as ElementRates::convergence
};

struct DriftReport {
    std::optional<double> start, end;
    std::optional<double> relChange; // (end - start) / |start|; absent for start 0
};

struct MomentumReport {
    std::optional<double> start, end; // magnitudes
    std::optional<double> change;     // end - start
};

struct RunReport {
    Scenario scenario = Scenario::TwoBlackHoles; // as the run began: what an orbit is
    OrbitTally orbits;
    ElementsReport elements;
    PrecessionReport precession;
    DriftReport energy, angularMomentum;
    MomentumReport momentum;
    std::optional<DelayStats> delay; // absent where the main loop kept no record
    std::optional<TheoryValues> theory;
    std::vector<Warning> warnings; // what the figures above cannot be trusted for, if anything
};

} // namespace gravlag
