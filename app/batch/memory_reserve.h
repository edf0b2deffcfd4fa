#pragma once
// Out of memory in gravlag-batch (a limit such as ulimit -v, with many --jobs): the run that
// meets it unwinds and its point is reported, but unwinding allocates too (some destructors
// do), and a destructor that cannot allocate ends the process. So a reserve of address space
// is kept: the first allocation the system refuses frees it and throws std::bad_alloc, and
// the unwinding finds memory. What still ends the process for want of memory ends it with
// exit status 4 and a message, its temporaries removed, instead of an abort.

#include <cstddef>

namespace gravlag {

// Process-wide: the new-handler and the terminate handler. For the program, not a library
// loaded into another (the Python module).
void InstallMemoryReserve(std::size_t bytes);
// Takes the reserve again if it was spent: after an out-of-memory was dealt with.
void RenewMemoryReserve();

} // namespace gravlag
