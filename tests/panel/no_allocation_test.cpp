// A run allocates during its set-up, never during its passes: the program's global operator
// new is replaced by one that counts while a run is past its first pass.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>

#include "panel/program.h"
#include "ui/headless/headless_services.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

} // namespace

void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

struct Case {
    const char* name;
    bool mercury;
    const char* iterations;
    const char* c;
    const char* prediction;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class NoAllocation : public ::testing::TestWithParam<Case> {};

TEST_P(NoAllocation, DuringThePasses)
{
    const Case& cs = GetParam();
    gravlag::ui::HeadlessServices services;
    gravlag::Program program(services);
    if (cs.mercury)
        services.textBox("Tmethode")->click();
    services.textBox("Titer")->type(cs.iterations);
    services.textBox("Tc")->type(cs.c);
    services.textBox("Tpredsel")->type(cs.prediction);
    // Sampled every pass, so that the hook itself is exercised; counting starts after pass 0
    // (whose display update is the first to write the progress boxes) and ends with the run.
    long seen = 0;
    program.form1().onSample([](const gravlag::SimState&,
                                const gravlag::RunValues&) { return std::int64_t{1}; },
                             [&](const gravlag::SimState&, const gravlag::RunValues& run) {
                                 if (run.k == 0) {
                                     allocations = 0;
                                     counting = true;
                                 }
                                 ++seen;
                             });
    program.form1().onRunFinished([](const gravlag::RunResult&) { counting = false; });
    services.button("CommandCalc")->click();
    counting = false;
    const gravlag::RunResult& r = *program.form1().lastRun();
    ASSERT_EQ(r.ended, gravlag::RunEnd::Completed) << r.message;
    EXPECT_EQ(seen, r.passes);
    if (cs.mercury) {
        EXPECT_GT(r.values.apsisCount, 2); // the apsis path ran too
    }
    EXPECT_EQ(allocations.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, NoAllocation,
    ::testing::Values(Case{"Instantaneous", false, "40000", "0", "0"},
                      Case{"Velocity", false, "40000", "50000", "0"},
                      Case{"History", false, "40000", "50000", "1"},
                      Case{"MercuryHistory", true, "200000", "50000", "1"},
                      // An "Iteration" text too long for a short-string buffer.
                      Case{"LongIterationText", true, "000000000000000000200000", "0", "0"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
