#pragma once
// The one place an integration is chosen: the model's integrator under its force law, or a
// refusal saying why the system or the model cannot be run.

#include <memory>
#include <string>

#include "core/physics/integration.h"
#include "core/retardation.h"

namespace gravlag {

inline constexpr std::size_t kMaxBodies = 64;
inline constexpr double kMinTolerance = 1e-14; // below it rounding, not the steps, decides
inline constexpr double kMaxTolerance = 1e-2;

// The system and model checked: 1 to kMaxBodies bodies, masses > 0, every number finite,
// c >= 0, and not `1pn` at c 0. Empty when sound, else one line saying what is wrong.
std::string SystemProblem(const System& system, const Model& model);

// Null with `problem` set when refused. `dt` is the euler scheme's step (> 0) and
// `method` its way to retarded positions; the reference integrator chooses its own steps
// to model.tolerance and ignores both.
std::unique_ptr<Integration> MakeIntegration(const System& system, const Model& model, double dt,
                                             RetardationMethod method, std::string& problem);

} // namespace gravlag
