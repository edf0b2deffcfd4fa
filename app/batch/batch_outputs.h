#pragma once
// The files one batch run writes, by the option that names each, and the clashes refused
// before the run: two outputs on one file, an output that is the --params file, an output
// that is the file standard output is redirected to.

#include <string>
#include <vector>

#include "app/batch/batch_options.h"

namespace gravlag {

struct NamedPath {
    const char* option; // "--distance-csv", ...
    std::string path;
};

std::vector<NamedPath> OutputPaths(const BatchOptions& options); // those asked for

// False with a one-line `problem` naming the options and the file.
bool CheckOutputClashes(const BatchOptions& options, std::string& problem);

} // namespace gravlag
