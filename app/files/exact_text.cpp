#include "app/files/exact_text.h"

#include <charconv>
#include <cmath>

namespace gravlag {

void AppendExactText(std::string& line, double value)
{
    char buf[32]; // the longest shortest form, "-2.2250738585072014e-308", has 24
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    line.append(buf, r.ptr);
}

std::string ExactText(double value)
{
    std::string text;
    AppendExactText(text, value);
    return text;
}

std::string TypedNumberText(double value)
{
    if (std::fabs(value) < 1e15 && std::trunc(value) == value) {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
        return std::string(buf, r.ptr);
    }
    return ExactText(value);
}

} // namespace gravlag
