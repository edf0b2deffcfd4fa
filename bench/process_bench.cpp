// gravlag-batch as a whole process, as a script or a sweep on a cluster starts it: fork and
// exec, start-up, the run, the JSON line, exit. `startup` makes one pass, so it is the
// start-up alone; the other cases are run_bench's runs, start-up included. The Versus cases
// start gravlag-batch --json and the hand-tuned loop's process (tuned_process) in turn and
// give the processor time of the one over the other's, the median of the pairs.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs `program` with `arguments`, its output to /dev/null; the processor time it took
// (user and system, seconds), or a negative number unless it exits 0.
double Spawn(std::string program, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage {};
    if (failed != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs gravlag-batch with `arguments`, its output to /dev/null; false unless it exits 0.
bool RunBatch(const std::vector<std::string>& arguments) { return Spawn(GRAVLAG_BATCH, arguments) >= 0; }

void Process(benchmark::State& st, std::vector<std::string> arguments)
{
    arguments.push_back("--json");
    for (auto _ : st)
        if (!RunBatch(arguments)) {
            st.SkipWithError("gravlag-batch did not exit with status 0");
            break;
        }
}

struct Pairing {
    std::vector<std::string> batch; // gravlag-batch's arguments, --json added
    std::vector<std::string> tuned; // tuned_process's
};

void Versus(benchmark::State& st, Pairing p)
{
    p.batch.push_back("--json");
    std::vector<double> batch, tuned, ratios;
    for (auto _ : st) {
        const double b = Spawn(GRAVLAG_BATCH, p.batch), t = Spawn(TUNED_PROCESS, p.tuned);
        if (b < 0 || t <= 0) {
            st.SkipWithError("gravlag-batch or tuned_process did not exit with status 0");
            return;
        }
        batch.push_back(b);
        tuned.push_back(t);
        ratios.push_back(b / t);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    st.counters["batch_cpu_ms"] = 1e3 * median(batch);
    st.counters["tuned_cpu_ms"] = 1e3 * median(tuned);
    st.counters["batch_over_tuned"] = median(ratios);
}

} // namespace

BENCHMARK_CAPTURE(Versus, d_mercury_c0, Pairing{{"--scenario", "Mercury"}, {"mercury", "0", "0"}})
    ->Iterations(11)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Versus, e_mercury_c50000_history,
                  Pairing{{"--scenario", "Mercury", "--c", "50000", "--prediction", "1"}, {"mercury", "50000", "1"}})
    ->Iterations(11)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_CAPTURE(Process, startup, std::vector<std::string>{"--iterations", "1"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Process, a_2bh_c0, std::vector<std::string>{})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Process, b_2bh_c50000_velocity, std::vector<std::string>{"--c", "50000"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Process, c_2bh_c50000_history, std::vector<std::string>{"--c", "50000", "--prediction", "1"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Process, d_mercury_c0, std::vector<std::string>{"--scenario", "Mercury"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Process, e_mercury_c50000_history,
                  std::vector<std::string>{"--scenario", "Mercury", "--c", "50000", "--prediction", "1"})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
