#pragma once
// Reading the small files a program takes in (parameter files, a sweep's point reports):
// only a regular file of a bounded size is read, and nothing else is waited for.

#include <cstddef>
#include <string>

namespace gravlag {

// The whole file into `text`, or false and `problem`: "cannot read PATH: reason", "PATH is
// a FIFO, not <what>" (a folder, a device, a socket, each by its name: looked at before it
// is opened, and opened without blocking), "PATH is larger than 1 MiB, too large for <what>".
bool ReadSmallFile(const std::string& path, std::size_t limit, const char* what, std::string& text,
                   std::string& problem);

} // namespace gravlag
