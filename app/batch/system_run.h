#pragma once
// A run of a person's own system (--system): no panel, no scenario; the model's integration
// stepped from the file's state to --duration.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/batch/batch_options.h"
#include "core/physics/model.h"
#include "core/retardation.h"

namespace gravlag {

struct SystemRun {
    System system;
    double duration = 0; // time units, >= 0
    double dt = 0.001;   // the euler step, and the interval the samples count in
    RetardationMethod method = RetardationMethod::VelocityEstimate; // euler's "Prediction"
    std::size_t first = 0, second = 1; // --report: the pair, `second` about `first`, from 0
};

// Prints the result as the batch runner does (one JSON object with --json) and returns the
// exit status. --trajectory-csv rows k, t, body, x, y, vx, vy every options.every (default
// 100) steps of dt, body numbered from 1. With options.report, "pair" and "analysis" as the
// panel's runs have it, of the pair's orbit (system_report.h).
int RunSystem(const SystemRun& run, const BatchOptions& options, std::ostream& out,
              std::ostream& err);

} // namespace gravlag
