// Types fuzzed texts into every input box of the panel on in-memory windows, clicks
// "Calculate" for a short run, and checks that the run ends soundly.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/number_text.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"

using namespace gravlag;

namespace {

const char* const kInputs[] = {"Tn_object", "Tmass(0)", "Tmass(1)", "Tmass(2)", "Dx1", "Dx2",
                               "Tvxbase", "Tvybase", "Tdt", "Tc", "Tpredsel", "Tmethode"};
// The boxes whose text the program writes itself (the others keep what was typed).
const char* const kWrittenBoxes[] = {"Titer1", "Tti1j0", "Tti2j0", "Tdt", "Tc",
                                     "Tcolor", "TPred", "Ta", "Tb"};

bool Finite(const std::array<double, 3>& a)
{
    return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Fields separated by newlines: one per input box, then flags for the selectors.
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size && fields.size() <= std::size(kInputs) + 1; ++i) {
        if (data[i] == '\n')
            fields.emplace_back();
        else
            fields.back().push_back(static_cast<char>(data[i]));
    }
    ui::HeadlessServices services;
    Program program(services);
    const std::string flags = fields.size() > std::size(kInputs) ? fields[std::size(kInputs)] : "";
    for (char f : flags) {
        switch (f & 7) {
        case 0: services.textBox("Tmethode")->click(); break;
        case 1: services.textBox("Tc")->click(); break;
        case 2: services.textBox("Tn_object")->click(); break;
        case 3: services.textBox("Tpredsel")->click(); break;
        case 4: services.textBox("Tcolor")->click(); break;
        default: break;
        }
    }
    for (std::size_t i = 0; i < fields.size() && i < std::size(kInputs); ++i)
        services.textBox(kInputs[i])->type(fields[i]);
    // Short runs only: at most a few thousand passes.
    services.textBox("Titer")->type(std::to_string(size * 7 % 3000));
    services.button("CommandCalc")->click();

    const RunResult& r = *program.form1().lastRun();
    if ((r.ended == RunEnd::Fault || r.ended == RunEnd::Refused) && r.message.empty())
        std::abort();
    const SimState& s = program.state();
    if (!Finite(s.x) || !Finite(s.y) || !Finite(s.vx) || !Finite(s.vy))
        std::abort();
    for (const char* name : kWrittenBoxes) {
        const std::string t = services.textBox(name)->text();
        if (t.find("inf") != std::string::npos || t.find("nan") != std::string::npos
            || t.find("Inf") != std::string::npos || t.find("NaN") != std::string::npos)
            std::abort();
    }
    return 0;
}
