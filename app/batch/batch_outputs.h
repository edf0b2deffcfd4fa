#pragma once
// The files one batch run writes, by the option that names each, and the clashes refused
// before the run: two outputs on one file, an output that is the --params file, an output
// that is the file standard output is redirected to.

#include <span>
#include <string>
#include <vector>

#include "app/batch/batch_options.h"

namespace gravlag {

// The files a run may write, each once: the option that names it, the field of BatchOptions
// that holds its name, and its line of --help. Every list of outputs is made from this table.
struct OutputOption {
    const char* option;              // "--distance-csv"
    std::string BatchOptions::*path; // &BatchOptions::distanceCsv
    const char* help;                // empty for a sweep point's report, which --out names
};
// The command line's file options in the order of --help, then a sweep point's report
// ("--out", BatchOptions::reportFile).
std::span<const OutputOption> OutputOptions();
std::span<const OutputOption> FileOptions(); // the same without the point's report
const char* OptionOf(std::string BatchOptions::*path); // "--sim-png" for &BatchOptions::simPng

struct NamedPath {
    const char* option; // "--distance-csv", ...
    std::string path;
};

std::vector<NamedPath> OutputPaths(const BatchOptions& options); // those asked for

// False with a one-line `problem` naming the options and the file.
bool CheckOutputClashes(const BatchOptions& options, std::string& problem);

} // namespace gravlag
