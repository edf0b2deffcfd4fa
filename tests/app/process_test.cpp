// gravlag-batch as a process: signals during a run, a sweep and a budget's companion runs, a
// file-size limit met half-way through a run, standard output on a full disk, a grid of 10^9
// points, and a sweep short of threads and memory.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "csv_reader.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;
using gravlag::testing::ScratchFolder;

namespace {

struct Child {
    pid_t pid = -1;
    fs::path out, err;
};

struct Launch {
    std::vector<std::string> args;
    fs::path dir = {};             // standard output and error go to files here
    std::string stdoutPath = {};   // instead: this file (e.g. /dev/full)
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t addressSpaceLimit = RLIM_INFINITY;
};

Child Start(const Launch& l)
{
    Child c{-1, l.dir / "stdout", l.dir / "stderr"};
    std::vector<std::string> args = l.args;
    args.insert(args.begin(), GRAVLAG_BATCH);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = l.stdoutPath.empty() ? c.out.string() : l.stdoutPath;
    c.pid = fork();
    if (c.pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(o, STDOUT_FILENO);
        ::dup2(e, STDERR_FILENO);
        ::setpgid(0, 0); // as a job of its own: a signal to it is not one to the test
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) // whatever the test was started with
            std::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const rlimit limit{l.fileSizeLimit, l.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const rlimit space{l.addressSpaceLimit, l.addressSpaceLimit};
        ::setrlimit(RLIMIT_AS, &space);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    return c;
}

int Wait(const Child& c)
{
    int status = 0;
    EXPECT_EQ(::waitpid(c.pid, &status, 0), c.pid);
    return status;
}

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The hidden files in `dir`; with `written`, only those that hold something.
std::vector<std::string> Hidden(const fs::path& dir, bool written = false)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (std::error_code gone; e.path().filename().string()[0] == '.' && (!written || fs::file_size(e.path(), gone) > 0))
            names.push_back(e.path().filename().string()); // `gone`: committed meanwhile, size 0
    return names;
}

// Waits until the run's temporary holds rows (the run is past its set-up), at most ten seconds.
void WaitForRows(const fs::path& dir)
{
    for (int i = 0; i < 1000 && Hidden(dir, true).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// A distance CSV sampled every `every` passes and complete up to `lastPass` (null: a run
// stopped in its set-up, before pass 0, which leaves the header alone).
void ExpectCompleteUpTo(const fs::path& csv, const nlohmann::json& lastPass, std::int64_t every)
{
    const std::int64_t rowCount = lastPass.is_null() ? 0 : lastPass.get<std::int64_t>() / every + 1;
    const std::string text = Read(csv);
    ASSERT_FALSE(text.empty()) << csv;
    EXPECT_EQ(text.back(), '\n') << csv;
    const Csv rows = ReadCsv(csv.string());
    EXPECT_EQ(rows.header, "k,t,r1,r2");
    ASSERT_EQ(static_cast<std::int64_t>(rows.rows.size()), rowCount) << csv;
    for (std::size_t i = 0; i < rows.rows.size(); ++i) {
        ASSERT_EQ(rows.rows[i].size(), 4u) << csv << " row " << i;
        ASSERT_EQ(Whole(rows.rows[i][0]), static_cast<std::int64_t>(i) * every) << csv;
    }
}

} // namespace

TEST(Process, FirstSignalStopsLikeStopSecondEndsAtOnce)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const ScratchFolder scratch("process_signal");
        const fs::path& dir = scratch.path();
        const Child c = Start({{"--iterations", "1000000000", "--every", "1", "--json", "--distance-csv",
                                (dir / "d.csv").string()}, dir});
        WaitForRows(dir);
        ::kill(c.pid, signal);
        const int status = Wait(c);
        // It ends by the signal itself, so a calling shell sees 128 + n and stops too.
        ASSERT_TRUE(WIFSIGNALED(status)) << strsignal(signal) << ": " << Read(c.err);
        EXPECT_EQ(WTERMSIG(status), signal);
        const nlohmann::json j = nlohmann::json::parse(Read(c.out));
        EXPECT_EQ(j["ended"], "stopped");
        EXPECT_EQ(j["signal"], signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP");
        EXPECT_EQ(j["outputErrors"], nlohmann::json::array());
        EXPECT_EQ(j["lastPass"].get<std::int64_t>() % 100, 0); // stopped at a display update, as "Stop" is
        ExpectCompleteUpTo(dir / "d.csv", j["lastPass"], 1);
        EXPECT_TRUE(Hidden(dir).empty());
    }

    // Two signals before the run sees the first (the child is held while they are sent):
    // it ends at once, the old file untouched, no temporary left.
    const ScratchFolder scratch("process_two_signals");
    const fs::path& dir = scratch.path();
    std::ofstream(dir / "d.csv") << "old\n";
    const Child c = Start({{"--iterations", "1000000000", "--every", "1", "--json", "--distance-csv",
                            (dir / "d.csv").string()}, dir});
    WaitForRows(dir);
    ::kill(c.pid, SIGSTOP);
    ::kill(c.pid, SIGTERM);
    ::kill(c.pid, SIGINT);
    ::kill(c.pid, SIGCONT);
    const int status = Wait(c);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(WTERMSIG(status) == SIGTERM || WTERMSIG(status) == SIGINT);
    EXPECT_EQ(Read(c.out), "");
    EXPECT_EQ(Read(dir / "d.csv"), "old\n");
    EXPECT_TRUE(Hidden(dir).empty());
}

TEST(Process, FileSizeLimitAndFullStandardOutputExitFour)
{
    // The limit is met half-way through the run: the JSON says the run completed and which
    // file could not be written; the old file stays as it was.
    const ScratchFolder scratch("process_limit");
    const fs::path& dir = scratch.path();
    std::ofstream(dir / "big.csv") << "old\n";
    Launch limited{{"--iterations", "200000", "--every", "1", "--json", "--trajectory-csv", (dir / "big.csv").string()}, dir};
    limited.fileSizeLimit = 100 * 1024;
    const Child c = Start(limited);
    const int status = Wait(c);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 4);
    const nlohmann::json j = nlohmann::json::parse(Read(c.out));
    EXPECT_EQ(j["ended"], "completed");
    EXPECT_EQ(j["outputErrors"],
              nlohmann::json::array({"--trajectory-csv: cannot write " + (dir / "big.csv").string() + ": File too large"}));
    EXPECT_EQ(Read(dir / "big.csv"), "old\n");
    EXPECT_TRUE(Hidden(dir).empty());

