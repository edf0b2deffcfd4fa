#include "app/batch/batch_outputs.h"

#include <unistd.h>

#include "app/files/output_file.h"

namespace gravlag {

std::vector<NamedPath> OutputPaths(const BatchOptions& o)
{
    std::vector<NamedPath> paths;
    for (const auto& [option, path] :
         {std::pair{"--apsis-csv", &o.apsisCsv}, {"--distance-csv", &o.distanceCsv},
          {"--trajectory-csv", &o.trajectoryCsv}, {"--elements-csv", &o.elementsCsv},
          {"--sim-png", &o.simPng},
          {"--plot-png", &o.plotPng}, {"--out", &o.reportFile}})
        if (!path->empty())
            paths.push_back({option, *path});
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
