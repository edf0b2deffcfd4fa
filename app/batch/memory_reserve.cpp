#include "app/batch/memory_reserve.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

#include "app/batch/problem.h"
#include "app/files/output_file.h"

namespace gravlag {

namespace {

std::atomic<void*> reserve{nullptr};
std::atomic<std::size_t> reserveBytes{0};
std::terminate_handler previousTerminate = nullptr; // the library's, which names the exception
std::atomic<bool> everyThread{false}; // gravlag-batch: every thread runs runs

// Set up with the thread (not at first use, which could itself be refused memory).
thread_local bool waitsHere [[gnu::tls_model("initial-exec")]] = false;
thread_local bool refused [[gnu::tls_model("initial-exec")]] = false;
thread_local int waited [[gnu::tls_model("initial-exec")]] = 0;
// A block of this thread's while a MemoryWaits lives, freed at its first refusal; under
// malloc's mmap threshold, so that it lies in the arena the thread allocates from.
thread_local void* ownReserve [[gnu::tls_model("initial-exec")]] = nullptr;
constexpr std::size_t kOwnReserveBytes = 96 * 1024;
std::atomic<int> unwinding{0}; // threads refused, not yet done with it
constexpr int kMostWaits = 2000; // of a millisecond each, after one refusal
constexpr int kFirstWaits = 50;  // before a first one, while another thread unwinds

void* Map(std::size_t bytes)
{
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void KeepOwnReserve()
{
    if (waitsHere && !ownReserve)
        ownReserve = std::malloc(kOwnReserveBytes); // none: refusals go on as without it
}

void OnAllocationRefused()
{
    // The thread's own reserve first, and no throw: the refusal may come in a destructor,
    // which cannot throw (a JSON value frees its members through a vector it allocates, and
    // a run's report is made of them). A small allocation finds room in the block freed; a
    // large one is refused again, and goes on below.
    if (void* own = std::exchange(ownReserve, nullptr)) {
        std::free(own);
        return;
    }
    if (void* p = reserve.exchange(nullptr))
        ::munmap(p, reserveBytes.load());
    // A first refusal, too, may come in a destructor: while another thread unwinds, it waits a
    // little for what that thread gives back.
    const int most = refused ? kMostWaits : unwinding.load() > 0 ? kFirstWaits : 0;
    if ((everyThread.load() || waitsHere) && waited < most) {
        ++waited;
        const timespec millisecond{0, 1000000};
        ::nanosleep(&millisecond, nullptr);
        return; // operator new asks again
    }
    if (!refused) {
        refused = true;
        ++unwinding;
        waited = 0;
    }
    throw std::bad_alloc();
}

void OnTerminate()
{
    bool outOfMemory = false;
    if (const std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        } catch (...) {
        }
    }
    if (!outOfMemory) {
        if (previousTerminate)
            previousTerminate();
        std::abort();
    }
    // Written as it stands: there may be no memory to make a text with.
    static const char kText[] = "out of memory\n";
    [[maybe_unused]] ssize_t said = ::write(STDERR_FILENO, kProblemPrefix, sizeof kProblemPrefix - 1);
    said = ::write(STDERR_FILENO, kText, sizeof kText - 1);
    DiscardTemporariesNow();
    ::_exit(4);
}

} // namespace

void InstallMemoryReserve(std::size_t bytes)
{
    reserveBytes = bytes;
    reserve = Map(bytes);
    everyThread = true;
    std::set_new_handler(OnAllocationRefused);
    previousTerminate = std::set_terminate(OnTerminate);
}

void RenewMemoryReserve()
{
    if (reserve.load() != nullptr || reserveBytes.load() == 0)
        return;
    void* p = Map(reserveBytes.load());
    void* none = nullptr;
    if (p && !reserve.compare_exchange_strong(none, p))
        ::munmap(p, reserveBytes.load());
}

void InstallMemoryWaits(std::size_t bytes)
{
    reserveBytes = bytes;
    reserve = Map(bytes);
    std::set_new_handler(OnAllocationRefused);
}

void MemoryDealtWith()
{
    if (refused) {
        --unwinding;
        RenewMemoryReserve();
    }
    refused = false;
    waited = 0;
    KeepOwnReserve();
}

MemoryWaits::MemoryWaits() : outer_(waitsHere)
{
    waitsHere = true;
    MemoryDealtWith();
}

MemoryWaits::~MemoryWaits()
{
    waitsHere = outer_;
    MemoryDealtWith();
    if (!outer_)
        std::free(std::exchange(ownReserve, nullptr));
}

} // namespace gravlag
