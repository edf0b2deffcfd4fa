#pragma once
// The text boxes of "Control Display" as the world outside the program names them: the one
// table through which parameter files, the batch runner's options, the fuzz targets and the
// tests reach a box by its name ("--mass1" types into "Tmass(0)", and so on). The program
// itself holds its controls as Form1's members.

#include <span>
#include <string_view>

namespace gravlag {

class Form1;
namespace ui {
class TextBox;
}

struct PanelInput {
    const char* box;    // control name, e.g. "Tmass(0)"; its key in a parameter file
    const char* option; // batch runner option without dashes, e.g. "mass1"; none (nullptr)
                        // for the boxes that neither a file nor an option sets
    const char* label;  // the label beside the box, e.g. "Mass 1"
    bool regional;      // the run reads it strictly in the user's regional format
    const char* unit;   // of the number the run reads from it ("length/time"; G = 1, so any
                        // consistent units); none (nullptr) for a count or a choice
    ui::TextBox& (*control)(Form1& form1); // the box itself
};

// The twelve boxes that a parameter file and the batch runner's options set, in panel order.
std::span<const PanelInput> PanelInputs();
// All sixteen: the twelve, then "Choice" (switched by clicking, which parameter files call
// "scenario") and the three that a run writes: "Active", "t 21", "t 31".
std::span<const PanelInput> PanelBoxes();

const PanelInput* FindPanelInputByBox(std::string_view box); // one of the twelve
const PanelInput* FindPanelInputByOption(std::string_view option);
// By option name ("c") or, failing that, by box name ("Tc"): the names a parameter file takes.
const PanelInput* FindPanelInputByName(std::string_view name);
const PanelInput* FindPanelBox(std::string_view box); // one of the sixteen

} // namespace gravlag
