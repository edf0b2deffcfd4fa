// OutputFile: a target is replaced whole or left as it was; devices and FIFOs are written
// in place; every failure is kept with the system's reason. Full disks are /dev/full and a
// file-size limit (RLIMIT_FSIZE) set in a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/files/output_file.h"
#include "scratch_folder.h"

using namespace gravlag;
namespace fs = std::filesystem;
using gravlag::testing::ScratchFolder;

namespace {

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

using NameList = std::vector<std::string>;

NameList Names(const fs::path& dir)
{
    NameList names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(OutputFile, CommittedWholeOrNotAtAll)
{
    const ScratchFolder scratch("output_file_commit");
    const fs::path& dir = scratch.path();
    const std::string target = (dir / "keep.csv").string();
    std::ofstream(target) << "old\n";
    fs::permissions(target, fs::perms(0640));
    {
        OutputFile file;
        ASSERT_TRUE(file.open(target)) << file.error();
        file.write(std::string(200000, 'x')); // more than the buffer: some of it is on disk
        EXPECT_EQ(Names(dir).size(), 2u);     // the target and a hidden temporary
        EXPECT_EQ(Read(target), "old\n");
    } // never committed
    EXPECT_EQ(Read(target), "old\n");
    EXPECT_EQ(Names(dir), NameList{"keep.csv"});

    OutputFile file;
    ASSERT_TRUE(file.open(target));
    file.write("new\n");
    EXPECT_TRUE(file.commit()) << file.error();
    EXPECT_EQ(Read(target), "new\n");
    EXPECT_EQ(Names(dir), NameList{"keep.csv"});
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640)); // the file's mode is kept

    // A new file gets the mode any program's would; a symbolic link keeps naming the file.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(file.open((dir / "new.csv").string()));
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(static_cast<mode_t>(fs::status(dir / "new.csv").permissions()), 0666 & ~mask);
    fs::create_symlink("keep.csv", dir / "link.csv");
    ASSERT_TRUE(file.open((dir / "link.csv").string()));
    file.write("through the link\n");
    EXPECT_TRUE(file.commit());
    EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
    EXPECT_EQ(Read(target), "through the link\n");

    // Refused at open, naming what is wrong.
    const std::pair<std::string, std::string> refused[] = {
        {"", "empty file name"},
        {(dir / "no" / "x.csv").string(), "folder does not exist: " + (dir / "no").string() + "/"},
        {dir.string(), dir.string() + " is a folder"},
        {target + "/x.csv", "not a folder: " + target + "/"},
    };
    for (const auto& [path, problem] : refused) {
        EXPECT_FALSE(file.open(path)) << path;
        EXPECT_EQ(file.error(), problem);
    }
    EXPECT_EQ(Read(target), "through the link\n");
}

TEST(OutputFile, FullDiskAndFileSizeLimitKeepTheTarget)
{
    // /dev/full: a device, written in place (never renamed over), every write refused.
    OutputFile full;
    ASSERT_TRUE(full.open("/dev/full")) << full.error();
    full.write("row\n");
    EXPECT_FALSE(full.commit());
    EXPECT_EQ(full.error(), "cannot write /dev/full: No space left on device");
    struct stat st {};
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A file-size limit met half-way: the write fails (SIGXFSZ ignored, as the programs do),
    // the target keeps its old text and the temporary is gone.
    const ScratchFolder scratch("output_file_limit");
    const fs::path& dir = scratch.path();
    const std::string target = (dir / "big.csv").string();
    std::ofstream(target) << "old\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        OutputFile file;
        if (!file.open(target))
            _exit(10);
        for (int i = 0; i < 1000; ++i)
            file.write(std::string(1000, 'x') + "\n");
        const bool committed = file.commit();
        _exit(committed ? 11 : file.error() == "cannot write " + target + ": File too large" ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: not opened, 11: committed, 12: another error";
    EXPECT_EQ(Read(target), "old\n");
    EXPECT_EQ(Names(dir), NameList{"big.csv"});
}

TEST(OutputFile, FifoWrittenInPlaceOnlyWithAReader)
{
    const ScratchFolder scratch("output_file_fifo");
    const fs::path& dir = scratch.path();
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    OutputFile file;
    EXPECT_FALSE(file.open(fifo)); // no reader: refused at once instead of waiting for one
    EXPECT_EQ(file.error(), "no process reads the FIFO " + fifo);

    std::string got;
    // A slow reader: it opens at once and starts reading a while later, when the pipe is full
    // (64 KiB) and writes must wait for it rather than fail.
    std::thread reader([&] {
        std::ifstream in(fifo, std::ios::binary);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::ostringstream all;
        all << in.rdbuf();
        got = all.str();
    });
    // The reader's open() blocks until a writer comes, and ours is refused until it is there.
    bool opened = false;
    for (int i = 0; i < 500 && !(opened = file.open(fifo)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(opened) << file.error();
    std::string rows = "k,t\n";
    while (rows.size() < (1u << 20))
        rows += std::to_string(rows.size()) + ",0\n";
    file.write(rows);
    EXPECT_TRUE(file.commit()) << file.error();
    reader.join();
    EXPECT_EQ(got, rows);
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)); // still the FIFO, not a file renamed over it
}

TEST(OutputFile, EndedBySignalLeavesTargetsAndFoldersAsTheyWere)
{
    const ScratchFolder scratch("output_file_signal");
    const fs::path& dir = scratch.path();
    const std::string target = (dir / "d.csv").string();
    std::ofstream(target) << "old\n";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OutputFile a, b;
        if (!a.open(target) || !b.open((dir / "new.csv").string()))
            _exit(10);
        a.write(std::string(100000, 'x'));
        EndNowBySignal(SIGTERM); // as a second signal's handler does
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(Read(target), "old\n");
    EXPECT_EQ(Names(dir), NameList{"d.csv"}); // both temporaries removed
}

TEST(OutputFile, FolderRenamedDuringTheRunKeepsNoTemporary)
{
    const ScratchFolder scratch("output_file_renamed");
    const fs::path& dir = scratch.path();
    fs::create_directories(dir / "sub");
    OutputFile file;
    ASSERT_TRUE(file.open((dir / "sub" / "d.csv").string()));
    file.write("rows\n");
    fs::rename(dir / "sub", dir / "moved");
    EXPECT_FALSE(file.commit()); // the name given no longer leads to the folder
    EXPECT_EQ(file.error(), "cannot write " + (dir / "sub" / "d.csv").string() + ": No such file or directory");
    EXPECT_EQ(Names(dir / "moved"), NameList{});
}
