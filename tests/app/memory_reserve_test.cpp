// Out of memory where a throw would end the process: in a destructor.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>

#include "app/batch/memory_reserve.h"

namespace gravlag {
namespace {

// From here on the process gets no more address space than it has.
void RefuseMoreAddressSpace()
{
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        if (key == "VmSize:") {
            rlimit limit{};
            status >> limit.rlim_cur;
            limit.rlim_cur *= 1024;
            limit.rlim_max = RLIM_INFINITY;
            ::setrlimit(RLIMIT_AS, &limit);
            return;
        }
    }
}

// A run's report freed at the end of a run that used up the memory: its destructor
// allocates a vector for its members, and cannot throw. Exits 0 when it is freed, 2 when
// memory did not run out (nothing tested).
[[noreturn]] void FreeAReportOnceMemoryRanOut()
{
    InstallMemoryWaits(8 * 1024 * 1024);
    const MemoryWaits waits;
    auto* report = new nlohmann::json{{"ended", "completed"}, {"x", {1.0, 2.0, 3.0}}, {"passes", 30000}};
    std::vector<void*> held;
    held.reserve(1 << 20);
    RefuseMoreAddressSpace();
    for (const std::size_t size : {1024, 64, 1}) // down to the smallest chunk there is
        while (held.size() < held.capacity()) {
            void* p = std::malloc(size);
            if (!p)
                break;
            held.push_back(p);
        }
    if (held.size() == held.capacity())
        std::_Exit(2);
    delete report;
    std::_Exit(0);
}

TEST(MemoryReserve, AJsonValueFreedOnceMemoryRanOutDoesNotEndTheProcess)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
    EXPECT_EXIT(FreeAReportOnceMemoryRanOut(), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace gravlag
