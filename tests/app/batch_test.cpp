// The batch runner end to end: what it prints, its exit status, its files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/batch/batch_run.h"

using gravlag::BatchOptions;
using gravlag::RunBatch;

namespace {

struct Outcome {
    int status;
    nlohmann::json json;
    std::string err;
};

Outcome RunJson(BatchOptions o)
{
    o.json = true;
    std::ostringstream out, err;
    const int status = RunBatch(o, out, err);
    return {status, nlohmann::json::parse(out.str()), err.str()};
}

BatchOptions Typed(std::vector<std::pair<std::string, std::string>> typed)
{
    BatchOptions o;
    o.typed = std::move(typed);
    return o;
}

void ExpectAllFinite(const nlohmann::json& j)
{
    for (const char* key : {"x", "y", "vx", "vy"})
        for (const auto& v : j[key])
            EXPECT_TRUE(std::isfinite(v.get<double>())) << key;
    for (const auto& [name, text] : j["boxes"].items()) {
        const std::string t = text.get<std::string>();
        EXPECT_EQ(t.find("inf"), std::string::npos) << name;
        EXPECT_EQ(t.find("nan"), std::string::npos) << name;
    }
}

} // namespace

TEST(Batch, DefaultsComplete)
{
    const Outcome r = RunJson(Typed({{"Titer", "20000"}}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.json["ended"], "completed");
    EXPECT_EQ(r.json["passes"], 20001);
    EXPECT_EQ(r.json["lastPass"], 20000);
    EXPECT_EQ(r.json["boxes"]["Titer1"], "20000");
    EXPECT_EQ(r.json["boxes"]["Tc"], " 0");
    EXPECT_TRUE(r.json["fitA"].is_null());
    EXPECT_FALSE(r.json.contains("message"));
    ExpectAllFinite(r.json);
}

TEST(Batch, TypedLikeAPerson)
{
    const Outcome r = RunJson(Typed({{"Tn_object", "5"}, {"Tmass(2)", "0,02"}, {"Titer", "100"}}));
    EXPECT_EQ(r.json["boxes"]["Tn_object"], "3");
    EXPECT_EQ(r.json["boxes"]["Tmass(2)"], "0.02");
}

TEST(Batch, MercuryFitsTheApsides)
{
    BatchOptions o;
    o.scenario = "Mercury";
    o.apsisCsv = ::testing::TempDir() + "apsis.csv";
    const Outcome r = RunJson(o);
    EXPECT_EQ(r.status, 0);
    EXPECT_GT(r.json["apsisCount"].get<int>(), 100);
    EXPECT_NEAR(r.json["fitA"].get<double>(), 45, 0.1);
    std::ifstream csv(o.apsisCsv);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "k,apsisCount,apsisAngle,fitA,fitB,predAngle");
    int rows = 0;
    double lastPred = 0;
    while (std::getline(csv, line)) {
        ++rows;
        lastPred = std::stod(line.substr(line.rfind(',') + 1));
    }
    EXPECT_EQ(rows, r.json["apsisCount"].get<int>());
    EXPECT_EQ(lastPred, r.json["predAngle"].get<double>()); // written exactly
}

TEST(Batch, StopAt)
{
    BatchOptions o = Typed({});
    o.stopAt = 1234;
    const Outcome r = RunJson(o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.json["ended"], "stopped");
    EXPECT_EQ(r.json["lastPass"], 1300);
    EXPECT_EQ(r.json["boxes"]["Titer1"], "1300");
}

TEST(Batch, RefusalsAndFaults)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> typed;
        int status;
        const char* ended;
        const char* fragment;
    };
    const Case cases[] = {
        {{{"Tmass(1)", "-100"}}, 2, "refused", "Mass 1"},
        {{{"Dx1", "0"}}, 2, "refused", "r  m(2)"},
        {{{"Titer", "many"}}, 2, "refused", "Iteration"},
        {{{"Tpredsel", "?"}}, 2, "refused", "Prediction"},
        {{{"Tn_object", ""}}, 2, "refused", "n object"},
        {{{"Tdt", "1e300"}}, 3, "fault", "Pass 0"},
        {{{"Tc", "1e-310"}, {"Tpredsel", "1"}}, 3, "fault", "Pass 0"},
        {{{"Tmass(0)", "1e308"}, {"Tmass(1)", "1e308"}}, 2, "refused", "overflow"},
    };
    for (const Case& c : cases) {
        const Outcome r = RunJson(Typed(c.typed));
        EXPECT_EQ(r.status, c.status) << c.typed[0].first;
        EXPECT_EQ(r.json["ended"], c.ended) << c.typed[0].first;
        EXPECT_NE(r.json["message"].get<std::string>().find(c.fragment), std::string::npos)
            << r.json["message"];
        EXPECT_NE(r.err.find(c.fragment), std::string::npos);
        ExpectAllFinite(r.json);
    }
}

TEST(Batch, PicturesWritten)
{
    BatchOptions o = Typed({{"Titer", "3000"}});
    o.simPng = ::testing::TempDir() + "sim.png";
    o.plotPng = ::testing::TempDir() + "plot.png";
    EXPECT_EQ(RunJson(o).status, 0);
    for (const std::string& f : {o.simPng, o.plotPng}) {
        std::ifstream png(f, std::ios::binary);
        char magic[4] = {};
        png.read(magic, 4);
        EXPECT_EQ(std::string(magic + 1, 3), "PNG") << f;
    }
    o.simPng = "/nonexistent-dir/x.png";
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch(o, out, err), 2);
    EXPECT_NE(err.str().find("--sim-png"), std::string::npos);
}

TEST(Batch, CasesKeptOnPurpose)
{
    // "Prediction" other than 1 is the velocity estimate; c at or below 0 an instantaneous
    // pull; "n object" is kept between 2 and 3 as it is typed.
    const auto positions = [](std::vector<std::pair<std::string, std::string>> typed) {
        typed.emplace_back("Titer", "3000");
        const nlohmann::json j = RunJson(Typed(typed)).json;
        EXPECT_EQ(j["ended"], "completed");
        return j["x"].dump() + j["y"].dump();
    };
    const std::string velocity = positions({{"Tc", "600"}, {"Tpredsel", "0"}});
    EXPECT_EQ(positions({{"Tc", "600"}, {"Tpredsel", "2"}}), velocity);
    EXPECT_EQ(positions({{"Tc", "600"}, {"Tpredsel", "-1"}}), velocity);
    EXPECT_NE(positions({{"Tc", "600"}, {"Tpredsel", "1"}}), velocity);
    const std::string instantaneous = positions({{"Tc", "0"}});
    EXPECT_EQ(positions({{"Tc", "-5"}}), instantaneous);
    EXPECT_NE(velocity, instantaneous);
    EXPECT_EQ(positions({{"Tn_object", "7"}}), instantaneous); // three bodies, as the default
    EXPECT_EQ(positions({{"Tn_object", "1"}}), positions({{"Tn_object", "2"}}));
}
