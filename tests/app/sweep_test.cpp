// Sweeps: the grid of points, their options, and runs on several threads equal to runs alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "app/batch/out_folder.h"
#include "app/batch/sweep.h"
#include "core/lane_group.h"
#include "csv_reader.h"
#include "scratch_folder.h"
#include "batch_call.h"

using namespace gravlag;
using gravlag::testing::ScratchFolder;

namespace {

SweepAxis Axis(std::string_view argument)
{
    std::string problem;
    std::optional<SweepAxis> axis = ParseSweepAxis(argument, problem);
    EXPECT_TRUE(axis) << problem;
    return axis.value_or(SweepAxis{});
}

Sweep Grid(std::vector<SweepAxis> axes)
{
    std::string problem;
    std::optional<Sweep> sweep = Sweep::Make(std::move(axes), problem);
    EXPECT_TRUE(sweep) << problem;
    return sweep.value_or(*Sweep::Make({}, problem));
}

SweepSettings Jobs(unsigned jobs)
{
    SweepSettings settings;
    settings.jobs = jobs;
    return settings;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

} // namespace

TEST(SweepAxis, Parsing)
{
    const SweepAxis c = Axis("c=5000;0,5");
    EXPECT_EQ(c.option, "c");
    EXPECT_EQ(c.box, "Tc");
    EXPECT_EQ(c.texts, (std::vector<std::string>{"5000", "0,5"}));
    // An empty text stands alone; in a list it is a slip, named by its place.
    EXPECT_EQ(Axis("c=").texts, std::vector<std::string>{""});
    const std::pair<const char*, const char*> empty[] = {
        {"c=1;;2", "--sweep c: text 2 is empty (an empty box is swept alone: c=)"},
        {"dt=0,001;", "--sweep dt: text 2 is empty (an empty box is swept alone: dt=)"},
        {"c=;", "--sweep c: text 1 is empty (an empty box is swept alone: c=)"}};
    EXPECT_EQ(Axis("vx-base=1").box, "Tvxbase");
    EXPECT_EQ(Axis("mass3=a=b").texts, std::vector<std::string>{"a=b"}); // only the first '=' splits
    std::string problem;
    for (const auto& [argument, message] : empty) {
        EXPECT_FALSE(ParseSweepAxis(argument, problem)) << argument;
        EXPECT_EQ(problem, message);
    }
    EXPECT_FALSE(ParseSweepAxis("c", problem));
    EXPECT_NE(problem.find("NAME="), std::string::npos);
    EXPECT_FALSE(ParseSweepAxis("Tc=1", problem)); // option names, not control names
    EXPECT_NE(problem.find("unknown name \"Tc\""), std::string::npos);
    EXPECT_FALSE(ParseSweepAxis("--c=1", problem));
    EXPECT_FALSE(Sweep::Make({Axis("c=1"), Axis("dt=1"), Axis("c=2")}, problem));
    EXPECT_NE(problem.find("c given twice"), std::string::npos);
}

TEST(Sweep, GridFirstAxisOutermost)
{
    const Sweep sweep = Grid({Axis("c=1;2"), Axis("dt=a;b;c")});
    ASSERT_EQ(sweep.points(), 6u);
    using Texts = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(sweep.pointTexts(0), (Texts{{"c", "1"}, {"dt", "a"}}));
    EXPECT_EQ(sweep.pointTexts(2), (Texts{{"c", "1"}, {"dt", "c"}}));
    EXPECT_EQ(sweep.pointTexts(3), (Texts{{"c", "2"}, {"dt", "a"}}));
    EXPECT_EQ(sweep.pointTexts(5), (Texts{{"c", "2"}, {"dt", "c"}}));

    // The point's text replaces the command line's for that box, in its place; the others stay.
    BatchOptions base;
    base.typed = {{"Tc", "9"}, {"Titer", "100"}};
    base.distanceCsv = "out/run.d.csv";
    base.simPng = "sim";
    const BatchOptions p = sweep.pointOptions(base, 4);
    const std::vector<std::pair<std::string, std::string>> typed = {
        {"Tc", "2"}, {"Titer", "100"}, {"Tdt", "b"}};
    EXPECT_EQ(p.typed, typed);
    EXPECT_TRUE(p.json);
    EXPECT_EQ(p.distanceCsv, "out/run.d-5.csv");
    EXPECT_EQ(p.simPng, "sim-5");
    EXPECT_EQ(p.trajectoryCsv, "");
}

TEST(Sweep, PointFileNames)
{
    EXPECT_EQ(PointFileName("a.csv", 3), "a-3.csv");
    EXPECT_EQ(PointFileName("dir.v2/a", 12), "dir.v2/a-12");
    EXPECT_EQ(PointFileName("dir/.hidden", 1), "dir/.hidden-1");
    EXPECT_EQ(PointFileName("", 1), "");
}

TEST(Sweep, ThreadsGiveTheRunsMadeAlone)
{
    BatchOptions base;
    base.typed = {{"Titer", "3000"}, {"Tmass(2)", "1"}};
    const Sweep sweep = Grid({Axis("c=0;800"), Axis("prediction=0;1")});
    std::ostringstream out, err;
    ASSERT_EQ(RunSweep(base, sweep, Jobs(2), out, err), 0) << err.str();
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 4u);
    std::set<std::string> distinct;
    for (std::size_t i = 0; i < 4; ++i) {
        nlohmann::json line = nlohmann::json::parse(lines[i]);
        nlohmann::json point = nlohmann::json::object();
        for (const auto& [option, text] : sweep.pointTexts(i))
            point[option] = text;
        EXPECT_EQ(line["point"], point) << i;
        line.erase("point");

        BatchOptions alone = base;
        alone.typed.emplace_back("Tc", i < 2 ? "0" : "800");
        alone.typed.emplace_back("Tpredsel", i % 2 == 0 ? "0" : "1");
        nlohmann::json report;
        std::ostringstream aloneErr;
        ASSERT_EQ(RunBatchReport(alone, report, aloneErr), 0);
        EXPECT_EQ(line.dump(), report.dump()) << "point " << i + 1; // shortest round-trip texts
        distinct.insert(line["x"].dump());
    }
    EXPECT_EQ(distinct.size(), 3u); // c 0 ignores "Prediction": points 1 and 2 agree
}

