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

class RunSink;

struct BatchOptions {
    std::optional<ParamFile> params;    // typed first
    std::string paramsPath;             // the file it was read from: no output may replace it
    std::optional<std::string> scenario; // replaces the file's scenario; none: the file's or the panel's
    std::vector<std::pair<std::string, std::string>> typed; // box name, text, in command order
    // --integrator, --force-law, --tolerance: each replaces the parameter file's.
    std::optional<Integrator> integrator;
    std::optional<ForceLaw> forceLaw;
    std::optional<double> tolerance;
    std::optional<std::int64_t> stopAt;
    bool json = false;
    // Output files; empty: not written.
    std::string apsisCsv, simPng, plotPng;
    std::string distanceCsv, trajectoryCsv, elementsCsv;
    std::string reportFile; // a sweep point's JSON object under --out
    std::optional<std::int64_t> every; // sampling interval of the sampled exports, passes (>= 1)
    std::optional<double> duration;     // --duration: "Iteration" becomes the passes nearest it / dt
    bool report = false;                // --report: the run's "analysis"
    bool budget = false;                // --budget: the companion runs and the "budget" (implies report)
    bool converge = false;              // --converge: the runs also at dt/2 and dt/4, rates extrapolated
    unsigned companionJobs = 1;         // threads for the run and its companions under --budget
    // A run of --converge at dt / dtDivisor: "dt" as typed divided, "Iteration" (unless
    // --duration sets it) and --stop-at multiplied, so that it covers the same time.
    int dtDivisor = 1;
    RunSink* sink = nullptr;            // also given the rows and pictures; not the companions'
    RegionalFormat regional;            // the in-memory windows' number format; gravlag-batch: the user's
    TextReading reading = TextReading::Strict; // of the texts typed into boxes; checked as they are read
};

// The model of the run: the defaults, then the parameter file's parts, then the options'.
inline Model BatchModel(const BatchOptions& o)
{
    Model m;
    const auto take = [&m](const auto& integrator, const auto& law, const auto& tolerance) {
        if (integrator)
            m.integrator = *integrator;
        if (law)
            m.forceLaw = *law;
        if (tolerance)
            m.tolerance = *tolerance;
    };
    if (o.params)
        take(o.params->integrator, o.params->forceLaw, o.params->tolerance);
    take(o.integrator, o.forceLaw, o.tolerance);
    return m;
}
// `text` typed into `box` over what the command line typed there (in its place), or after the
// texts typed so far when it typed nothing there.
void TypeOver(BatchOptions& options, const std::string& box, const std::string& text);

} // namespace gravlag
