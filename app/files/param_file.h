#pragma once
// Parameter files: the texts of the panel's input boxes as one JSON object keyed by control
// name ("Tc") or by the batch runner's option name ("c"), plus "scenario" ("2 BH's" or "Mercury"). Applying one types the texts into the boxes
// as a person would, after clicking "Choice" until it shows the scenario.
//
// A box may also be given a JSON number: it stands for the shortest text that the box reads
// back as the same double, so {"Tc": 50000} makes the run {"Tc": "50000"} makes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/files/strict_input.h"
#include "core/number_text.h"
#include "core/physics/model.h"

namespace gravlag {

class Form1;
struct PanelInput;

struct ParamFile {
    std::optional<std::string> scenario;                   // none: leave the panel's
    std::vector<std::pair<std::string, std::string>> boxes; // control name, text; panel order
    // The model, each part where the file gives it ("integrator", "forceLaw", "tolerance").
    std::optional<Integrator> integrator = std::nullopt;
    std::optional<ForceLaw> forceLaw = std::nullopt;
    std::optional<double> tolerance = std::nullopt; // relative, finite and > 0
    friend bool operator==(const ParamFile&, const ParamFile&) = default;
};

inline constexpr std::size_t kMaxParamFileBytes = 1024 * 1024;

// The file's contents, or no value and `problem` naming what is wrong (broken JSON and
// where, text after the object, a NUL byte, a key given twice, an unknown key, a value that
// is neither a string nor a number, a number beyond a double, an unknown scenario). The
// parser refuses text that is not UTF-8. The scenario is taken as ScenarioNamed takes it and
// kept as "Choice" shows it. A number is written as ExactText writes it, with `format`'s
// decimal separator for a box the run reads in the user's format ("n object", "Iteration",
// "Prediction"): the text that box reads back as the same number. "integrator" and
// "forceLaw" are strings naming one exactly; "tolerance" a finite JSON number > 0. A box's
// key may be its control name or its option name, not both; either way the file holds it
// by control name. Under TextReading::Strict a box's text that StrictInputProblem refuses
// is refused, naming the key.
std::optional<ParamFile> ParseParamFile(std::string_view text, const RegionalFormat& format,
                                        TextReading reading, std::string& problem);
// A number as a person would type it into `input`'s box: TypedNumberText, with `format`'s
// decimal separator in a box the run reads in the user's format. It reads back as `number`.
std::string BoxTextOfNumber(double number, const PanelInput& input, const RegionalFormat& format);
// The same for a file, which must be a regular file of at most kMaxParamFileBytes: a folder,
// a FIFO or a device is refused by what it is, before anything is read, so nothing blocks.
std::optional<ParamFile> LoadParamFile(const std::string& path, const RegionalFormat& format,
                                       TextReading reading, std::string& problem);

// Pretty-printed JSON, "scenario" first, then the boxes in panel order. Bytes of a box text
// that are not UTF-8 cannot stand in JSON and are written as U+FFFD.
std::string ParamFileText(const ParamFile& file);

// Not during a run: "Choice" resets boxes, which the run reads only at its start anyway. The
// parts of the model the file gives replace the panel's.
void ApplyParamFile(const ParamFile& file, Form1& form1);
ParamFile CollectParamFile(Form1& form1);

} // namespace gravlag
