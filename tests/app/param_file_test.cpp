// Parameter files: reading, writing, collecting from a panel and typing into one.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "panel/panel_inputs.h"
#include "app/files/param_file.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"
#include "scratch_folder.h"
#include "batch_call.h"

using namespace gravlag;
using gravlag::testing::ScratchFolder;

namespace {

const RegionalFormat kPoint;

std::string Problem(std::string_view text)
{
    std::string problem;
    EXPECT_FALSE(ParseParamFile(text, kPoint, TextReading::AsTyped, problem).has_value()) << text;
    return problem;
}

nlohmann::json Report(const BatchOptions& o)
{
    nlohmann::json report;
    std::ostringstream err;
    EXPECT_EQ(RunBatchReport(o, report, err), 0) << err.str();
    return report;
}

int Main(std::vector<std::string> args, std::string& out, std::string& err)
{
    const gravlag::testing::BatchCall call = gravlag::testing::CallBatch(std::move(args));
    out = call.out;
    err = call.err;
    return call.status;
}

} // namespace

TEST(ParamFile, ReadsBoxTextsInPanelOrder)
{
    std::string problem;
    const auto file = ParseParamFile(R"j({"Tc": "50000", "scenario": "Mercury", "Tmass(0)": "1,5",
                                          "Tn_object": ""})j", kPoint, TextReading::AsTyped, problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_EQ(file->scenario, "Mercury");
    const std::vector<std::pair<std::string, std::string>> boxes = {
        {"Tn_object", ""}, {"Tmass(0)", "1,5"}, {"Tc", "50000"}};
    EXPECT_EQ(file->boxes, boxes);
    // Written back: scenario first, then the panel's order, and read again unchanged.
    const std::string text = ParamFileText(*file);
    EXPECT_LT(text.find("scenario"), text.find("Tn_object"));
    EXPECT_LT(text.find("Tmass(0)"), text.find("Tc"));
    EXPECT_NE(text.find('\n'), text.rfind('\n')); // pretty-printed, a key per line
    EXPECT_EQ(ParseParamFile(text, kPoint, TextReading::AsTyped, problem), file);
    EXPECT_EQ(ParseParamFile("{}", kPoint, TextReading::AsTyped, problem), ParamFile{});
}

TEST(ParamFile, ProblemsNamed)
{
    EXPECT_NE(Problem(R"({"Tc": "1",)").find("line 1, column 12"), std::string::npos);
    EXPECT_NE(Problem("{\n\"Tc\" \"1\"}").find("line 2"), std::string::npos);
    EXPECT_EQ(Problem("").rfind("broken JSON", 0), 0u);
    EXPECT_EQ(Problem(R"({"Tmethode": "Mercury"})"), "unknown key \"Tmethode\"");
    EXPECT_EQ(Problem(R"({"Titer1": "5"})"), "unknown key \"Titer1\"");
    EXPECT_EQ(Problem(R"({"Tc": null})"), "key \"Tc\" must be a string or a number");
    EXPECT_EQ(Problem(R"({"Tc": true})"), "key \"Tc\" must be a string or a number");
    // The boxes would read "1000" of it.
    EXPECT_EQ(Problem(R"({"Tc": "1000\u0000"})"), "key \"Tc\": the text holds a NUL character");
    EXPECT_EQ(Problem(R"({"scenario": ["Mercury"]})"), "key \"scenario\" must be a string");
    EXPECT_EQ(Problem(R"({"scenario": 1})"), "key \"scenario\" must be a string");
    EXPECT_NE(Problem(R"({"scenario": "Mercur"})").find("unknown scenario \"Mercur\""), std::string::npos);
    // JSON sets no limit to a number; one beyond a double is refused, not thrown.
    EXPECT_EQ(Problem(R"({"Tc": -1e400})"), "number overflow parsing '-1e400': beyond the range of a double");
    EXPECT_NE(Problem(R"(["Tc", "5"])").find("JSON object"), std::string::npos);
}

