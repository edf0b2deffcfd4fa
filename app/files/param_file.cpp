#include "app/files/param_file.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "app/files/exact_text.h"
#include "app/files/scenario_name.h"
#include "app/files/small_file.h"
#include "panel/panel_inputs.h"
#include "panel/form1.h"

namespace gravlag {

namespace {

std::size_t PanelPosition(const std::string& box)
{
    return static_cast<std::size_t>(FindPanelInputByBox(box) - PanelInputs().data());
}

// nlohmann's message without its "[json.exception.parse_error.101] " tag; a parse error's
// names the line and column.
std::string ParseMessage(const nlohmann::json::exception& e)
{
    const std::string what = e.what();
    const std::size_t tag = what.find("] ");
    return tag == std::string::npos ? what : what.substr(tag + 2);
}

} // namespace

std::string BoxTextOfNumber(double number, const PanelInput& input, const RegionalFormat& format)
{
    std::string text = TypedNumberText(number);
    if (const std::size_t point = text.find('.'); input.regional && point != std::string::npos)
        text.replace(point, 1, format.decimalSeparator);
    return text;
}

std::optional<ParamFile> ParseParamFile(std::string_view text, const RegionalFormat& format,
                                        TextReading reading, std::string& problem)
{
    // The parser would stop at a NUL byte and take the object before it as the whole file.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        problem = "a NUL byte at byte " + std::to_string(nul + 1) + ": nothing may follow the JSON object";
        return std::nullopt;
    }
    // The parser keeps the last of two equal keys; a file that says two things is refused.
    std::set<std::string> keys;
    std::string duplicate;
    const auto noteKey = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 && duplicate.empty()
            && !keys.insert(parsed.get<std::string>()).second)
            duplicate = parsed.get<std::string>();
        return true;
    };
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(text.begin(), text.end(), noteKey);
    } catch (const nlohmann::json::out_of_range& e) { // JSON has no limit; a double has
        problem = ParseMessage(e) + ": beyond the range of a double";
        return std::nullopt;
    } catch (const nlohmann::json::exception& e) {
        problem = "broken JSON: " + ParseMessage(e);
        return std::nullopt;
    }
    if (!duplicate.empty()) {
        problem = "key \"" + duplicate + "\" given twice";
        return std::nullopt;
    }
    if (!j.is_object()) {
        problem = "the file must hold one JSON object of box texts";
        return std::nullopt;
    }
    ParamFile file;
    for (const auto& [key, value] : j.items()) {
        if (key == "scenario") {
            if (!value.is_string()) {
                problem = "key \"scenario\" must be a string";
                return std::nullopt;
            }
            file.scenario = ScenarioNamed(value.get<std::string>());
            if (!file.scenario) {
                problem = "unknown scenario \"" + value.get<std::string>() + "\" (\"2 BH's\" or \"Mercury\")";
                return std::nullopt;
            }
            continue;
        }
        if (key == "integrator" || key == "forceLaw") {
            const bool integrator = key == "integrator";
            const std::string name = value.is_string() ? value.get<std::string>() : std::string();
            if (integrator)
                file.integrator = IntegratorNamed(name);
            else
                file.forceLaw = ForceLawNamed(name);
            if (integrator ? !file.integrator : !file.forceLaw) {
                problem = "key \"" + key + "\" must be "
                    + (integrator ? "\"euler\" or \"reference\""
                                  : "\"retarded\", \"instantaneous\", \"aberration-free\" or \"1pn\"");
                return std::nullopt;
            }
            continue;
        }
        if (key == "tolerance") {
            if (!value.is_number() || !std::isfinite(value.get<double>()) || !(value.get<double>() > 0)) {
                problem = "key \"tolerance\" must be a number > 0";
                return std::nullopt;
            }
            file.tolerance = value.get<double>();
            continue;
        }
        const PanelInput* input = FindPanelInputByName(key);
        if (!input) {
            problem = "unknown key \"" + key + "\"";
            return std::nullopt;
        }
        // "c" and "Tc" name the same box: a file that gives both says two things.
        const auto same = std::find_if(file.boxes.begin(), file.boxes.end(),
                                       [input](const auto& box) { return box.first == input->box; });
        if (same != file.boxes.end()) {
            problem = "keys \"" + std::string(input->option) + "\" and \"" + input->box
                + "\" both set \"" + input->label + "\": give one";
            return std::nullopt;
        }
        if (value.is_string()) {
            // The boxes' reading ends at a NUL ("\u0000" in JSON): what follows would be lost.
            if (value.get_ref<const std::string&>().find('\0') != std::string::npos) {
                problem = "key \"" + key + "\": the text holds a NUL character";
                return std::nullopt;
            }
            file.boxes.emplace_back(input->box, value.get<std::string>());
        } else if (value.is_number()) {
            // nlohmann holds a fraction as the nearest double (and refuses one beyond a
            // double) and a whole number exactly, which get<double> rounds to the nearest.
            file.boxes.emplace_back(input->box, BoxTextOfNumber(value.get<double>(), *input, format));
        } else {
            problem = "key \"" + key + "\" must be a string or a number";
            return std::nullopt;
        }
        if (reading == TextReading::Strict) {
            if (const std::string why = StrictInputProblem(*input, file.boxes.back().second, format);
                !why.empty()) {
                problem = "key \"" + key + "\": " + why;
                return std::nullopt;
            }
        }
    }
    std::sort(file.boxes.begin(), file.boxes.end(), [](const auto& a, const auto& b) {
        return PanelPosition(a.first) < PanelPosition(b.first);
    });
    return file;
}

