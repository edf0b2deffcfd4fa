#pragma once
// gravlag-batch's main called in this process with the arguments a shell would pass: its
// exit status and what it printed on standard output and standard error.

#include <sstream>
#include <string>
#include <vector>

#include "app/batch/batch_cli.h"

namespace gravlag::testing {

struct BatchCall {
    int status;
    std::string out, err;
};

inline BatchCall CallBatch(std::vector<std::string> args)
{
    args.insert(args.begin(), "gravlag-batch");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = BatchMain(static_cast<int>(argv.size()), argv.data(), out, err, false);
    return {status, out.str(), err.str()};
}

} // namespace gravlag::testing
