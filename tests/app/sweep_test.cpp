// Sweeps: the grid of points, their options, and runs on several threads equal to runs alone.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "app/batch/sweep.h"
#include "csv_reader.h"

using namespace gravlag;

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
    const SweepAxis c = Axis("c=5000;0,5;");
    EXPECT_EQ(c.option, "c");
    EXPECT_EQ(c.box, "Tc");
    EXPECT_EQ(c.texts, (std::vector<std::string>{"5000", "0,5", ""}));
    EXPECT_EQ(Axis("vx-base=1").box, "Tvxbase");
    EXPECT_EQ(Axis("mass3=a=b").texts, std::vector<std::string>{"a=b"}); // only the first '=' splits
    std::string problem;
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
    ASSERT_EQ(RunSweep(base, sweep, 2, out, err, false), 0) << err.str();
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
    base.trajectoryCsv = ::testing::TempDir() + "sweep_t.csv";
    const Sweep sweep = Grid({Axis("mass1=100;-100;1e300"), Axis("dt=0.001;1e300")});
    std::ostringstream out, err;
    EXPECT_EQ(RunSweep(base, sweep, 3, out, err, false), 3); // the worst: a fault
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
    const Csv first = ReadCsv(::testing::TempDir() + "sweep_t-1.csv");
    EXPECT_EQ(first.rows.size(), 6u);
    EXPECT_EQ(Real(first.rows.back()[1]), nlohmann::json::parse(lines[0])["x"][0].get<double>());

    base.trajectoryCsv = "/nonexistent-dir/t.csv";
    std::ostringstream out2, err2;
    EXPECT_EQ(RunSweep(base, sweep, 2, out2, err2, false), 2);
    EXPECT_EQ(out2.str(), "");
    EXPECT_EQ(err2.str(), "gravlag-batch: --trajectory-csv: cannot write /nonexistent-dir/t-1.csv\n");
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
