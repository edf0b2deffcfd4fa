// gravlag-batch as a whole process, as a script or a sweep on a cluster starts it: fork and
// exec, start-up, the run, the JSON line, exit. `startup` makes one pass, so it is the
// start-up alone; the other cases are run_bench's runs, start-up included.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs gravlag-batch with `arguments`, its output to /dev/null; false unless it exits 0.
bool RunBatch(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    std::string program = GRAVLAG_BATCH;
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
    return failed == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Process(benchmark::State& st, std::vector<std::string> arguments)
{
    arguments.push_back("--json");
    for (auto _ : st)
        if (!RunBatch(arguments)) {
            st.SkipWithError("gravlag-batch did not exit with status 0");
            break;
        }
}

} // namespace

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
