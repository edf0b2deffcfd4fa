#pragma once
// Numbers in the files the program writes: the shortest text that reads back to the same
// double, in the C locale whatever the user's (std::to_chars never looks at a locale).

#include <string>

namespace gravlag {

std::string ExactText(double value);
void AppendExactText(std::string& line, double value);

} // namespace gravlag
