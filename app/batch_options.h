#pragma once
// The batch runner's command line: which texts to type into which boxes, and what to write.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gravlag {

struct BatchOptions {
    std::string scenario = "2 BH's";
    std::vector<std::pair<std::string, std::string>> typed; // box name, text, in command order
    std::optional<long long> stopAt;
    bool json = false;
    std::string apsisCsv, simPng, plotPng;
};

} // namespace gravlag
