#pragma once
// Threads asked for by --jobs: the system may start fewer (out of threads or of memory under
// a limit such as ulimit -v). The work then goes on the threads it did start.
//
// Thread-local storage of a library loaded after the program started (the Python module, and
// the C++ library it brings into the interpreter) is allocated by the C library at a thread's
// first use of it, and a refused allocation there aborts the process: no exception, no
// message. Under a tight address-space limit that first use would be the throw of the
// std::bad_alloc of a run out of memory. So every thread sets its storage up before any of
// them works, while a margin of address space kept free for it during the threads' start is
// given back.

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/mman.h>

#include "app/batch/memory_reserve.h"

namespace gravlag {

// Touches this thread's thread-local storage of the C++ library (the exception state every
// throw uses); the program's own thread-local variables are declared initial-exec, set up
// with the thread.
inline void SetUpThreadStorage()
{
    [[maybe_unused]] volatile int uncaught = std::uncaught_exceptions();
}

namespace thread_start {

// Address space held while threads are started, so that each started thread still finds
// room for its storage afterwards (the C library's allocator may also make an arena).
class Margin {
public:
    static constexpr std::size_t kBytes = std::size_t{16} << 20;
    Margin()
        : p_(::mmap(nullptr, kBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0))
    {
    }
    ~Margin() { release(); }
    Margin(const Margin&) = delete;
    Margin& operator=(const Margin&) = delete;
    void release()
    {
        if (p_ != MAP_FAILED)
            ::munmap(p_, kBytes);
        p_ = MAP_FAILED;
    }

private:
    void* p_;
};

// Started threads wait at it: first to set their storage up, then to work.
struct Gate {
    std::atomic<int> phase{0}; // 0: threads being started; 1: set up storage; 2: work
    std::atomic<std::size_t> ready{0};

    void enter()
    {
        phase.wait(0);
        SetUpThreadStorage();
        ++ready;
        ready.notify_all();
        phase.wait(1);
    }
    void open(std::size_t started)
    {
        phase = 1;
        phase.notify_all();
        for (std::size_t r; (r = ready.load()) < started;)
            ready.wait(r);
        phase = 2;
        phase.notify_all();
    }
};

} // namespace thread_start

// Starts up to `count` threads, each running `work`, into `threads`. Returns the system's
// reason for the first one it could not start (then no more are tried), or an empty text.
// The calling thread's storage is set up too: it may work beside them.
template <typename Work>
std::string StartThreads(std::vector<std::jthread>& threads, std::size_t count, const Work& work)
{
    SetUpThreadStorage();
    if (count == 0)
        return {};
    std::shared_ptr<thread_start::Gate> gate; // shared: a thread may still be leaving it after we return
    try {
        gate = std::make_shared<thread_start::Gate>();
    } catch (const std::bad_alloc&) {
        MemoryDealtWith();
        return "out of memory";
    }
    std::string reason;
    const std::size_t before = threads.size();
    thread_start::Margin margin;
    for (std::size_t t = 0; t < count; ++t) {
        try {
            threads.emplace_back([gate, work] {
                gate->enter();
                work();
            });
        } catch (const std::system_error& e) {
            reason = e.code().message();
            break;
        } catch (const std::bad_alloc&) {
            MemoryDealtWith();
            reason = "out of memory";
            break;
        }
    }
    margin.release();
    gate->open(threads.size() - before);
    return reason;
}

// "--jobs 1024: only 17 threads could be started (Resource temporarily unavailable)", said once.
inline std::string FewerThreadsText(std::size_t asked, std::size_t started, const std::string& reason)
{
    return "--jobs " + std::to_string(asked) + ": only " + std::to_string(started)
        + (started == 1 ? " thread" : " threads") + " could be started (" + reason + ")";
}

} // namespace gravlag
