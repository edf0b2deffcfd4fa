#include "app/files/panel_inputs.h"

#include <algorithm>
#include <iterator>

namespace gravlag {

namespace {

// "Choice" is not here: it is switched by clicking, which parameter files call "scenario".
// "Active", "t 21" and "t 31" are written by the run.
constexpr PanelInput kInputs[] = {
    {"Tn_object", "bodies", "n object", true},   {"Tmass(0)", "mass1", "Mass 1", false},
    {"Tmass(1)", "mass2", "Mass 2", false},      {"Tmass(2)", "mass3", "Mass 3", false},
    {"Dx1", "r2", "r  m(2)", false},             {"Dx2", "r3", "r  m(3)", false},
    {"Tvxbase", "vx-base", "vx base", false},    {"Tvybase", "vy-base", "vy base", false},
    {"Titer", "iterations", "Iteration", true},  {"Tdt", "dt", "dt", false},
    {"Tc", "c", "c", false},                     {"Tpredsel", "prediction", "Prediction", true},
};

} // namespace

std::span<const PanelInput> PanelInputs() { return kInputs; }

const PanelInput* FindPanelInputByBox(std::string_view box)
{
    const auto it = std::find_if(std::begin(kInputs), std::end(kInputs),
                                 [box](const PanelInput& p) { return box == p.box; });
    return it == std::end(kInputs) ? nullptr : &*it;
}

const PanelInput* FindPanelInputByOption(std::string_view option)
{
    const auto it = std::find_if(std::begin(kInputs), std::end(kInputs),
                                 [option](const PanelInput& p) { return option == p.option; });
    return it == std::end(kInputs) ? nullptr : &*it;
}

} // namespace gravlag
