#include "app/files/strict_input.h"

#include <cmath>
#include <optional>

#include "panel/panel_inputs.h"

namespace gravlag {

std::string StrictInputProblem(const PanelInput& input, std::string_view text,
                               const RegionalFormat& format)
{
    const std::string quoted = "\"" + std::string(text) + "\"";
    if (text.empty())
        return "the text is empty: a number is needed";
    // The user's format for the boxes the run reads in it; elsewhere the point, with no
    // comma: the panel reads "1,5" as 1.5 in some boxes and as 1 in "c", and "50,000" is
    // as likely a thousands separator as a decimal comma.
    const std::optional<double> value =
        RegionalNumberValue(text, input.regional ? format : RegionalFormat{"."});
    if (!value)
        return quoted + " is not a number"
            + (input.regional ? std::string()
                              : std::string(" (digits, a point and an exponent only, as 5e4)"));
    const std::string_view option = input.option;
    if (option == "bodies" && !(*value == 2 || *value == 3))
        return "must be 2 or 3 bodies, not " + quoted;
    if (option == "prediction" && !(*value == 0 || *value == 1))
        return "must be 0 (velocity estimate) or 1 (position history), not " + quoted;
    if (option == "dt" && *value == 0)
        return "must not be 0, which the panel takes for 0.001: " + quoted;
    if (option == "iterations" && !(*value >= 0 && std::trunc(*value) == *value))
        return "must be a whole number of passes, 0 or more, not " + quoted;
    return {};
}

} // namespace gravlag
