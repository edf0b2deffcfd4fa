// Sweeps in lanes against sweeps one point at a time: a 64-point "2 BH's" sweep over c and a
// 64-point "Mercury" sweep over c and "Prediction", as gravlag-batch --sweep runs them (in
// the process, lines to nowhere), on 1 and on 2 threads, with the most lanes this processor
// has and with --lanes 1. Prints the points per second per thread of each and the ratio, and
// the ratio of the processor time the two took (the fairer figure on a shared machine).
//
//   sweep_bench [ITERATIONS] [REPEATS]   (default 100000 passes a point, best of 3)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>

#include "app/batch/batch_cli.h"
#include "core/lane_group.h"

namespace {

// The process's processor time, all threads: on a shared machine it counts what the sweep
// computed, not how long other programs held the cores.
double ProcessorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Took {
    double wall, processor; // seconds
};

Took Seconds(const std::vector<std::string>& arguments)
{
    std::vector<const char*> argv{"gravlag-batch"};
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const double processor = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int status = gravlag::BatchMain(static_cast<int>(argv.size()), argv.data(), out, err, false);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status != 0) {
        std::fprintf(stderr, "sweep_bench: status %d: %s\n", status, err.str().c_str());
        std::exit(1);
    }
    return {took.count(), ProcessorSeconds() - processor};
}

std::string Texts(int count, int from, int step)
{
    std::string texts;
    for (int i = 0; i < count; ++i)
        texts += (i ? ";" : "") + std::to_string(from + i * step);
    return texts;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string iterations = argc > 1 ? argv[1] : "100000";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int widest = gravlag::LaneGroup::WidestLanes();
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"2 BH's, c", {"--scenario", "2 BH's", "--sweep", "c=" + Texts(64, 20000, 1000)}},
        {"Mercury, c x Prediction",
         {"--scenario", "Mercury", "--sweep", "c=" + Texts(32, 200, 50), "--sweep", "prediction=0;1"}},
    };
    std::printf("lanes here: %d; %s passes a point, best of %d\n", widest, iterations.c_str(), repeats);
    for (const Case& c : cases)
        for (const char* jobs : {"1", "2"}) {
            Took best[2] = {{1e300, 1e300}, {1e300, 1e300}};
            for (int r = 0; r < repeats; ++r)
                for (int l = 0; l < 2; ++l) {
                    std::vector<std::string> arguments = c.arguments;
                    for (const std::string& a : {std::string("--iterations"), iterations,
                                                 std::string("--jobs"), std::string(jobs),
                                                 std::string("--lanes"),
                                                 std::to_string(l == 0 ? 1 : widest)})
                        arguments.push_back(a);
                    const Took took = Seconds(arguments);
                    best[l].wall = std::min(best[l].wall, took.wall);
                    best[l].processor = std::min(best[l].processor, took.processor);
                }
            const double threads = std::atof(jobs);
            std::printf("%-24s --jobs %s: %8.1f points/s/thread alone, %8.1f in %d lanes: %.2fx;"
                        " processor time %.2fx\n",
                        c.name, jobs, 64 / best[0].wall / threads, 64 / best[1].wall / threads, widest,
                        best[0].wall / best[1].wall, best[0].processor / best[1].processor);
        }
    return 0;
}
