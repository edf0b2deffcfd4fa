#pragma once
// The scenarios by the names "Choice" shows, and the names a person may type for them.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace gravlag {

// "2 BH's" and "Mercury", as "Choice" shows them.
std::span<const char* const> ScenarioNames();

// The scenario `name` stands for, as "Choice" shows it: letters in any case, and a straight
// or a curly apostrophe ("2 bh’s", "MERCURY"). None for any other text.
std::optional<std::string> ScenarioNamed(std::string_view name);

} // namespace gravlag
