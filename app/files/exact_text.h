#pragma once
// Numbers in the files the program writes: the shortest text that reads back to the same
// double, in the C locale whatever the user's (std::to_chars never looks at a locale).

#include <string>

namespace gravlag {

std::string ExactText(double value);
void AppendExactText(std::string& line, double value);

// A number as a person would type it into a box: a whole number below 10^15 in plain digits
// ("200000", not the shorter "2e+05"), anything else as ExactText. Either reads back to the
// same double.
std::string TypedNumberText(double value);

} // namespace gravlag