std::optional<ParamFile> LoadParamFile(const std::string& path, const RegionalFormat& format,
                                       TextReading reading, std::string& problem)
{
    std::string text;
    if (!ReadSmallFile(path, kMaxParamFileBytes, "a parameter file", text, problem))
        return std::nullopt;
    std::optional<ParamFile> file = ParseParamFile(text, format, reading, problem);
    if (!file)
        problem = path + ": " + problem;
    return file;
}

std::string ParamFileText(const ParamFile& file)
{
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    if (file.scenario)
        j["scenario"] = *file.scenario;
    for (const auto& [box, text] : file.boxes)
        j[box] = text;
    if (file.integrator)
        j["integrator"] = std::string(IntegratorName(*file.integrator));
    if (file.forceLaw)
        j["forceLaw"] = std::string(ForceLawName(*file.forceLaw));
    if (file.tolerance)
        j["tolerance"] = *file.tolerance;
    return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

void ApplyParamFile(const ParamFile& file, Form1& form1)
{
    // Each click switches to the other scenario (a box showing neither goes to "2 BH's").
    if (file.scenario)
        for (int clicks = 0; clicks < 2 && form1.Tmethode.text() != *file.scenario; ++clicks)
            form1.Tmethode_Click();
    for (const auto& [box, text] : file.boxes) {
        const PanelInput* input = FindPanelInputByBox(box);
        if (!input)
            throw std::invalid_argument("no input box named \"" + box + "\" on the panel");
        input->control(form1).setText(text);
    }
    if (file.integrator)
        form1.model.integrator = *file.integrator;
    if (file.forceLaw)
        form1.model.forceLaw = *file.forceLaw;
    if (file.tolerance)
        form1.model.tolerance = *file.tolerance;
}

ParamFile CollectParamFile(Form1& form1)
{
    ParamFile file;
    // A "Choice" box typed into shows neither scenario; the file then leaves it as it finds it.
    const std::string scenario = form1.Tmethode.text();
    const auto names = ScenarioNames();
    if (std::find(names.begin(), names.end(), scenario) != names.end())
        file.scenario = scenario;
    for (const PanelInput& input : PanelInputs())
        file.boxes.emplace_back(input.box, input.control(form1).text());
    // The model only where it is not the default, so that a file saved from a run of the
    // panel's own scheme stays byte for byte what it was before models existed.
    if (form1.model != Model{}) {
        file.integrator = form1.model.integrator;
        file.forceLaw = form1.model.forceLaw;
        if (form1.model.integrator == Integrator::Reference)
            file.tolerance = form1.model.tolerance;
    }
    return file;
}

} // namespace gravlag
