// What the batch runner refuses before anything runs, and how it reports outputs that
// could not be written: an output is complete and right, or it is not there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/batch/batch_cli.h"
#include "batch_call.h"
#include "scratch_folder.h"

using namespace gravlag;
namespace fs = std::filesystem;
using gravlag::testing::ScratchFolder;

namespace {

using Outcome = gravlag::testing::BatchCall;

Outcome Main(std::vector<std::string> args) { return gravlag::testing::CallBatch(std::move(args)); }

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string() + " " + Read(e.path()));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(Integrity, RefusedBeforeAnythingRunsAndNothingTouched)
{
    const ScratchFolder scratch("integrity_refused");
    const fs::path& dir = scratch.path();
    const std::string keep = (dir / "keep.csv").string(), params = (dir / "p.json").string();
    std::ofstream(keep) << "old\n";
    std::ofstream(params) << R"({"Titer": "100"})";
    const std::vector<std::string> before = Listing(dir);
    const std::string longNumber(300, '9');
    struct Case {
        std::vector<std::string> args;
        std::string problem; // the whole message line, after "gravlag-batch: "
        bool runRefused = false; // refused by the run's set-up: its report is printed
    };
    const Case cases[] = {
        {{"--iterations", "abc", "--as-typed", "--distance-csv", keep}, "\"Iteration\" is not a number: \"abc\"", true},
        {{"--mass1", "5e-324", "--mass2", "5e-324", "--mass3", "5e-324", "--dt", "1e304",
          "--iterations", "200000", "--every", "1000", "--distance-csv", keep},
         "--distance-csv: the time column would not be finite: the last pass 200000 times dt "
         "1e+304 is beyond the largest double",
         true},
        {{"--distance-csv", keep, "--trajectory-csv", keep}, "--distance-csv and --trajectory-csv name the same file: " + keep},
        {{"--sim-png", (dir / "x").string(), "--plot-png", dir.string() + "/./x"},
         "--sim-png and --plot-png name the same file: " + dir.string() + "/./x"},
        {{"--params", params, "--apsis-csv", params}, "--apsis-csv: " + params + " is the --params file"},
        {{"--distance-csv", ""}, "--distance-csv: empty file name"},
        {{"--trajectory-csv", (dir / "out" / "t.csv").string()},
         "--trajectory-csv: folder does not exist: " + (dir / "out").string() + "/"},
        {{"--iterations", "1000", "--sim-png", (dir / "out" / "s.png").string()},
         "--sim-png: folder does not exist: " + (dir / "out").string() + "/"},
        {{"--plot-png", dir.string()}, "--plot-png: " + dir.string() + " is a folder"},
        {{"--mass1", "\xc3"}, "--mass1: the text is not valid UTF-8"},
        {{"--sweep", "mass1=1;\xc3\x28", "--distance-csv", keep}, "--sweep mass1: text 2 is not valid UTF-8"},
        {{"--every", longNumber}, "--every must be a whole number from 1 to 10^18"},
        {{"--every", "0"}, "--every must be a whole number from 1 to 10^18"},
        {{"--stop-at", "-5"}, "--stop-at must be a whole number from 0 to 10^18"},
        {{"--sweep", "c=1", "--jobs", "1e3"}, "--jobs must be a whole number from 1 to 1024"},
        {{"--sweep", "c=1;2", "--points", "3"}, "--points: the grid has 2 points, counted from 1"},
        {{"--sweep", "c=1;2", "--points", "2-1"}, "--points must be point numbers and ranges such as 5, 5-8 or 1,3,9-12"},
        {{"--sweep", "c=1;2", "--points", longNumber}, "--points must be point numbers and ranges such as 5, 5-8 or 1,3,9-12"},
        {{"--points", "1"}, "--points needs --sweep"},
        {{"--sweep", "c=1", "--resume"}, "--resume needs --out"},
        {{"--sweep", "c=1", "--out", dir.string(), "--distance-csv", "sub/d.csv"},
         "--distance-csv: with --out, give a file name without a folder (the files go into " + dir.string() + ")"},
        {{"--sweep", "c=1;2", "--distance-csv", keep, "--trajectory-csv", keep},
         "--distance-csv and --trajectory-csv name the same file: " + (dir / "keep-1.csv").string()},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const Outcome r = Main(args);
        const std::string what = c.args[0] + " " + c.args[1];
        EXPECT_EQ(r.status, 2) << what;
        EXPECT_EQ(r.err, "gravlag-batch: " + c.problem + "\n") << what;
        if (c.runRefused)
            EXPECT_EQ(nlohmann::json::parse(r.out)["ended"], "refused") << what;
        else
            EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(Listing(dir), before) << what << ": a file was written or changed";
    }
}

TEST(Integrity, OutputsThatCannotBeWrittenAreReportedAndOthersStillWritten)
{
    // A full disk for four outputs (/dev/full takes several: it is a device, written in
    // place); the trajectory beside them is written whole all the same.
    const ScratchFolder scratch("integrity_full");
    const fs::path& dir = scratch.path();
    const std::string trajectory = (dir / "t.csv").string();
    const Outcome r = Main({"--scenario", "Mercury", "--iterations", "20000", "--json", "--sim-png", "/dev/full",
                            "--plot-png", "/dev/full", "--apsis-csv", "/dev/full", "--distance-csv", "/dev/full",
                            "--trajectory-csv", trajectory});
    EXPECT_EQ(r.status, 4);
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["ended"], "completed");
    const nlohmann::json expected = {"--apsis-csv: cannot write /dev/full: No space left on device",
                                     "--distance-csv: cannot write /dev/full: No space left on device",
                                     "--sim-png: cannot write /dev/full: No space left on device",
                                     "--plot-png: cannot write /dev/full: No space left on device"};
    EXPECT_EQ(j["outputErrors"], expected);
    for (const auto& e : expected)
        EXPECT_NE(r.err.find("gravlag-batch: " + e.get<std::string>() + "\n"), std::string::npos) << e;
    const std::string rows = Read(trajectory);
    EXPECT_EQ(rows.rfind("k,t,x1,y1,vx1,vy1,x2,y2,vx2,vy2,x3,y3,vx3,vy3\n", 0), 0u);
    EXPECT_NE(rows.find("\n20000,"), std::string::npos); // the last pass, and a whole line
    EXPECT_EQ(rows.back(), '\n');

    // All written: the list is there and empty.
    const Outcome ok = Main({"--iterations", "100", "--json"});
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(nlohmann::json::parse(ok.out)["outputErrors"], nlohmann::json::array());
}
