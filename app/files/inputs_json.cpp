#include "app/files/inputs_json.h"

#include <optional>
#include <string_view>

#include "panel/form1.h"
#include "panel/panel_inputs.h"

namespace gravlag {

nlohmann::json InputsJson(Form1& form1, const SimState& state, const RegionalFormat& format)
{
    nlohmann::json inputs = nlohmann::json::object();
    for (const PanelInput& input : PanelInputs()) {
        const std::string_view option = input.option;
        const std::string text = input.control(form1).text();
        std::optional<double> value;
        // Read as the run reads them (panel/form1.cpp, panel/run_box_reader.cpp).
        if (option == "c")
            value = state.c;
        else if (option == "dt")
            value = state.dt;
        else if (option == "r2")
            value = state.dx1;
        else if (option == "r3")
            value = state.dx2;
        else if (input.regional)
            value = RegionalNumberValue(text, format);
        else
            value = ParseLeadingNumber(NormalizeDecimalText(text));
        inputs[input.option] = {{"value", value ? nlohmann::json(*value) : nlohmann::json(nullptr)},
                                {"unit", input.unit ? nlohmann::json(input.unit) : nlohmann::json(nullptr)}};
    }
    return inputs;
}

} // namespace gravlag