    Launch full{{"--iterations", "100", "--json"}, dir};
    full.stdoutPath = "/dev/full";
    const Child f = Start(full);
    const int fullStatus = Wait(f);
    ASSERT_TRUE(WIFEXITED(fullStatus));
    EXPECT_EQ(WEXITSTATUS(fullStatus), 4);
    EXPECT_EQ(Read(f.err), "gravlag-batch: cannot write standard output: No space left on device\n");
}

TEST(Process, GridOfABillionPointsStartsAtOnceAndStopsOnASignal)
{
    std::string texts;
    for (int i = 1; i <= 1000; ++i)
        texts += (i > 1 ? ";" : "") + std::to_string(i);
    const ScratchFolder scratch("process_grid");
    const fs::path& dir = scratch.path();
    const fs::path runs = dir / "runs";
    const Child c = Start({{"--iterations", "20000", "--every", "100", "--sweep", "c=" + texts, "--sweep",
                            "vx-base=0;" + texts, "--sweep", "mass3=" + texts, "--jobs", "2", "--out",
                            runs.string(), "--distance-csv", "d.csv"}, dir});
    // Lines come at once: the grid is not built first.
    for (int i = 0; i < 1000 && Read(c.out).size() < 10000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string memory;
    {
        std::ifstream status("/proc/" + std::to_string(c.pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                memory = line;
    }
    ::kill(c.pid, SIGTERM);
    const int status = Wait(c);
    ASSERT_TRUE(WIFSIGNALED(status)) << Read(c.err);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);

    // Every line printed is a point whose JSON object and distances are complete; the point
    // files hold the same object, with what it was run from. Lines come in point order; with
    // two threads, a point taken just before the signal but not yet started gets no line
    // while the one after it, already running, is stopped and printed.
    std::istringstream lines(Read(c.out));
    std::size_t n = 0;
    int last = 0;
    for (std::string line; std::getline(lines, line); ++n) {
        const nlohmann::json j = nlohmann::json::parse(line);
        ASSERT_EQ(j["point"]["c"], "1");
        ASSERT_EQ(j["point"]["vx-base"], "0");
        const int mass3 = std::stoi(j["point"]["mass3"].get<std::string>());
        ASSERT_GT(mass3, last);
        ASSERT_LE(mass3, last + 2) << "a gap is one point taken as the signal came, at most";
        last = mass3;
        const std::string number = std::to_string(mass3);
        nlohmann::json stored = nlohmann::json::parse(Read(runs / ("point-" + number + ".json")));
        ASSERT_TRUE(stored.contains("command") && stored.contains("files"));
        stored.erase("command");
        stored.erase("files");
        ASSERT_EQ(stored, j) << number;
        ExpectCompleteUpTo(runs / ("d-" + number + ".csv"), j["lastPass"], 100);
    }
    EXPECT_GE(n, 2u);
    EXPECT_NE(Read(c.err).find("points run, the others not started"), std::string::npos) << Read(c.err);
    EXPECT_FALSE(fs::exists(runs / ("point-" + std::to_string(last + 1) + ".json"))); // none started after it
    EXPECT_TRUE(Hidden(runs).empty());

    ASSERT_FALSE(memory.empty());
    const long kilobytes = std::stol(memory.substr(6));
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "peak memory " << kilobytes << " kB not compared: AddressSanitizer's own memory";
#else
    EXPECT_LT(kilobytes, 50 * 1024) << memory;
#endif
}

TEST(Process, ASignalDuringABudgetsCompanionsLeavesThePointToRunAgain)
{
    const ScratchFolder scratch("process_budget");
    const fs::path& dir = scratch.path();
    const fs::path runs = dir / "runs";
    std::vector<std::string> args = {"--iterations", "3000000", "--budget", "--sweep", "c=1000", "--jobs", "1",
                                     "--out", runs.string(), "--distance-csv", "d.csv"};
    const Child c = Start({args, dir});
    // The CSV is there once the run itself is done; its companions run after it, and the
    // signal comes during one of them.
    for (int i = 0; i < 6000 && !fs::exists(runs / "d-1.csv"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(c.pid, SIGTERM);
    const int status = Wait(c);
    ASSERT_TRUE(WIFSIGNALED(status)) << Read(c.err);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    const nlohmann::json j = nlohmann::json::parse(Read(c.out));
    EXPECT_EQ(j["ended"], "stopped");
    EXPECT_EQ(j.value("signal", ""), "SIGTERM");
    EXPECT_EQ(j["lastPass"], 3000000); // the run itself completed
    EXPECT_EQ(j["budget"], nullptr);
    // Which companion it stopped depends on their speeds; one of them says so.
    EXPECT_NE(Read(c.err).find(": SIGTERM: stopped after pass"), std::string::npos) << Read(c.err);
    EXPECT_EQ(Read(c.err).rfind("gravlag-batch: point 1: budget run ", 0), 0u) << Read(c.err);

    args.push_back("--resume");
    const Child again = Start({args, dir});
    const int resumed = Wait(again);
    ASSERT_TRUE(WIFEXITED(resumed) && WEXITSTATUS(resumed) == 0) << Read(again.err);
    const nlohmann::json k = nlohmann::json::parse(Read(again.out));
    EXPECT_EQ(k["ended"], "completed");
    EXPECT_FALSE(k.contains("signal"));
    EXPECT_TRUE(k["budget"].is_object());
    fs::remove_all(dir);
}

TEST(Process, ASweepShortOfThreadsAndMemoryEndsWithItsLines)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
    const ScratchFolder scratch("process_memory");
    const fs::path& dir = scratch.path();
    std::string texts;
    // More points than threads with their stacks fit under the limit: threads run short
    // whether or not the first have begun to work while the others are started.
    for (int i = 1; i <= 40; ++i)
        texts += (i > 1 ? ";" : "") + std::to_string(i);
    Launch limited{{"--iterations", "20000", "--sweep", "c=" + texts, "--jobs", "1024", "--out",
                    (dir / "runs").string(), "--distance-csv", "d.csv"}, dir};
    limited.addressSpaceLimit = 200000 * 1024;
    const Child c = Start(limited);
    const int status = Wait(c);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status) << ": " << Read(c.err);
    const std::string err = Read(c.err);
    EXPECT_EQ(err.rfind("gravlag-batch: --jobs 1024: only ", 0), 0u) << err;
    EXPECT_NE(err.find(" could be started ("), std::string::npos) << err;
    // Every point has its line, in order: its run, or that it ran out of memory (said on
    // standard error too, and then the status is 4).
    std::istringstream lines(Read(c.out));
    int n = 0, outOfMemory = 0;
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line);
        ++n;
        EXPECT_EQ(j["point"]["c"], std::to_string(n));
        if (j.contains("error")) {
            EXPECT_EQ(j["error"], "out of memory");
            EXPECT_NE(err.find("gravlag-batch: point " + std::to_string(n) + ": out of memory\n"), std::string::npos);
            ++outOfMemory;
        } else {
            EXPECT_EQ(j["ended"], "completed") << line;
        }
    }
    // Where the threads' stacks leave the sweep itself no room, it ends out of memory after
    // the lines of the points it finished (how many depends on how fast the threads start).
    const bool sweepOutOfMemory = err.find("\ngravlag-batch: out of memory\n") != std::string::npos;
    if (!sweepOutOfMemory) {
        EXPECT_EQ(n, 40);
    }
    EXPECT_EQ(WEXITSTATUS(status), outOfMemory > 0 || sweepOutOfMemory ? 4 : 0) << err;
    EXPECT_TRUE(Hidden(dir / "runs").empty());
    fs::remove_all(dir);
}