TEST(Sweep, StatusFilesAndProblemsPerPoint)
{
    BatchOptions base;
    base.typed = {{"Titer", "500"}};
    const ScratchFolder dir("sweep");
    base.trajectoryCsv = dir / "sweep_t.csv";
    const Sweep sweep = Grid({Axis("mass1=100;-100;1e300"), Axis("dt=0.001;1e300")});
    std::ostringstream out, err;
    EXPECT_EQ(RunSweep(base, sweep, Jobs(3), out, err), 2); // the worst: a refused point
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(nlohmann::json::parse(lines[0])["ended"], "completed");
    EXPECT_EQ(nlohmann::json::parse(lines[1])["ended"], "fault");
    EXPECT_EQ(nlohmann::json::parse(lines[2])["ended"], "refused");
    // Problems name their point, in point order.
    const std::vector<std::string> problems = Lines(err.str());
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].rfind("gravlag-batch: point 2: Pass 0", 0), 0u) << problems[0];
    EXPECT_EQ(problems[1].rfind("gravlag-batch: point 3: ", 0), 0u) << problems[1];
    EXPECT_NE(problems[1].find("Mass 1"), std::string::npos);
    // One trajectory per point, of that point's run.
    const Csv first = ReadCsv(dir / "sweep_t-1.csv");
    EXPECT_EQ(first.rows.size(), 6u);
    EXPECT_EQ(Real(first.rows.back()[2]), nlohmann::json::parse(lines[0])["x"][0].get<double>());

    base.trajectoryCsv = "/nonexistent-dir/t.csv";
    std::ostringstream out2, err2;
    EXPECT_EQ(RunSweep(base, sweep, Jobs(2), out2, err2), 2);
    EXPECT_EQ(out2.str(), "");
    EXPECT_EQ(err2.str(), "gravlag-batch: --trajectory-csv: folder does not exist: /nonexistent-dir/\n");
}

TEST(Sweep, CommandLine)
{
    const char* argv[] = {"gravlag-batch", "--iterations", "200", "--sweep", "c=0;50000",
                          "--sweep", "bodies=2;3", "--jobs", "2"};
    std::ostringstream out, err;
    ASSERT_EQ(BatchMain(static_cast<int>(std::size(argv)), argv, out, err, false), 0) << err.str();
    const std::vector<std::string> lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 4u);
    const nlohmann::json last = nlohmann::json::parse(lines[3]);
    EXPECT_EQ(last["point"], (nlohmann::json{{"c", "50000"}, {"bodies", "3"}}));
    EXPECT_EQ(last["boxes"]["Tc"], " 50000");
    EXPECT_EQ(last["passes"], 201);

    const char* bad[] = {"gravlag-batch", "--sweep", "speed=1"};
    std::ostringstream out2, err2;
    EXPECT_EQ(BatchMain(3, bad, out2, err2, false), 2);
    EXPECT_EQ(out2.str(), "");
    EXPECT_NE(err2.str().find("unknown name \"speed\""), std::string::npos);
}

