// Box texts from outside the panel: refused unless wholly a number the run takes as it is,
// at every way in (options, --sweep, parameter files); the names and the "inputs" the report
// gives back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/batch/batch_cli.h"
#include "batch_call.h"
#include "scratch_folder.h"

using namespace gravlag;

namespace {

using Outcome = gravlag::testing::BatchCall;

Outcome Main(std::vector<std::string> args) { return gravlag::testing::CallBatch(std::move(args)); }

const std::string kNotANumber = " is not a number (digits, a point and an exponent only, as 5e4)";

} // namespace

TEST(StrictInput, TextsThePanelWouldReadInPartOrChangeAreRefusedByName)
{
    const gravlag::testing::ScratchFolder scratch("strict");
    const std::string params = (scratch.path() / "p.json").string();
    std::ofstream(params) << R"({"scenario": "Mercury", "c": "50,000"})";
    struct Case {
        std::vector<std::string> args;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {{"--c", "50,000"}, "--c: \"50,000\"" + kNotANumber},  // the panel: 50
        {{"--c", "abc"}, "--c: \"abc\"" + kNotANumber},         // 0, no delay at all
        {{"--c", "5OOO"}, "--c: \"5OOO\"" + kNotANumber},       // 5
        {{"--dt", "1e-3s"}, "--dt: \"1e-3s\"" + kNotANumber},
        {{"--dt", "1e"}, "--dt: \"1e\"" + kNotANumber},
        {{"--mass1", "abc"}, "--mass1: \"abc\"" + kNotANumber},
        {{"--mass2", "1,5"}, "--mass2: \"1,5\"" + kNotANumber},
        {{"--vx-base", "1 000"}, "--vx-base: \"1 000\"" + kNotANumber},
        {{"--r2", ".5."}, "--r2: \".5.\"" + kNotANumber},
        {{"--r3", "&H10"}, "--r3: \"&H10\"" + kNotANumber},
        {{"--c", "1e999"}, "--c: \"1e999\"" + kNotANumber}, // beyond a double
        {{"--c", "inf"}, "--c: \"inf\"" + kNotANumber},
        {{"--c", ""}, "--c: the text is empty: a number is needed"},
        {{"--iterations", "1e6x"}, "--iterations: \"1e6x\" is not a number"},
        {{"--bodies", "1"}, "--bodies: must be 2 or 3 bodies, not \"1\""}, // the box makes it 2
        {{"--bodies", "2.5"}, "--bodies: must be 2 or 3 bodies, not \"2.5\""},
        {{"--prediction", "2"}, "--prediction: must be 0 (velocity estimate) or 1 (position history), not \"2\""},
        {{"--iterations", "1000.5"}, "--iterations: must be a whole number of passes, 0 or more, not \"1000.5\""},
        {{"--iterations", "-1"}, "--iterations: must be a whole number of passes, 0 or more, not \"-1\""},
        {{"--dt", "0"}, "--dt: must not be 0, which the panel takes for 0.001: \"0\""},
        {{"--sweep", "c=5000;5OOO"}, "--sweep c: text 2: \"5OOO\"" + kNotANumber},
        {{"--sweep", "c="}, "--sweep c: text 1: the text is empty: a number is needed"},
        {{"--params", params}, "--params: " + params + ": key \"c\": \"50,000\"" + kNotANumber},
    };
    for (const Case& c : cases) {
        const Outcome r = Main(c.args);
        EXPECT_EQ(r.status, 2) << c.args[1];
        EXPECT_EQ(r.err, "gravlag-batch: " + c.problem + "\n") << c.args[1];
        EXPECT_EQ(r.out, "") << c.args[1];
    }
}

TEST(StrictInput, NumbersAreTakenAndAsTypedKeepsThePanelsReading)
{
    const auto inputs = [](std::vector<std::string> args) {
        args.insert(args.end(), {"--iterations", "200", "--json"});
        const Outcome r = Main(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 ? nlohmann::json::parse(r.out)["inputs"] : nlohmann::json();
    };
    // Blanks around a number, a sign, an exponent: wholly a number.
    EXPECT_EQ(inputs({"--c", " 5e4 ", "--vx-base", "-.25", "--dt", "+2E-3"})["c"]["value"], 50000.0);
    EXPECT_EQ(inputs({"--c", "50,000", "--as-typed"})["c"]["value"], 50.0);
    EXPECT_EQ(inputs({"--c", "abc", "--dt", "0", "--as-typed"})["dt"]["value"], 0.001);
    EXPECT_EQ(inputs({"--as-typed", "--sweep", "c=5OOO"})["c"]["value"], 5.0);
}

TEST(StrictInput, ParameterFilesTakeOptionNamesAndTheReportGivesInputsWithUnits)
{
    const gravlag::testing::ScratchFolder scratch("names");
    const auto run = [&](const std::string& file) {
        const std::string path = (scratch.path() / "p.json").string();
        std::ofstream(path) << file;
        const Outcome r = Main({"--params", path, "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 ? nlohmann::json::parse(r.out) : nlohmann::json();
    };
    const nlohmann::json byOption = run(R"({"scenario": "Mercury", "c": 5000, "r2": 7, "mass3": "0.25",
                                            "vy-base": 0.5, "bodies": 2, "iterations": 3000, "prediction": 1})");
    const nlohmann::json byBox = run(R"j({"scenario": "Mercury", "Tc": "5000", "Dx1": "7", "Tmass(2)": "0.25",
                                         "Tvybase": "0.5", "Tn_object": "2", "Titer": "3000", "Tpredsel": "1"})j");
    EXPECT_EQ(byOption, byBox);
    EXPECT_EQ(byOption["boxes"]["Dx1"], "7");
    EXPECT_EQ(byOption["boxes"]["Dx2"], "30");
    const nlohmann::json expected = {
        {"bodies", {{"value", 2.0}, {"unit", nullptr}}},
        {"mass1", {{"value", 100.0}, {"unit", "mass"}}},
        {"mass2", {{"value", 0.001}, {"unit", "mass"}}},
        {"mass3", {{"value", 0.25}, {"unit", "mass"}}},
        {"r2", {{"value", 7.0}, {"unit", "length"}}},
        {"r3", {{"value", 30.0}, {"unit", "length"}}},
        {"vx-base", {{"value", 0.0}, {"unit", "length/time"}}},
        {"vy-base", {{"value", 0.5}, {"unit", "length/time"}}},
        {"iterations", {{"value", 3000.0}, {"unit", "passes"}}},
        {"dt", {{"value", 0.001}, {"unit", "time"}}},
        {"c", {{"value", 5000.0}, {"unit", "length/time"}}},
        {"prediction", {{"value", 1.0}, {"unit", nullptr}}},
    };
    EXPECT_EQ(byOption["inputs"], expected);

    const std::string both = (scratch.path() / "both.json").string();
    std::ofstream(both) << R"({"c": 5000, "Tc": "5000"})";
    const Outcome r = Main({"--params", both});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "gravlag-batch: --params: " + both + ": keys \"c\" and \"Tc\" both set \"c\": give one\n");
}
