#pragma once
// The batch runner's command line: which texts to type into which boxes, and what to write.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/files/param_file.h"
#include "core/number_text.h"

namespace gravlag {

struct BatchOptions {
    std::optional<ParamFile> params;    // typed first
    std::optional<std::string> scenario; // replaces the file's scenario; none: the file's or the panel's
    std::vector<std::pair<std::string, std::string>> typed; // box name, text, in command order
    std::optional<long long> stopAt;
    bool json = false;
    std::string apsisCsv, simPng, plotPng;
    std::string distanceCsv, trajectoryCsv;
    std::optional<std::int64_t> every; // sampling interval of both sampled exports, passes (>= 1)
    RegionalFormat regional;            // the in-memory windows' number format; gravlag-batch: the user's
};

} // namespace gravlag