TEST(Sweep, GridsUpTo2To63PointsAndPointLists)
{
    std::vector<SweepAxis> axes;
    for (int i = 0; i < 63; ++i)
        axes.push_back({"c", "Tc" + std::to_string(i), {"a", "b"}}); // boxes need only differ here
    std::string problem;
    const std::optional<Sweep> largest = Sweep::Make(axes, problem);
    ASSERT_TRUE(largest) << problem;
    EXPECT_EQ(largest->points(), std::uint64_t{1} << 63);
    EXPECT_EQ(largest->pointTexts(largest->points() - 1).back().second, "b");
    BatchOptions base;
    base.distanceCsv = "d.csv";
    EXPECT_EQ(largest->pointOptions(base, largest->points() - 1).distanceCsv, "d-9223372036854775808.csv");
    axes.push_back({"c", "Tc63", {"a", "b"}});
    EXPECT_FALSE(Sweep::Make(axes, problem));
    EXPECT_EQ(problem, "--sweep: the grid has more than 2^63 points");

    const std::optional<PointList> list = PointList::Parse("9-12,1,3,10", 12, problem);
    ASSERT_TRUE(list) << problem;
    EXPECT_EQ(list->count(), 6u);
    PointList::Cursor cursor(*list);
    std::vector<std::uint64_t> walked;
    while (const auto n = cursor.next())
        walked.push_back(*n);
    EXPECT_EQ(walked, (std::vector<std::uint64_t>{1, 3, 9, 10, 11, 12}));
    for (const char* bad : {"", "0", "1,", "3-2", "a", "1-2-3", "-1"})
        EXPECT_FALSE(PointList::Parse(bad, 12, problem)) << bad;
}

TEST(Sweep, OutResumeAndPointsKeepTheGridsNumbers)
{
    const ScratchFolder scratch("sweep_out");
    const std::string dir = scratch / "out"; // made by the first run
    const auto sweep = [&](std::vector<std::string> extra, const char* iterations = "300") {
        std::vector<std::string> args = {"gravlag-batch", "--iterations", iterations, "--every", "100",
                                         "--sweep", "c=0;100;200;300", "--jobs", "2", "--out", dir,
                                         "--distance-csv", "d.csv"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<const char*> argv;
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        std::ostringstream out, err;
        EXPECT_EQ(BatchMain(static_cast<int>(argv.size()), argv.data(), out, err, false), 0) << err.str();
        return Lines(out.str());
    };
    const auto file = [&](const std::string& name) { return dir + "/" + name; };
    const auto tamper = [&](int point, const char* ended = nullptr) {
        const std::string path = file("point-" + std::to_string(point) + ".json");
        nlohmann::json j = nlohmann::json::parse(std::ifstream(path));
        j["x"][0] = 12345.0;
        if (ended) {
            j["ended"] = ended;
            j["signal"] = "SIGTERM";
        }
        std::ofstream(path) << j.dump() << "\n";
    };
    const auto x0 = [](const std::string& line) { return nlohmann::json::parse(line)["x"][0].get<double>(); };

    // A job array's task: two points of the grid, with their numbers in the whole grid.
    const std::vector<std::string> some = sweep({"--points", "4,2"});
    ASSERT_EQ(some.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(some[0])["point"]["c"], "100");
    EXPECT_EQ(nlohmann::json::parse(some[1])["point"]["c"], "300");
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"d-2.csv", "d-4.csv", "point-2.json", "point-4.json", "sweep.lock"}));
    EXPECT_EQ(ReadCsv(file("d-4.csv")).rows.size(), 4u);

    // Resumed: points done are reprinted from their files (the tampered value shows it),
    // the others run.
    tamper(2);
    tamper(4);
    std::vector<std::string> all = sweep({"--resume"});
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(x0(all[1]), 12345.0);
    EXPECT_EQ(x0(all[3]), 12345.0);
    EXPECT_NE(x0(all[0]), 12345.0);
    EXPECT_EQ(nlohmann::json::parse(all[2])["point"]["c"], "200");
    EXPECT_TRUE(std::filesystem::exists(file("point-3.json")));

    // Run again: a point a signal stopped, and one whose file is missing.
    tamper(1, "stopped");
    std::filesystem::remove(file("d-4.csv"));
    all = sweep({"--resume"});
    ASSERT_EQ(all.size(), 4u);
    EXPECT_NE(x0(all[0]), 12345.0);
    EXPECT_EQ(x0(all[1]), 12345.0);
    EXPECT_EQ(all[3], some[1]); // run again, the same line as the first time
    EXPECT_EQ(ReadCsv(file("d-4.csv")).rows.size(), 4u);

    // Other inputs: every point runs again.
    all = sweep({"--resume"}, "400");
    ASSERT_EQ(all.size(), 4u);
    EXPECT_NE(x0(all[1]), 12345.0);
    EXPECT_EQ(nlohmann::json::parse(all[1])["passes"], 401);
}

