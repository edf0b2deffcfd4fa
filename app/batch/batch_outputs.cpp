#include "app/batch/batch_outputs.h"

#include <unistd.h>

#include "app/files/output_file.h"

namespace gravlag {

namespace {

const OutputOption kOutputs[] = {
    {"--apsis-csv", &BatchOptions::apsisCsv, "write one row per apsis event"},
    {"--distance-csv", &BatchOptions::distanceCsv,
     "write k, t, r1, r2 (distances from the midpoint of bodies 1 and 2) at every sample"},
    {"--trajectory-csv", &BatchOptions::trajectoryCsv, "write k, t and x, y, vx, vy of the active bodies at every sample"},
    {"--elements-csv", &BatchOptions::elementsCsv,
     "write k, t, a, e, varpi (body 2 about body 1), energy, angularMomentum at every sample"},
    {"--sim-png", &BatchOptions::simPng, "write the simulation display as PNG"},
    {"--plot-png", &BatchOptions::plotPng, "write the time evolution display as PNG"},
    {"--out", &BatchOptions::reportFile, ""},
};

} // namespace

std::span<const OutputOption> OutputOptions() { return kOutputs; }

std::span<const OutputOption> FileOptions() { return OutputOptions().first(std::size(kOutputs) - 1); }

const char* OptionOf(std::string BatchOptions::*path)
{
    for (const OutputOption& o : kOutputs)
        if (o.path == path)
            return o.option;
    return "";
}

std::vector<NamedPath> OutputPaths(const BatchOptions& o)
{
    std::vector<NamedPath> paths;
    for (const OutputOption& output : kOutputs)
        if (!(o.*output.path).empty())
            paths.push_back({output.option, o.*output.path});
    return paths;
}

bool CheckOutputClashes(const BatchOptions& options, std::string& problem)
{
    const std::vector<NamedPath> paths = OutputPaths(options);
    std::vector<FileKey> keys;
    for (const NamedPath& p : paths)
        keys.push_back(KeyOf(p.path));
    const FileKey params = options.paramsPath.empty() ? FileKey{} : KeyOf(options.paramsPath);
    // Renamed over, the file standard output was opened on would lose the report; a pipe, a
    // terminal or a device is written in place and may take an output too.
    const FileKey out = KeyOfDescriptor(STDOUT_FILENO);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j)
            if (keys[i].sameFile(keys[j])) {
                problem = std::string(paths[j].option) + " and " + paths[i].option
                    + " name the same file: " + paths[i].path;
                return false;
            }
        if (!options.paramsPath.empty() && keys[i].sameFile(params)) {
            problem = std::string(paths[i].option) + ": " + paths[i].path + " is the --params file";
            return false;
        }
        if (out.regular && keys[i].sameFile(out)) {
            problem = std::string(paths[i].option) + ": " + paths[i].path
                + " is the file standard output goes to";
            return false;
        }
    }
    return true;
}

} // namespace gravlag
