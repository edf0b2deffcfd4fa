#pragma once
// The panel's input boxes in panel order: what a parameter file may set and what the batch
// runner has an option for ("--mass1" types into "Tmass(0)", and so on).

#include <span>
#include <string_view>

namespace gravlag {

struct PanelInput {
    const char* box;    // control name, e.g. "Tmass(0)"
    const char* option; // batch runner option without dashes, e.g. "mass1"
    const char* label;  // the label beside the box, e.g. "Mass 1"
    bool regional;      // the run reads it strictly in the user's regional format
};

std::span<const PanelInput> PanelInputs();
const PanelInput* FindPanelInputByBox(std::string_view box);
const PanelInput* FindPanelInputByOption(std::string_view option);

} // namespace gravlag
