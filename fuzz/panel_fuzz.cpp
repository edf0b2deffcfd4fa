// Types fuzzed texts into every input box of the panel on in-memory windows, clicks
// "Calculate" for a short run, and checks that the run ends soundly.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/number_text.h"
#include "panel/panel_inputs.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"

using namespace gravlag;

namespace {

// The boxes typed into, one field each: the panel's inputs but "Iteration" (kept short
// below), then "Choice".
std::vector<ui::TextBox*> TypedBoxes(Form1& form1)
{
    std::vector<ui::TextBox*> boxes;
    for (const PanelInput& input : PanelInputs())
        if (&input.control(form1) != &form1.Titer)
            boxes.push_back(&input.control(form1));
    boxes.push_back(&form1.Tmethode);
    return boxes;
}

bool Finite(const std::array<double, 3>& a)
{
    return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Fields separated by newlines: one per input box, then flags for the selectors.
    ui::HeadlessServices services;
    Program program(services);
    Form1& form1 = program.form1();
    TimeEvolutionDisplay& form3 = program.form3();
    const std::vector<ui::TextBox*> typed = TypedBoxes(form1);
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size && fields.size() <= typed.size() + 1; ++i) {
        if (data[i] == '\n')
            fields.emplace_back();
        else
            fields.back().push_back(static_cast<char>(data[i]));
    }
    const std::string flags = fields.size() > typed.size() ? fields[typed.size()] : "";
    for (char f : flags) {
        switch (f & 7) {
        case 0: ui::Headless(form1.Tmethode).click(); break;
        case 1: ui::Headless(form1.Tc).click(); break;
        case 2: ui::Headless(form1.Tn_object).click(); break;
        case 3: ui::Headless(form1.Tpredsel).click(); break;
        case 4: ui::Headless(form3.Tcolor).click(); break;
        default: break;
        }
    }
    for (std::size_t i = 0; i < fields.size() && i < typed.size(); ++i)
        ui::Headless(*typed[i]).type(fields[i]);
    // Short runs only: at most a few thousand passes.
    ui::Headless(form1.Titer).type(std::to_string(size * 7 % 3000));
    ui::Headless(form1.CommandCalc).click();

    const RunResult& r = *program.form1().lastRun();
    if ((r.ended == RunEnd::Fault || r.ended == RunEnd::Refused) && r.message.empty())
        std::abort();
    const SimState& s = program.state();
    if (!Finite(s.x) || !Finite(s.y) || !Finite(s.vx) || !Finite(s.vy))
        std::abort();
    // The boxes whose text the program writes itself (the others keep what was typed).
    for (const ui::TextBox* box : {&form1.Titer1, &form1.Tti1j0, &form1.Tti2j0, &form1.Tdt,
                                   &form1.Tc, &form3.Tcolor, &form3.TPred, &form3.Ta, &form3.Tb}) {
        const std::string t = box->text();
        if (t.find("inf") != std::string::npos || t.find("nan") != std::string::npos
            || t.find("Inf") != std::string::npos || t.find("NaN") != std::string::npos)
            std::abort();
    }
    return 0;
}