TEST(ParamFile, NumbersAndScenarioNamesAsAPersonMeansThem)
{
    // A number is typed as the shortest text its box reads back as the same double: with the
    // regional separator in the boxes the run reads strictly, with a point in the others.
    const char* const text = R"j({"scenario": "mercury", "Tc": 50000, "Tmass(0)": 0.1, "Tdt": 5e-324,
        "Tmass(1)": 1.7976931348623157e308, "Tvxbase": 9007199254740993, "Tvybase": -0.0,
        "Tn_object": 2.5, "Titer": 200000, "Tpredsel": 1.0})j";
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Tn_object", "2,5"}, {"Tmass(0)", "0.1"}, {"Tmass(1)", "1.7976931348623157e+308"},
        {"Tvxbase", "9007199254740992"}, {"Tvybase", "-0"}, {"Titer", "200000"}, {"Tdt", "5e-324"},
        {"Tc", "50000"}, {"Tpredsel", "1"}};
    RegionalFormat comma;
    comma.decimalSeparator = ",";
    std::string problem;
    const auto file = ParseParamFile(text, comma, TextReading::AsTyped, problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_EQ(file->scenario, "Mercury");
    EXPECT_EQ(file->boxes, expected);
    const nlohmann::json numbers = nlohmann::json::parse(text);
    for (const auto& [box, boxText] : file->boxes) {
        const double read = FindPanelInputByBox(box)->regional
            ? RegionalNumberValue(boxText, comma).value_or(-1)
            : ParseLeadingNumber(boxText);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(read), std::bit_cast<std::uint64_t>(numbers[box].get<double>()))
            << box;
    }
    EXPECT_EQ(ParseParamFile(R"({"Tn_object": 2.5})", kPoint, TextReading::AsTyped, problem)->boxes[0].second, "2.5");

    // Any case, a straight or a curly apostrophe; nothing else is taken for a scenario.
    for (const char* name : {"2 bh's", "2 BH\u2019S", "MERCURY"})
        EXPECT_TRUE(ParseParamFile(std::string(R"({"scenario": ")") + name + "\"}", kPoint, TextReading::AsTyped, problem)) << name;
    EXPECT_EQ(ParseParamFile(R"({"scenario": "2 Bh\u2019s"})", kPoint, TextReading::AsTyped, problem)->scenario, "2 BH's");
    for (const char* name : {"2 BHs", "2 BH\u2018s", " Mercury", "Merkur"})
        EXPECT_NE(Problem(std::string(R"({"scenario": ")") + name + "\"}").find("unknown scenario"), std::string::npos) << name;

    // The command line takes the same names, and reports and records the name "Choice" shows.
    std::string out, err;
    ASSERT_EQ(Main({"--scenario", "mercury", "--iterations", "100", "--json"}, out, err), 0) << err;
    EXPECT_EQ(nlohmann::json::parse(out)["boxes"]["Tmethode"], "Mercury");
    EXPECT_EQ(Main({"--scenario", "Merkur", "--json"}, out, err), 2);
    EXPECT_EQ(err, "gravlag-batch: --scenario: unknown scenario \"Merkur\" (\"2 BH's\" or \"Mercury\")\n");
    EXPECT_EQ(out, "");
}

TEST(ParamFile, ApplyTypesAndSwitchesScenario)
{
    ui::HeadlessServices services;
    Program program(services);
    Form1& form1 = program.form1();
    ParamFile file;
    file.scenario = "Mercury";
    file.boxes = {{"Tn_object", "7"}, {"Tmass(1)", "0.002"}};
    ApplyParamFile(file, form1);
    EXPECT_EQ(form1.box("Tmethode").text(), "Mercury");
    EXPECT_EQ(program.state().scenarioCode, Scenario::Mercury);
    EXPECT_EQ(form1.box("Titer").text(), "1000000"); // what the scenario click set
    EXPECT_EQ(form1.box("Tmass(1)").text(), "0.002"); // typed after the click
    EXPECT_EQ(form1.box("Tn_object").text(), "3");    // its change handler ran, as on typing
    ApplyParamFile(file, form1); // already "Mercury": no click, which would switch back
    EXPECT_EQ(form1.box("Tmethode").text(), "Mercury");
    // A "Choice" typed into shows neither scenario; clicks go on until it shows the file's.
    form1.box("Tmethode").setText("?");
    ApplyParamFile(file, form1);
    EXPECT_EQ(form1.box("Tmethode").text(), "Mercury");
    file.scenario = "2 BH's";
    ApplyParamFile(file, form1);
    EXPECT_EQ(program.state().scenarioCode, Scenario::TwoBlackHoles);
}

