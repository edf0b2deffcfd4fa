#pragma once
// Out of memory in gravlag-batch (a limit such as ulimit -v, with many --jobs): the run that
// meets it unwinds and its point is reported, but unwinding allocates too (some destructors
// do), and a destructor that cannot allocate ends the process. So a reserve of address space
// is kept: the first allocation the system refuses frees it and throws std::bad_alloc, and
// the unwinding finds memory. What still ends the process for want of memory ends it with
// exit status 4 and a message, its temporaries removed, instead of an abort.
//
// A thread refused once unwinds its run, and destructors on the way allocate again (a JSON
// value's does) and cannot throw: a second refusal there would end the process. So in a
// thread that runs runs (all of gravlag-batch's; the Python module's while a MemoryWaits
// lives), the first refusal throws and those after it wait for memory, which the threads
// unwinding beside it give back, until the thread says the first is dealt with
// (MemoryDealtWith, which takes the reserve again). A first refusal waits a little too while
// another thread unwinds: it may itself come in a destructor. A wait that finds no memory
// for long enough throws after all.
//
// A refusal may also come in a destructor while nothing unwinds: a JSON value freed at the
// end of a run that used up the memory. So a thread inside a MemoryWaits keeps a small block
// of its own, and its first refusal frees that block and asks again instead of throwing:
// a small allocation (a destructor's) then succeeds, a large one is refused again.

#include <cstddef>

namespace gravlag {

// Process-wide: the new-handler and the terminate handler. For the program, not a library
// loaded into another (the Python module).
void InstallMemoryReserve(std::size_t bytes);
// Takes the reserve again if it was spent: after an out-of-memory was dealt with.
void RenewMemoryReserve();

// For a library: the reserve and the new-handler, without the terminate handler; refusals
// wait only in threads inside a MemoryWaits. Waiting threads may all be unwinding, each
// stuck in a destructor that allocates: the reserve, freed at a refusal, lets them go on.
void InstallMemoryWaits(std::size_t bytes);
// This thread's next refusal throws again (after a first wait while another unwinds).
void MemoryDealtWith();

// While it lives, this thread's refusals after the first wait, and it keeps its own block
// (see above). Threads that run runs hold one for as long as they run them.
class MemoryWaits {
public:
    MemoryWaits();
    ~MemoryWaits();
    MemoryWaits(const MemoryWaits&) = delete;
    MemoryWaits& operator=(const MemoryWaits&) = delete;

private:
    bool outer_;
};

} // namespace gravlag
