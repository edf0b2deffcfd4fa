#pragma once
// Threads asked for by --jobs: the system may start fewer (out of threads or of memory under
// a limit such as ulimit -v). The work then goes on the threads it did start.

#include <cstddef>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace gravlag {

// Starts up to `count` threads, each running `work`, into `threads`. Returns the system's
// reason for the first one it could not start (then no more are tried), or an empty text.
template <typename Work>
std::string StartThreads(std::vector<std::jthread>& threads, std::size_t count, const Work& work)
{
    for (std::size_t t = 0; t < count; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error& e) {
            return e.code().message();
        } catch (const std::bad_alloc&) {
            return "out of memory";
        }
    }
    return {};
}

// "--jobs 1024: only 17 threads could be started (Resource temporarily unavailable)", said once.
inline std::string FewerThreadsText(std::size_t asked, std::size_t started, const std::string& reason)
{
    return "--jobs " + std::to_string(asked) + ": only " + std::to_string(started)
        + (started == 1 ? " thread" : " threads") + " could be started (" + reason + ")";
}

} // namespace gravlag