TEST(ParamFile, CollectedFileGivesTheSameRun)
{
    BatchOptions typed;
    typed.scenario.emplace("Mercury");
    typed.typed = {{"Titer", "3000"}, {"Tc", "2000"}, {"Tdt", "0,002"}, {"Tmass(2)", "0.3"},
                   {"Tvybase", "0.01"}, {"Tpredsel", "1"}};
    const nlohmann::json expected = Report(typed);
    ASSERT_EQ(expected["ended"], "completed");
    ASSERT_EQ(expected["passes"], 3001);

    // The same texts typed into a panel that then ran: its boxes now show the normalised
    // texts ("c" " 2000", "dt" " .002") and the run's outputs, none of which a file holds.
    ui::HeadlessServices services;
    Program program(services);
    ApplyParamFile({typed.scenario, typed.typed}, program.form1());
    services.button("CommandCalc")->click();
    std::string problem;
    const auto file = ParseParamFile(ParamFileText(CollectParamFile(program.form1())), kPoint, TextReading::AsTyped, problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_EQ(file->boxes.size(), 12u);
    BatchOptions fromFile;
    fromFile.params = file;
    EXPECT_EQ(Report(fromFile).dump(), expected.dump());

    // Box options override the file.
    fromFile.typed = {{"Titer", "100"}};
    EXPECT_EQ(Report(fromFile)["passes"], 101);
}

TEST(ParamFile, BadFileRefusedByTheBatchRunner)
{
    const ScratchFolder dir("params_bad");
    const std::string path = dir / "params_bad.json";
    const std::string csv = dir / "params_bad.csv";
    for (const char* text : {R"({"Tc": "1")", R"({"Tc": [1]})", R"({"Tcc": "1"})", R"({"scenario": "x"})"}) {
        std::ofstream(path) << text;
        std::string out, err;
        EXPECT_EQ(Main({"--params", path, "--json", "--distance-csv", csv}, out, err), 2) << text;
        EXPECT_EQ(out, "") << text; // nothing ran
        EXPECT_EQ(err.rfind("gravlag-batch: --params: " + path + ": ", 0), 0u) << err;
        EXPECT_FALSE(std::ifstream(csv).good()) << "no file written for " << text;
    }
    std::ofstream(path) << R"({"Titer": "200", "Tc": "50000"})";
    std::string out, err;
    ASSERT_EQ(Main({"--params", path, "--json", "--c", "10"}, out, err), 0) << err;
    const nlohmann::json j = nlohmann::json::parse(out);
    EXPECT_EQ(j["passes"], 201);
    EXPECT_EQ(j["boxes"]["Tc"], " 10");
}

TEST(ParamFile, OnlyASmallRegularFileWithOneValuePerKey)
{
    const ScratchFolder scratch("params_kinds");
    const std::string dir = scratch.path().string();
    const std::string fifo = dir + "/fifo", big = dir + "/big.json", file = dir + "/p.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(big) << "{\"Tc\": \"" << std::string(kMaxParamFileBytes, '1') << "\"}";
    const auto problem = [](const std::string& path) {
        std::string p;
        EXPECT_FALSE(LoadParamFile(path, kPoint, TextReading::AsTyped, p)) << path;
        return p;
    };
    // Each refused at once by what it is: a FIFO without a writer and /dev/zero would block
    // or never end if they were read.
    EXPECT_EQ(problem(dir), dir + " is a folder, not a parameter file");
    EXPECT_EQ(problem(fifo), fifo + " is a FIFO, not a parameter file");
    EXPECT_EQ(problem("/dev/zero"), "/dev/zero is a character device, not a parameter file");
    EXPECT_EQ(problem(big), big + " is larger than 1 MiB, too large for a parameter file");
    EXPECT_EQ(problem(dir + "/none.json"), "cannot read " + dir + "/none.json: No such file or directory");

    const std::pair<std::string, std::string> texts[] = {
        {R"({"Tc": "1", "Titer": "5", "Tc": "2"})", "key \"Tc\" given twice"},
        {std::string("{\"Tc\": \"1\"}\0{\"Tc\": \"2\"}", 22), "a NUL byte at byte 12: nothing may follow the JSON object"},
        {R"({"Tc": "1"} {"Tc": "2"})", "expected end of input"},
        {"{\"Tc\": \"\xc3\"}", "ill-formed UTF-8"},
    };
    for (const auto& [text, fragment] : texts) {
        std::ofstream(file, std::ios::binary) << text;
        EXPECT_NE(problem(file).find(fragment), std::string::npos) << problem(file);
    }
    // Keys inside a value do not count as the file's keys (the value is refused anyway).
    EXPECT_EQ(Problem(R"({"Tc": {"a": "1", "a": "2"}})"), "key \"Tc\" must be a string or a number");
}

// The model's keys: exact names, a tolerance > 0; they survive the round trip through a
// file collected from a panel, and they reach the run.
TEST(ParamFile, ModelKeys)
{
    EXPECT_NE(Problem(R"({"integrator": "Euler"})").find("\"euler\" or \"reference\""), std::string::npos);
    EXPECT_NE(Problem(R"({"forceLaw": 1})").find("key \"forceLaw\" must be"), std::string::npos);
    EXPECT_EQ(Problem(R"({"tolerance": 0})"), "key \"tolerance\" must be a number > 0");
    EXPECT_EQ(Problem(R"({"tolerance": "1e-9"})"), "key \"tolerance\" must be a number > 0");

    ui::HeadlessServices services;
    Program program(services);
    program.form1().model = {Integrator::Reference, ForceLaw::AberrationFree, 1e-9};
    std::string problem;
    const auto file = ParseParamFile(ParamFileText(CollectParamFile(program.form1())), kPoint, TextReading::AsTyped, problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_EQ(file->integrator, Integrator::Reference);
    EXPECT_EQ(file->forceLaw, ForceLaw::AberrationFree);
    EXPECT_EQ(file->tolerance, 1e-9);
    BatchOptions o;
    o.params = file;
    o.typed = {{"Titer", "100"}};
    o.forceLaw = ForceLaw::Instantaneous; // the option over the file
    const nlohmann::json model = Report(o)["model"];
    EXPECT_EQ(model["integrator"], "reference");
    EXPECT_EQ(model["forceLaw"], "instantaneous");
    EXPECT_EQ(model["tolerance"], 1e-9);
}