TEST(Sweep, APointsFilesAndReportAreOneUnit)
{
    namespace fs = std::filesystem;
    const gravlag::testing::ScratchFolder scratch("sweep_unit");
    const fs::path& dir = scratch.path();
    const auto batch = [](std::vector<std::string> args, std::vector<std::string>& lines, std::string& problems) {
        const gravlag::testing::BatchCall call = gravlag::testing::CallBatch(std::move(args));
        lines = Lines(call.out);
        problems = call.err;
        return call.status;
    };
    const auto read = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::vector<std::string> lines, first;
    std::string problems;

    // A refused command leaves no folder behind, whether refused while reading it or at the
    // first point's files.
    EXPECT_EQ(batch({"--sweep", "c=1", "--out", (dir / "new").string(), "--params", "/nonexistent.json"}, lines, problems), 2);
    EXPECT_EQ(batch({"--sweep", "c=1", "--out", (dir / "new").string(), "--distance-csv", std::string(300, 'd')}, lines,
                    problems), 2);
    EXPECT_NE(problems.find("--distance-csv: cannot write"), std::string::npos) << problems;
    EXPECT_FALSE(fs::exists(dir / "new"));

    const auto sweep = [&](const char* iterations, const fs::path& out) {
        return std::vector<std::string>{"--iterations", iterations, "--every", "100", "--sweep", "c=0;100",
                                        "--jobs", "1", "--out", out.string(), "--distance-csv", "d.csv", "--resume"};
    };
    const fs::path runs = dir / "runs";
    ASSERT_EQ(batch(sweep("300", runs), first, problems), 0) << problems;
    const std::string d1 = read(runs / "d-1.csv");
    // Other inputs, cut off after point 1's CSV and before its report (SIGKILL, a report
    // refused by a file-size limit): their CSV beside the first run's report.
    ASSERT_EQ(batch(sweep("400", dir / "other"), lines, problems), 0) << problems;
    fs::copy_file(dir / "other" / "d-1.csv", runs / "d-1.csv", fs::copy_options::overwrite_existing);
    // A report that ended "completed" but names a signal (one stopped a companion run).
    nlohmann::json stopped = nlohmann::json::parse(read(runs / "point-2.json"));
    stopped["signal"] = "SIGTERM";
    stopped["x"][0] = 12345.0;
    std::ofstream(runs / "point-2.json") << stopped.dump() << "\n";
    ASSERT_EQ(batch(sweep("300", runs), lines, problems), 0) << problems;
    EXPECT_EQ(lines, first); // both run again: the same lines as the first time
    EXPECT_EQ(read(runs / "d-1.csv"), d1);
    EXPECT_EQ(nlohmann::json::parse(read(runs / "point-2.json"))["x"][0], nlohmann::json::parse(first[1])["x"][0]);

    // A point another process holds is refused; the others run.
    PointLock held;
    std::string problem;
    ASSERT_TRUE(held.lock(runs.string(), 2, problem));
    EXPECT_EQ(batch(sweep("300", runs), lines, problems), 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], first[0]);
    const std::string refusal = "--out: another process is running point 2 in " + runs.string();
    EXPECT_EQ(lines[1], nlohmann::json({{"error", refusal}, {"point", {{"c", "100"}}}}).dump());
    EXPECT_EQ(problems, "gravlag-batch: point 2: " + refusal + "\n");
}

