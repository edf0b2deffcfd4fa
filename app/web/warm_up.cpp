#include "app/web/warm_up.h"

#include "core/number_text.h"

namespace gravlag {

WarmUp::WarmUp() = default;

void WarmUp::run(Loop loop, std::int64_t passes)
{
    Form1& form1 = program_.form1();
    const bool mercury = loop == Loop::Mercury;
    if ((form1.Tmethode.text() == "Mercury") != mercury)
        ui::Headless(form1.Tmethode).click(); // the scenario and its parameters, as "Choice"
    ui::Headless(form1.Tc).type(loop == Loop::Delayed ? "300" : "0");
    ui::Headless(form1.Titer).type(RegionalNumberText(static_cast<long long>(passes)));
    ui::Headless(form1.CommandCalc).click();
}

} // namespace gravlag
