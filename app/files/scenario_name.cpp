#include "app/files/scenario_name.h"

#include <algorithm>

namespace gravlag {

namespace {

constexpr const char* kNames[] = {"2 BH's", "Mercury"};

// ASCII letters in lower case and U+2019 (the curly apostrophe word processors type) as a
// straight one; every other byte as it is, so that no other text comes to match.
std::string Folded(std::string_view text)
{
    constexpr std::string_view kCurlyApostrophe = "\xE2\x80\x99";
    std::string folded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, kCurlyApostrophe.size()) == kCurlyApostrophe) {
            folded += '\'';
            i += kCurlyApostrophe.size() - 1;
        } else if (text[i] >= 'A' && text[i] <= 'Z') {
            folded += static_cast<char>(text[i] - 'A' + 'a');
        } else {
            folded += text[i];
        }
    }
    return folded;
}

} // namespace

std::span<const char* const> ScenarioNames() { return kNames; }

std::optional<std::string> ScenarioNamed(std::string_view name)
{
    const std::string folded = Folded(name);
    const auto it = std::find_if(std::begin(kNames), std::end(kNames),
                                 [&](const char* n) { return Folded(n) == folded; });
    return it == std::end(kNames) ? std::nullopt : std::optional<std::string>(*it);
}

} // namespace gravlag
