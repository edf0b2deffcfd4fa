#include "app/web/warm_up.h"

#include <string_view>

#include "core/number_text.h"

namespace gravlag {

namespace {

// As the person's input reaches a control on the page.
void Click(ui::TextBox& box) { dynamic_cast<ui::WebTextBox&>(box).click(); }
void Click(ui::Button& button) { dynamic_cast<ui::WebButton&>(button).click(); }
void Type(ui::TextBox& box, std::string_view text) { dynamic_cast<ui::WebTextBox&>(box).type(text); }

} // namespace

WarmUp::WarmUp() = default;

void WarmUp::run(Loop loop, std::int64_t passes)
{
    Form1& form1 = program_.form1();
    const bool mercury = loop == Loop::Mercury;
    if ((form1.Tmethode.text() == "Mercury") != mercury)
        Click(form1.Tmethode); // the scenario and its parameters, as "Choice"
    Type(form1.Tc, loop == Loop::Delayed ? "300" : "0");
    Type(form1.Titer, RegionalNumberText(static_cast<long long>(passes)));
    Click(form1.CommandCalc);
}

} // namespace gravlag