// A lane's pass checks its values only as a pass alone folds them: a pass that fails is
// computed again by its run, which names the fault the run alone names. Bodies far apart
// and heavy, and steps long enough to overflow the distance after the move, the force or
// the motion at the first passes.
TEST(Sweep, LanesLeaveTheNamingOfAFaultToTheRun)
{
    if (LaneGroup::WidestLanes() < 4)
        GTEST_SKIP() << "no SIMD lanes on this processor";
    std::string alone;
    for (const char* lanes : {"1", "4", "8"}) {
        if (std::atoi(lanes) > LaneGroup::WidestLanes())
            continue;
        const char* argv[] = {"gravlag-batch", "--scenario", "2 BH's", "--r2", "1e100", "--mass1", "1e200",
                              "--mass2", "1e200", "--iterations", "50", "--json", "--sweep", "dt=1e104;1e60;1e30",
                              "--sweep", "c=0;1e90", "--sweep", "bodies=2;3", "--sweep", "prediction=0;1",
                              "--jobs", "1", "--lanes", lanes};
        std::ostringstream o, e;
        EXPECT_EQ(BatchMain(static_cast<int>(std::size(argv)), argv, o, e, false), 3) << e.str();
        if (std::string_view(lanes) == "1") {
            alone = o.str();
            EXPECT_NE(alone.find("Pass 0: overflow in the distance of body 1 and body 2"), std::string::npos);
            EXPECT_NE(alone.find("Pass 1: overflow in the force on body 1 from body 2"), std::string::npos);
            continue;
        }
        EXPECT_EQ(o.str(), alone) << lanes << " lanes";
    }
}

// Lanes compute several points' passes at once; every byte a point writes is still the one
// its run alone writes: its line, CSV rows at uneven passes, apsis events, both pictures,
// for lanes that end early (fewer passes, a stop, a fault at the first pass or later).
TEST(Sweep, LanesWriteWhatRunsAloneWrite)
{
    if (LaneGroup::WidestLanes() < 4)
        GTEST_SKIP() << "no SIMD lanes on this processor";
    const ScratchFolder dir("lanes");
    // Each file's bytes, the folder's name (in the reports) left out.
    const auto files = [](const std::string& folder) {
        std::map<std::string, std::string> bytes;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string text(std::istreambuf_iterator<char>(in), {});
            for (std::size_t at; (at = text.find(folder)) != std::string::npos;)
                text.replace(at, folder.size(), "OUT");
            bytes[entry.path().filename().string()] = text;
        }
        return bytes;
    };
    for (const char* scenario : {"2 BH's", "Mercury"}) {
        const bool mercury = std::string_view(scenario) == "Mercury";
        std::map<std::string, std::string> aloneFiles;
        std::string aloneOut, aloneErr;
        for (const char* lanes : {"1", "4", "8"}) {
            if (std::atoi(lanes) > LaneGroup::WidestLanes())
                continue;
            const std::string out = dir / (std::string(mercury ? "m" : "b") + lanes);
            const char* argv[] = {"gravlag-batch", "--scenario", scenario, "--stop-at", "3000",
                                  "--every", "37", "--trajectory-csv", "t.csv", "--apsis-csv", "a.csv",
                                  "--sim-png", "s.png", "--plot-png", "p.png", "--out", out.c_str(),
                                  "--dt", mercury ? "0.01" : "0.001", "--sweep", "c=0;50;1e-300",
                                  "--sweep", "prediction=0;1", "--sweep", "iterations=2100;3345",
                                  "--sweep", "bodies=2;3", "--jobs", "1", "--lanes", lanes};
            std::ostringstream o, e;
            EXPECT_EQ(BatchMain(static_cast<int>(std::size(argv)), argv, o, e, false), 3) << e.str();
            const std::map<std::string, std::string> written = files(out);
            if (std::string_view(lanes) == "1") {
                aloneFiles = written;
                aloneOut = o.str();
                aloneErr = e.str();
                // What the comparison rests on: stops, faults and apsis events among the points.
                EXPECT_EQ(aloneFiles.size(), 24u * 5 + 1); // 4 files and a report a point; the lock
                EXPECT_NE(aloneOut.find("\"ended\":\"stopped\""), std::string::npos);
                EXPECT_NE(aloneOut.find("\"message\":\"Pass 0: "), std::string::npos);
                EXPECT_NE(aloneOut.find("\"message\":\"Pass 20: "), std::string::npos);
                if (mercury) {
                    EXPECT_NE(aloneOut.find("\"apsisCount\":4"), std::string::npos);
                }
                continue;
            }
            EXPECT_EQ(o.str(), aloneOut) << scenario << ", " << lanes << " lanes";
            EXPECT_EQ(e.str(), aloneErr) << scenario << ", " << lanes << " lanes";
            EXPECT_TRUE(written == aloneFiles) << scenario << ", " << lanes << " lanes";
        }
    }
}
