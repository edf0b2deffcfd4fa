#pragma once
// A number for a problem's one line (a time, a mass, a limit): the shortest text that
// reads back as the same double, independent of any locale.

#include <charconv>
#include <string>

namespace gravlag {

inline std::string ShortestText(double t)
{
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, t);
    return std::string(buffer, written.ptr);
}

} // namespace gravlag
