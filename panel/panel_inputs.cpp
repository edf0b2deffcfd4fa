#include "panel/panel_inputs.h"

#include <algorithm>
#include <iterator>

#include "panel/form1.h"

namespace gravlag {

namespace {

constexpr std::size_t kInputCount = 12;

constexpr PanelInput kBoxes[] = {
    {"Tn_object", "bodies", "n object", true, nullptr, [](Form1& f) -> ui::TextBox& { return f.Tn_object; }},
    {"Tmass(0)", "mass1", "Mass 1", false, "mass", [](Form1& f) -> ui::TextBox& { return f.Tmass[0]; }},
    {"Tmass(1)", "mass2", "Mass 2", false, "mass", [](Form1& f) -> ui::TextBox& { return f.Tmass[1]; }},
    {"Tmass(2)", "mass3", "Mass 3", false, "mass", [](Form1& f) -> ui::TextBox& { return f.Tmass[2]; }},
    {"Dx1", "r2", "r  m(2)", false, "length", [](Form1& f) -> ui::TextBox& { return f.Dx1; }},
    {"Dx2", "r3", "r  m(3)", false, "length", [](Form1& f) -> ui::TextBox& { return f.Dx2; }},
    {"Tvxbase", "vx-base", "vx base", false, "length/time", [](Form1& f) -> ui::TextBox& { return f.Tvxbase; }},
    {"Tvybase", "vy-base", "vy base", false, "length/time", [](Form1& f) -> ui::TextBox& { return f.Tvybase; }},
    {"Titer", "iterations", "Iteration", true, "passes", [](Form1& f) -> ui::TextBox& { return f.Titer; }},
    {"Tdt", "dt", "dt", false, "time", [](Form1& f) -> ui::TextBox& { return f.Tdt; }},
    {"Tc", "c", "c", false, "length/time", [](Form1& f) -> ui::TextBox& { return f.Tc; }},
    {"Tpredsel", "prediction", "Prediction", true, nullptr, [](Form1& f) -> ui::TextBox& { return f.Tpredsel; }},
    {"Tmethode", nullptr, "Choice", false, nullptr, [](Form1& f) -> ui::TextBox& { return f.Tmethode; }},
    {"Titer1", nullptr, "Active", false, nullptr, [](Form1& f) -> ui::TextBox& { return f.Titer1; }},
    {"Tti1j0", nullptr, "t 21", false, nullptr, [](Form1& f) -> ui::TextBox& { return f.Tti1j0; }},
    {"Tti2j0", nullptr, "t 31", false, nullptr, [](Form1& f) -> ui::TextBox& { return f.Tti2j0; }},
};

static_assert(std::size(kBoxes) == 16);

template <typename Match>
const PanelInput* Find(std::span<const PanelInput> entries, Match match)
{
    const auto it = std::find_if(entries.begin(), entries.end(), match);
    return it == entries.end() ? nullptr : &*it;
}

} // namespace

std::span<const PanelInput> PanelInputs() { return std::span(kBoxes).first(kInputCount); }

std::span<const PanelInput> PanelBoxes() { return kBoxes; }

const PanelInput* FindPanelInputByBox(std::string_view box)
{
    return Find(PanelInputs(), [box](const PanelInput& p) { return box == p.box; });
}

const PanelInput* FindPanelInputByOption(std::string_view option)
{
    return Find(PanelInputs(), [option](const PanelInput& p) { return option == p.option; });
}

const PanelInput* FindPanelInputByName(std::string_view name)
{
    const PanelInput* input = FindPanelInputByOption(name);
    return input ? input : FindPanelInputByBox(name);
}

const PanelInput* FindPanelBox(std::string_view box)
{
    return Find(PanelBoxes(), [box](const PanelInput& p) { return box == p.box; });
}

} // namespace gravlag
