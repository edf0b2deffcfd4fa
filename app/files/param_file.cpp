#include "app/files/param_file.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "app/files/small_file.h"
#include "panel/panel_inputs.h"
#include "panel/form1.h"

namespace gravlag {

namespace {

constexpr const char* kScenarios[] = {"2 BH's", "Mercury"};

std::size_t PanelPosition(const std::string& box)
{
    return static_cast<std::size_t>(FindPanelInputByBox(box) - PanelInputs().data());
}

// nlohmann's message without its "[json.exception.parse_error.101] " tag; it names the
// line and column.
std::string ParseMessage(const nlohmann::json::parse_error& e)
{
    const std::string what = e.what();
    const std::size_t tag = what.find("] ");
    return tag == std::string::npos ? what : what.substr(tag + 2);
}

} // namespace

std::optional<ParamFile> ParseParamFile(std::string_view text, std::string& problem)
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
    } catch (const nlohmann::json::parse_error& e) {
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
        const bool isScenario = key == "scenario";
        if (!isScenario && !FindPanelInputByBox(key)) {
            problem = "unknown key \"" + key + "\"";
            return std::nullopt;
        }
        if (!value.is_string()) {
            problem = "key \"" + key + "\" must be a string";
            return std::nullopt;
        }
        std::string boxText = value.get<std::string>();
        if (isScenario) {
            if (std::find(std::begin(kScenarios), std::end(kScenarios), boxText) == std::end(kScenarios)) {
                problem = "unknown scenario \"" + boxText + "\" (\"2 BH's\" or \"Mercury\")";
                return std::nullopt;
            }
            file.scenario = std::move(boxText);
        } else {
            file.boxes.emplace_back(key, std::move(boxText));
        }
    }
    std::sort(file.boxes.begin(), file.boxes.end(), [](const auto& a, const auto& b) {
        return PanelPosition(a.first) < PanelPosition(b.first);
    });
    return file;
}

std::optional<ParamFile> LoadParamFile(const std::string& path, std::string& problem)
{
    std::string text;
    if (!ReadSmallFile(path, kMaxParamFileBytes, "a parameter file", text, problem))
        return std::nullopt;
    std::optional<ParamFile> file = ParseParamFile(text, problem);
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
}

ParamFile CollectParamFile(Form1& form1)
{
    ParamFile file;
    // A "Choice" box typed into shows neither scenario; the file then leaves it as it finds it.
    const std::string scenario = form1.Tmethode.text();
    if (std::find(std::begin(kScenarios), std::end(kScenarios), scenario) != std::end(kScenarios))
        file.scenario = scenario;
    for (const PanelInput& input : PanelInputs())
        file.boxes.emplace_back(input.box, input.control(form1).text());
    return file;
}

} // namespace gravlag
