#pragma once
// The report's "inputs": the numbers a run read from the panel's boxes, by the batch
// runner's option names, with their units, beside the boxes' texts ("boxes").

#include <nlohmann/json.hpp>

#include "core/number_text.h"
#include "core/sim_state.h"

namespace gravlag {

class Form1;

// {"c": {"value": 5000.0, "unit": "length/time"}, "bodies": {"value": 3.0, "unit": null}, ...}:
// one member per box a run reads. c, dt, r2 and r3 as "Calculate" stored them in `state`
// (dt 0 already taken for 0.001); the others as the run reads their boxes' texts now, null
// where such a text is no number ("n object", "Iteration", "Prediction" in `format`). The
// unit is null for a count or a choice ("bodies", "prediction"); G = 1 throughout.
nlohmann::json InputsJson(Form1& form1, const SimState& state, const RegionalFormat& format);

} // namespace gravlag
