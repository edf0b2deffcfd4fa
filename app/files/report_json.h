#pragma once
// A run's analysis and its budget as the JSON objects "analysis" and "budget" of the batch
// runner's report and of the desktop program's saved report. Every number is finite or
// null; angles in degrees, lengths in the units of the separations, times in those of dt.

#include <nlohmann/json.hpp>

#include "core/analysis/budget.h"
#include "core/analysis/run_report.h"
#include "core/physics/model.h"

namespace gravlag {

// {"orbits", "elements", "precession", "energy", "angularMomentum", "momentum", "delay",
// "theory"}; "theory" is null where no formula applies.
nlohmann::json AnalysisJson(const RunReport& report);

// The model a run was made with: {"integrator", "forceLaw", "tolerance", "past"}; the
// tolerance and the past (what the bodies did before t = 0) are null under euler, which has
// neither. And the same in one line of text.
nlohmann::json ModelJson(const Model& model);
std::string ModelText(const Model& model);

// {"quantity": "precession" or "daPerOrbit", "integrator", "perturber", "delay",
// "delayTwoBodies", "total" (each {"value", "stdError"}), "theory"}: beside the precession
// perturberPrecessionPerOrbit, delayDvarpiPerOrbit and grPrecessionPerOrbit, beside
// daPerOrbit delayDaPerOrbit; each null where it does not apply.
nlohmann::json BudgetJson(const Budget& budget);

} // namespace gravlag
