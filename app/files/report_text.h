#pragma once
// The analysis and the budget of a run as readable text, from their JSON objects
// (report_json.h), so that the text shows what the JSON holds: the batch runner's text
// summary and the desktop program's "Run report…" window. Numbers to 7 significant digits
// (standard errors to 2), "none" where the JSON has null.

#include <string>

#include <nlohmann/json.hpp>

#include "core/sim_state.h"

namespace gravlag {

// Lines ending in a line feed. `scenario` as the run began: what its orbits are; the pair
// whose orbit it is, bodies numbered from 1.
std::string AnalysisText(const nlohmann::json& analysis, Scenario scenario, int first = 1, int second = 2);
std::string BudgetText(const nlohmann::json& budget);

} // namespace gravlag
