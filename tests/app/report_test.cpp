// The batch runner's run report: the budget against its companion runs made alone, the same
// report from a single run, a sweep and a parameter file, an analysed run bit for bit the run
// without, the main loop's delay record, the elements CSV against the report, --duration,
// the warnings of real runs, and --converge against its runs made alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "app/files/system_file.h"
#include "core/analysis/convergence.h"
#include "csv_reader.h"
#include "scratch_folder.h"

using namespace gravlag;
using gravlag::testing::ScratchFolder;

namespace {

nlohmann::json Reported(BatchOptions o)
{
    o.json = true;
    nlohmann::json report;
    std::ostringstream err;
    EXPECT_EQ(RunBatchReport(o, report, err), 0) << err.str();
    return report;
}

struct Outcome {
    int status;
    std::vector<nlohmann::json> lines;
    std::string err;
};

Outcome Main(std::vector<const char*> args)
{
    args.insert(args.begin(), "gravlag-batch");
    std::ostringstream out, err;
    const int status = BatchMain(static_cast<int>(args.size()), args.data(), out, err, false);
    Outcome o{status, {}, err.str()};
    std::istringstream lines(out.str());
    for (std::string l; std::getline(lines, l);)
        o.lines.push_back(nlohmann::json::parse(l));
    return o;
}

// value and standard error of a measured rate, as the budget reads it from a report.
std::pair<nlohmann::json, nlohmann::json> Rate(const nlohmann::json& analysis, bool precession)
{
    if (precession)
        return {analysis["precession"]["perOrbit"], analysis["precession"]["stdError"]};
    const nlohmann::json& rates = analysis["elements"]["rates"];
    return {rates["daPerOrbit"], rates["stdError"]["daPerOrbit"]};
}

} // namespace

TEST(Report, BudgetIsTheDifferencesOfItsCompanionRunsMadeAlone)
{
    struct Case {
        const char* scenario;
        const char* iterations;
        bool precession;
    };
    for (const Case k : {Case{"Mercury", "40000", true}, Case{"2 BH's", "80000", false}}) {
        SCOPED_TRACE(k.scenario);
        BatchOptions run;
        run.scenario = k.scenario;
        run.typed = {{"Titer", k.iterations}, {"Tc", "1000"}, {"Tpredsel", "1"}};
        BatchOptions budgeted = run;
        budgeted.budget = true;
        budgeted.companionJobs = 3;
        const nlohmann::json report = Reported(budgeted);
        const nlohmann::json& b = report["budget"];
        EXPECT_EQ(b["quantity"], k.precession ? "precession" : "daPerOrbit");

        // The companions typed by hand: the same texts with c 0, two bodies at c 0, two
        // bodies at the run's c.
        run.report = true;
        const auto alone = [&](std::vector<std::pair<std::string, std::string>> texts) {
            BatchOptions o = run;
            for (auto& t : texts)
                o.typed.push_back(t);
            return Rate(Reported(o)["analysis"], k.precession);
        };
        const auto [total, totalSe] = Rate(report["analysis"], k.precession);
        const auto [same0, same0Se] = alone({{"Tc", "0"}});
        const auto [two0, two0Se] = alone({{"Tn_object", "2"}, {"Tc", "0"}});
        const auto [two, twoSe] = alone({{"Tn_object", "2"}});
        ASSERT_TRUE(total.is_number() && same0.is_number() && two0.is_number() && two.is_number());
        ASSERT_TRUE(totalSe.is_number() && same0Se.is_number() && two0Se.is_number() && twoSe.is_number());
        const auto quadrature = [](const nlohmann::json& a, const nlohmann::json& c) {
            return std::sqrt(a.get<double>() * a.get<double>() + c.get<double>() * c.get<double>());
        };
        EXPECT_EQ(b["total"]["value"], total);
        EXPECT_EQ(b["total"]["stdError"], totalSe);
        EXPECT_EQ(b["integrator"]["value"], two0);
        EXPECT_EQ(b["integrator"]["stdError"], two0Se);
        EXPECT_EQ(b["perturber"]["value"].get<double>(), same0.get<double>() - two0.get<double>());
        EXPECT_EQ(b["perturber"]["stdError"].get<double>(), quadrature(same0Se, two0Se));
        EXPECT_EQ(b["delay"]["value"].get<double>(), total.get<double>() - same0.get<double>());
        EXPECT_EQ(b["delay"]["stdError"].get<double>(), quadrature(totalSe, same0Se));
        EXPECT_EQ(b["delayTwoBodies"]["value"].get<double>(), two.get<double>() - two0.get<double>());
        EXPECT_EQ(b["delayTwoBodies"]["stdError"].get<double>(), quadrature(twoSe, two0Se));
        // Beside them, the run's own theory.
        const nlohmann::json& theory = report["analysis"]["theory"];
        if (k.precession) {
            EXPECT_EQ(b["theory"]["perturberPrecessionPerOrbit"], theory["perturberPrecessionPerOrbit"]);
            EXPECT_EQ(b["theory"]["delayDvarpiPerOrbit"], 0.0);
            EXPECT_EQ(b["theory"]["grPrecessionPerOrbit"], theory["grPrecessionPerOrbit"]);
        } else {
            EXPECT_EQ(b["theory"], (nlohmann::json{{"delayDaPerOrbit", theory["delayDaPerOrbit"]}}));
            // A circular start: to first order the delay widens the orbit and leaves it round.
            const double da = theory["delayDaPerOrbit"].get<double>();
            EXPECT_GT(da, 0.0);
            EXPECT_LT(std::abs(theory["delayDePerOrbit"].get<double>()), 1e-12 * da);
        }
    }
}

TEST(Report, TheSameFromASingleRunASweepAndAParameterFile)
{
    const Outcome single = Main({"--scenario", "Mercury", "--iterations", "30000", "--c", "1000",
                                 "--budget", "--json"});
    ASSERT_EQ(single.status, 0) << single.err;
    ASSERT_EQ(single.lines.size(), 1u);
    const nlohmann::json& one = single.lines[0];
    EXPECT_EQ(one["analysis"]["orbits"]["count"], 4);
    EXPECT_EQ(one["analysis"]["orbits"]["t"], 30001 * 0.001);

    const Outcome sweep = Main({"--scenario", "Mercury", "--iterations", "30000", "--budget", "--json",
                                "--sweep", "c=0;1000", "--jobs", "2"});
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    ASSERT_EQ(sweep.lines.size(), 2u);
    EXPECT_EQ(sweep.lines[1]["analysis"], one["analysis"]);
    EXPECT_EQ(sweep.lines[1]["budget"], one["budget"]);
    EXPECT_EQ(sweep.lines[0]["analysis"]["theory"]["delayDaPerOrbit"], nullptr); // c 0: no delay

    const ScratchFolder dir("report");
    const std::string params = dir / "report_params.json";
    std::ofstream(params) << R"({"scenario": "Mercury", "Titer": "30000", "Tc": "1000"})";
    const Outcome file = Main({"--params", params.c_str(), "--budget", "--json"});
    ASSERT_EQ(file.status, 0) << file.err;
    EXPECT_EQ(file.lines[0]["budget"], one["budget"]);

    // Without --report or --budget, no analysis; --report alone, no budget.
    const Outcome plain = Main({"--scenario", "Mercury", "--iterations", "30000", "--c", "1000", "--json"});
    EXPECT_FALSE(plain.lines[0].contains("analysis") || plain.lines[0].contains("budget"));
    const Outcome reported = Main({"--scenario", "Mercury", "--iterations", "30000", "--c", "1000",
                                   "--report", "--json"});
    EXPECT_EQ(reported.lines[0]["analysis"], one["analysis"]);
    EXPECT_FALSE(reported.lines[0].contains("budget"));
    nlohmann::json same = reported.lines[0];
    same.erase("analysis");
    EXPECT_EQ(same, plain.lines[0]); // the analysis changes nothing else
}

TEST(Report, AnAnalysedRunIsBitForBitTheRunWithout)
{
    // Both scenarios, both history lookups, delays beyond the 20 stored steps, three bodies,
    // and the exports' own sampling (the analysis adds its every 100 passes in "2 BH's"; the
    // run then samples at their greatest common divisor).
    const ScratchFolder dir("report");
    struct Case {
        const char* scenario;
        std::vector<std::pair<std::string, std::string>> typed;
        std::optional<std::int64_t> every; // exports' interval: the default, or not a multiple of 100
    };
    for (const Case& k : {Case{"Mercury", {{"Titer", "30000"}, {"Tc", "1000"}, {"Tpredsel", "1"}}, {}},
                          Case{"2 BH's", {{"Titer", "20000"}, {"Tc", "200"}, {"Tpredsel", "0"}}, 300}}) {
        SCOPED_TRACE(k.scenario);
        const auto run = [&](bool analysed, const std::string& tag) {
            BatchOptions o;
            o.scenario.emplace(k.scenario);
            o.typed = k.typed;
            o.report = analysed;
            o.every = k.every;
            const std::string base = dir / ("identical_" + tag);
            o.apsisCsv = base + "_apsis.csv";
            o.distanceCsv = base + "_distance.csv";
            o.trajectoryCsv = base + "_trajectory.csv";
            o.plotPng = base + "_plot.png";
            o.simPng = base + "_sim.png";
            nlohmann::json j = Reported(o);
            EXPECT_EQ(j.contains("analysis"), analysed);
            j.erase("analysis");
            std::vector<std::string> files;
            for (const std::string* f : {&o.apsisCsv, &o.distanceCsv, &o.trajectoryCsv, &o.plotPng, &o.simPng}) {
                std::ifstream in(*f, std::ios::binary);
                files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            return std::pair{j, files};
        };
        const auto [plain, plainFiles] = run(false, "plain");
        const auto [analysed, analysedFiles] = run(true, "analysed");
        EXPECT_EQ(analysed, plain);
        ASSERT_EQ(analysedFiles.size(), plainFiles.size());
        for (std::size_t i = 0; i < plainFiles.size(); ++i) {
            EXPECT_FALSE(plainFiles[i].empty()) << i;
            EXPECT_TRUE(analysedFiles[i] == plainFiles[i]) << i; // bytes, not printed when they differ
        }
    }
}

TEST(Report, DelayRecordOfTheMainLoop)
{
    // Counted by hand: in "2 BH's" two bodies 12 apart, widening by less than 0.1 in 1000
    // passes, are 12 / (c dt) steps apart: 26.7 at c 450, beyond the 20 the history holds, in
    // every pass; 20.3 to 20.5 at c 590, exactly the 20 steps from which the lookup
    // extrapolates; 2.4 at c 5000. In "Mercury" body 3 is about 30 from body 1 and 22 to 38 from
    // body 2: at c 1000 every pass looks 30 steps back and more, and within a turn of body 3
    // body 2 is near its apocentre (8) on the far side, 34 or more from body 3.
    struct Case {
        const char* scenario;
        std::vector<std::pair<std::string, std::string>> typed;
        double leastMax, mostMax; // maxSteps within these
        bool everyPassBeyond;
    };
    for (const Case& k :
         {Case{"2 BH's", {{"Tn_object", "2"}, {"Tc", "450"}, {"Titer", "999"}}, 26, 26, true},
          Case{"2 BH's", {{"Tn_object", "2"}, {"Tc", "590"}, {"Titer", "999"}}, 20, 20, true},
          Case{"2 BH's", {{"Tn_object", "2"}, {"Tc", "5000"}, {"Titer", "999"}}, 2, 2, false},
          Case{"2 BH's", {{"Tn_object", "2"}, {"Tc", "0"}, {"Titer", "999"}}, 0, 0, false},
          Case{"Mercury", {{"Tn_object", "3"}, {"Tc", "1000"}, {"Titer", "100000"}}, 34, 38, true}}) {
        for (const char* method : {"0", "1"}) {
            SCOPED_TRACE(std::string(k.scenario) + " c " + k.typed[1].second + " Prediction " + method);
            BatchOptions o;
            o.scenario = k.scenario;
            o.typed = k.typed;
            o.typed.emplace_back("Tpredsel", method);
            o.report = true;
            const nlohmann::json j = Reported(o);
            const nlohmann::json& d = j["analysis"]["delay"];
            ASSERT_TRUE(d["maxSteps"].is_number_integer()) << d;
            EXPECT_GE(d["maxSteps"].get<double>(), k.leastMax);
            EXPECT_LE(d["maxSteps"].get<double>(), k.mostMax);
            const bool lookup = method[0] == '1';
            EXPECT_EQ(d["passesBeyondHistory"], lookup && k.everyPassBeyond ? j["passes"].get<std::int64_t>() : 0);
            // The text summary warns of it.
            std::ostringstream text, err;
            ASSERT_EQ(RunBatch(o, text, err), 0) << err.str();
            EXPECT_EQ(text.str().find("warning: " + std::to_string(j["passes"].get<std::int64_t>())
                                      + " passes used a delay of 20 steps or more")
                          != std::string::npos,
                      lookup && k.everyPassBeyond);
        }
    }
}

TEST(Report, ElementsCsvAgainstTheReport)
{
    BatchOptions o;
    o.scenario.emplace("Mercury");
    o.typed = {{"Titer", "20000"}, {"Tc", "2000"}};
    o.report = true;
    o.every = 250;
    const ScratchFolder dir("report");
    o.elementsCsv = dir / "report_elements.csv";
    const nlohmann::json a = Reported(o)["analysis"];
    const Csv csv = ReadCsv(o.elementsCsv);
    EXPECT_EQ(csv.header, "k,t,a,e,varpi,energy,angularMomentum");
    ASSERT_EQ(csv.rows.size(), 20000 / 250 + 1u);
    const auto& last = csv.rows.back();
    ASSERT_EQ(last.size(), 7u);
    EXPECT_EQ(Whole(last[0]), 20000);
    EXPECT_EQ(Real(last[1]), 20000 * 0.001);
    // The last sample is the last pass: the report's end, bit for bit.
    EXPECT_EQ(Real(last[2]), a["elements"]["end"]["a"].get<double>());
    EXPECT_EQ(Real(last[3]), a["elements"]["end"]["e"].get<double>());
    EXPECT_EQ(Real(last[4]), a["elements"]["end"]["varpi"].get<double>());
    EXPECT_EQ(Real(last[5]), a["energy"]["end"].get<double>());
    EXPECT_EQ(Real(last[6]), a["angularMomentum"]["end"].get<double>());
    // Pass 0 is one step from the start.
    EXPECT_NEAR(Real(csv.rows[0][2]), a["elements"]["start"]["a"].get<double>(), 1e-6);
}

TEST(Report, DurationSetsIterationFromDtAsCalculateReadsIt)
{
    // 2.5 / 0.001 = 2500 passes; "0,002" reads as 0.002 (1250); "0" as 0.001; per sweep point.
    const Outcome sweep = Main({"--duration", "2.5", "--json", "--as-typed", "--sweep", "dt=0.001;0,002;0;0.003"});
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    ASSERT_EQ(sweep.lines.size(), 4u);
    EXPECT_EQ(sweep.lines[0]["boxes"]["Titer"], "2500");
    EXPECT_EQ(sweep.lines[1]["boxes"]["Titer"], "1250");
    EXPECT_EQ(sweep.lines[2]["boxes"]["Titer"], "2500");
    EXPECT_EQ(sweep.lines[3]["boxes"]["Titer"], "833"); // 833.33: the nearest whole number
    EXPECT_EQ(sweep.lines[3]["lastPass"], 833);
    EXPECT_EQ(DurationPasses(0.0025, "0.001"), 2);  // 2.5: halves to even
    EXPECT_EQ(DurationPasses(0.0035, "0.001"), 4);
    EXPECT_EQ(DurationPasses(1, "-0.5"), std::nullopt); // a negative number of passes
    EXPECT_EQ(DurationPasses(1e300, "1e-300"), std::nullopt);

    for (const std::vector<const char*>& refused :
         {std::vector<const char*>{"--duration", "5", "--iterations", "100"},
          {"--duration", "5", "--sweep", "iterations=100;200"},
          {"--duration", "-1"},
          {"--duration", "1e999"},
          {"--duration", "2,5"},
          {"--duration", "5", "--dt", "-0.001"}}) {
        const Outcome r = Main(refused);
        EXPECT_EQ(r.status, 2) << refused[2];
        EXPECT_TRUE(r.lines.empty());
        EXPECT_NE(r.err.find("--duration"), std::string::npos) << r.err;
    }
}

TEST(Report, WarningsOfRealRuns)
{
    // dt 10 on an orbit of period 18.5: the energy grows 13-fold and the pair flies apart.
    const Outcome wrecked = Main({"--dt", "10", "--iterations", "100000", "--report", "--json"});
    ASSERT_EQ(wrecked.status, 0) << wrecked.err;
    const nlohmann::json& w = wrecked.lines[0]["analysis"]["warnings"];
    ASSERT_EQ(w.size(), 3u) << w;
    EXPECT_EQ(w[0].get<std::string>().rfind("the energy changed by 13.3 relative to its start (0.001 allowed)", 0), 0u) << w[0];
    EXPECT_EQ(w[1].get<std::string>().rfind("fewer than 3 orbits (0)", 0), 0u) << w[1];
    EXPECT_EQ(w[2].get<std::string>().rfind("the orbit of body 2 about body 1 is not bound (e 6.12e-17 at the start, 3.64 at the end)", 0), 0u) << w[2];
    // The text summary says each.
    BatchOptions o;
    o.typed = {{"Tdt", "10"}, {"Titer", "100000"}};
    o.report = true;
    std::ostringstream text, err;
    ASSERT_EQ(RunBatch(o, text, err), 0) << err.str();
    for (const nlohmann::json& sentence : w)
        EXPECT_NE(text.str().find("  warning: " + sentence.get<std::string>() + "\n"), std::string::npos);

    // The default runs of both scenarios warn of nothing.
    for (const char* scenario : {"2 BH's", "Mercury"}) {
        const Outcome plain = Main({"--scenario", scenario, "--report", "--json"});
        ASSERT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(plain.lines[0]["analysis"]["warnings"], nlohmann::json::array()) << scenario;
    }
}

TEST(Report, ConvergeExtrapolatesTheRunsAtHalfAndQuarterDt)
{
    // The same time at dt, dt/2, dt/4, made alone by hand: the fields are Extrapolate's of
    // their rates, for the analysis and each budget row; a sweep point carries the same.
    const Outcome converged = Main({"--scenario", "Mercury", "--iterations", "30000", "--c", "1000",
                                    "--prediction", "1", "--budget", "--converge", "--json"});
    ASSERT_EQ(converged.status, 0) << converged.err;
    const nlohmann::json& a = converged.lines[0]["analysis"];
    const nlohmann::json& b = converged.lines[0]["budget"];
    std::vector<nlohmann::json> alone;
    for (const auto& [dt, iterations] : {std::pair{"0.001", "30000"}, {"0.0005", "60000"}, {"0.00025", "120000"}}) {
        const Outcome o = Main({"--scenario", "Mercury", "--iterations", iterations, "--c", "1000",
                                "--prediction", "1", "--dt", dt, "--budget", "--json"});
        ASSERT_EQ(o.status, 0) << o.err;
        alone.push_back(o.lines[0]);
    }
    const auto optional = [](const nlohmann::json& v) {
        return v.is_number() ? std::optional<double>(v.get<double>()) : std::nullopt;
    };
    const auto expectFields = [&](const nlohmann::json& j, const char* key, const Convergence& c) {
        const auto at = [&](const char* name) { return key ? j[name][key] : j[name]; };
        EXPECT_EQ(optional(at("limit")), c.limit);
        EXPECT_EQ(optional(at("order")), c.order);
        EXPECT_EQ(optional(at("discretizationError")), c.discretizationError);
        const nlohmann::json flagged = at("flagged");
        EXPECT_EQ(flagged.is_null() ? std::nullopt : std::optional<bool>(flagged.get<bool>()), c.flagged);
    };
    const auto series = [&](auto get, const nlohmann::json& error) {
        return Extrapolate(optional(get(alone[0])), optional(get(alone[1])), optional(get(alone[2])),
                           optional(error));
    };
    // Less its four fields, each object is the run's at dt.
    nlohmann::json plainA = a, plainB = b;
    for (const char* name : {"limit", "order", "discretizationError", "flagged"}) {
        plainA["elements"]["rates"].erase(name);
        plainA["precession"].erase(name);
        for (auto& [row, value] : plainB.items())
            if (value.is_object())
                value.erase(name);
    }
    EXPECT_EQ(plainA, alone[0]["analysis"]);
    EXPECT_EQ(plainB, alone[0]["budget"]);
    const Convergence precession = series(
        [](const nlohmann::json& j) { return j["analysis"]["precession"]["perOrbit"]; }, a["precession"]["stdError"]);
    ASSERT_TRUE(precession.limit && precession.order);
    expectFields(a["precession"], nullptr, precession);
    for (const char* rate : {"daPerOrbit", "dePerOrbit", "dvarpiPerOrbit"}) {
        SCOPED_TRACE(rate);
        expectFields(a["elements"]["rates"], rate,
                     series([&](const nlohmann::json& j) { return j["analysis"]["elements"]["rates"][rate]; },
                            a["elements"]["rates"]["stdError"][rate]));
    }
    for (const char* row : {"integrator", "perturber", "delay", "delayTwoBodies", "total"}) {
        SCOPED_TRACE(row);
        expectFields(b[row], nullptr,
                     series([&](const nlohmann::json& j) { return j["budget"][row]["value"]; }, b[row]["stdError"]));
    }

    const Outcome sweep = Main({"--scenario", "Mercury", "--iterations", "30000", "--prediction", "1",
                                "--budget", "--converge", "--json", "--sweep", "c=1000"});
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    EXPECT_EQ(sweep.lines[0]["analysis"], a);
    EXPECT_EQ(sweep.lines[0]["budget"], b);

    const Outcome refused = Main({"--converge", "--json"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.lines.empty());
    EXPECT_EQ(refused.err, "gravlag-batch: --converge needs --report or --budget: it extrapolates their rates\n");
}

TEST(Report, ConvergeRunsAndBudgetCompanionsKeepTheModel)
{
    // Under the reference integrator the 2-body run at c 0 has no precession of its own (euler:
    // -4.2e-4 per orbit), and the runs at dt/2 and dt/4 are the reference's too.
    const std::vector<const char*> run = {"--scenario", "Mercury", "--c", "1000", "--integrator", "reference", "--json"};
    const auto with = [&](std::vector<const char*> more) {
        more.insert(more.begin(), run.begin(), run.end());
        const Outcome o = Main(more);
        EXPECT_EQ(o.status, 0) << o.err;
        return o.lines.at(0);
    };
    const nlohmann::json converged = with({"--iterations", "20000", "--budget", "--converge"});
    EXPECT_LT(std::abs(converged["budget"]["integrator"]["value"].get<double>()), 1e-8);
    std::vector<std::optional<double>> da;
    for (const auto& [dt, iterations] : {std::pair{"0.001", "20000"}, {"0.0005", "40000"}, {"0.00025", "80000"}})
        da.push_back(with({"--dt", dt, "--iterations", iterations, "--report"})["analysis"]["elements"]["rates"]["daPerOrbit"].get<double>());
    const Convergence c = Extrapolate(da[0], da[1], da[2], std::nullopt);
    ASSERT_TRUE(c.limit);
    EXPECT_EQ(converged["analysis"]["elements"]["rates"]["limit"]["daPerOrbit"], *c.limit);
}

// Every report names its model; the options that choose it take only what they name, and a
// model the run cannot have is refused with the option's name. Under "1pn" the budget's
// companions at c 0 take its Newtonian limit.
TEST(ModelReport, NamedInEveryReportAndCheckedOnTheCommandLine)
{
    const Outcome plain = Main({"--iterations", "100", "--json"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.lines.at(0)["model"],
              nlohmann::json::parse(
                  R"({"integrator": "euler", "forceLaw": "retarded", "tolerance": null, "past": null})"));
    const Outcome reference = Main({"--iterations", "100", "--integrator", "reference", "--force-law",
                                    "aberration-free", "--tolerance", "1e-10", "--json"});
    ASSERT_EQ(reference.status, 0) << reference.err;
    const nlohmann::json& m = reference.lines.at(0)["model"];
    EXPECT_EQ(m["integrator"], "reference");
    EXPECT_EQ(m["forceLaw"], "aberration-free");
    EXPECT_EQ(m["tolerance"], 1e-10);
    EXPECT_EQ(m["past"], std::string(gravlag::kReferencePast));

    const std::pair<std::vector<const char*>, const char*> refused[] = {
        {{"--integrator", "rk4"}, "--integrator"},
        {{"--force-law", "Retarded"}, "--force-law"},
        {{"--integrator", "reference", "--tolerance", "1e-10x"}, "--tolerance"},
        {{"--integrator", "reference", "--tolerance", "0"}, "--tolerance"},
        {{"--integrator", "reference", "--tolerance", "inf"}, "--tolerance"},
        {{"--tolerance", "1e-10"}, "--tolerance"},
        {{"--force-law", "1pn"}, "1pn"},
    };
    for (const auto& [args, named] : refused) {
        std::vector<const char*> a = args;
        a.insert(a.end(), {"--iterations", "100", "--json"});
        const Outcome o = Main(a);
        EXPECT_EQ(o.status, 2) << named;
        EXPECT_NE(o.err.find(named), std::string::npos) << o.err;
    }

    const Outcome pn = Main({"--scenario", "Mercury", "--force-law", "1pn", "--c", "1000",
                             "--iterations", "3000", "--budget", "--json"});
    EXPECT_EQ(pn.status, 0) << pn.err;
    ASSERT_EQ(pn.lines.size(), 1u);
    EXPECT_FALSE(pn.lines[0]["budget"].is_null());
}

// A system file is refused for each key that is wrong, by its name; a good one runs its own
// bodies: a light body on a circle of radius 1 about a unit mass (c 0) is back at its start
// after one period, 2 pi, under the reference integrator.
TEST(SystemRun, FileCheckedAndAKeplerCircleClosed)
{
    const std::string good = R"({"c": 0, "bodies": [{"m": 1, "x": 0, "y": 0, "vx": 0, "vy": 0},
        {"m": 1e-12, "x": 1, "y": 0, "vx": 0, "vy": 1}]})";
    const std::pair<const char*, const char*> bad[] = {
        {R"({"c": 0})", "key \"bodies\" must be a list of 1 to 64"},
        {R"({"c": 0, "bodies": []})", "key \"bodies\" must be a list of 1 to 64"},
        {R"({"bodies": [{"m": 1, "x": 0, "y": 0, "vx": 0, "vy": 0}]})", "key \"c\" missing"},
        {R"({"c": -1, "bodies": [{"m": 1, "x": 0, "y": 0, "vx": 0, "vy": 0}]})", "key \"c\" must be 0"},
        {R"({"c": 0, "g": 1, "bodies": []})", "unknown key \"g\""},
        {R"({"c": 0, "bodies": [{"m": 0, "x": 0, "y": 0, "vx": 0, "vy": 0}]})", "body 1: key \"m\" must be a mass > 0"},
        {R"({"c": 0, "bodies": [{"m": 1, "x": "0", "y": 0, "vx": 0, "vy": 0}]})", "body 1: key \"x\" must be a finite number"},
        {R"({"c": 0, "bodies": [{"m": 1, "x": 0, "y": 0, "vx": 0}]})", "body 1: key \"vy\" missing"},
        {R"({"c": 0, "bodies": [{"m": 1, "x": 0, "y": 0, "vx": 0, "vy": 0, "z": 0}]})", "body 1: unknown key \"z\""},
        {R"({"c": 1e400, "bodies": []})", "beyond the range of a double"},
        {R"({"c": 0, "c": 1, "bodies": []})", "key \"c\" given twice"},
        {R"({"c": 0, "bodies": [{"m": 1, "x": 0, "y": 0, "vx": 0, "vy": 0},
            {"m": 1, "x": 1, "y": 0, "vx": 0, "vy": 0, "x": 2}]})", "key \"x\" given twice"},
    };
    for (const auto& [text, message] : bad) {
        std::string problem;
        EXPECT_FALSE(ParseSystemFile(text, problem)) << text;
        EXPECT_NE(problem.find(message), std::string::npos) << problem;
    }
    std::string many = R"({"c": 0, "bodies": [)";
    for (int i = 0; i < 65; ++i)
        many += std::string(i ? "," : "") + R"({"m": 1, "x": )" + std::to_string(i) + R"(, "y": 0, "vx": 0, "vy": 0})";
    std::string problem;
    EXPECT_FALSE(ParseSystemFile(many + "]}", problem));

    const gravlag::testing::ScratchFolder scratch("system_run");
    const std::string path = scratch / "system.json";
    std::ofstream(path) << good;
    const Outcome run = Main({"--system", path.c_str(), "--duration", "6.283185307179586",
                              "--integrator", "reference", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json& light = run.lines.at(0)["bodies"][1];
    EXPECT_NEAR(light["x"].get<double>(), 1, 1e-9);
    EXPECT_NEAR(light["y"].get<double>(), 0, 1e-9);
    EXPECT_NEAR(light["vy"].get<double>(), 1, 1e-9);
    EXPECT_EQ(run.lines[0]["time"], 6.283185307179586);
    EXPECT_EQ(run.lines[0]["model"]["integrator"], "reference");
    const Outcome panel = Main({"--system", path.c_str(), "--duration", "1", "--scenario", "Mercury"});
    EXPECT_EQ(panel.status, 2);
    EXPECT_NE(panel.err.find("--scenario"), std::string::npos) << panel.err;
    const Outcome noDuration = Main({"--system", path.c_str()});
    EXPECT_EQ(noDuration.status, 2);
}

// --report of a --system run reports the pair --pair names: here body 1 about body 3 (a light
// body on a clockwise orbit of a = 1, e = 0.5 about a unit mass, a third far away and almost
// massless), whose greatest separations start at the direction 0.005 degrees and cross 0/360
// in the run, under the first
// post-Newtonian law at c 1000. Its precession per orbit is general relativity's
// 6 pi G M / (c^2 a (1 - e^2)) degrees, to a few times G M / (c^2 a (1 - e^2)) = 1.3e-6
// relative (the next order); clockwise, it turns the directions down. 10.75 periods
// are 10 turns and 11 greatest separations. A pair that is not two different bodies of the
// file is refused.
TEST(SystemRun, ReportOfAPairPrecessesAsGeneralRelativity)
{
    const gravlag::testing::ScratchFolder scratch("system_report");
    const std::string path = scratch / "system.json";
    // At pericentre r = 0.5 towards 180.005 degrees, v = sqrt(3) clockwise about body 3.
    std::ofstream(path) << R"({"c": 1000, "bodies": [
        {"m": 1e-9, "x": -0.49999999809614115, "y": -4.363323124447723e-05,
         "vx": -0.0001511499468276727, "vy": 1.7320508009737168},
        {"m": 1e-12, "x": 1000, "y": 0, "vx": 0, "vy": 0},
        {"m": 1, "x": 0, "y": 0, "vx": 0, "vy": 0}]})";
    const Outcome run = Main({"--system", path.c_str(), "--duration", "67.54424205218055",
                              "--integrator", "reference", "--force-law", "1pn", "--report",
                              "--pair", "3,1", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json& line = run.lines.at(0);
    EXPECT_EQ(line["pair"], nlohmann::json::array({3, 1}));
    const nlohmann::json& a = line["analysis"];
    EXPECT_EQ(a["orbits"]["count"], 10);
    EXPECT_NEAR(a["elements"]["start"]["a"].get<double>(), 1, 1e-8);
    EXPECT_NEAR(a["elements"]["start"]["varpi"].get<double>(), 180.005, 1e-9);
    const double gr = 6 * std::numbers::pi / (1000.0 * 1000.0 * 0.75) * 180 / std::numbers::pi;
    EXPECT_EQ(a["precession"]["events"], 11);
    EXPECT_NEAR(a["precession"]["perOrbit"].get<double>() / -gr, 1, 2e-5) << a.dump();
    EXPECT_NEAR(a["elements"]["rates"]["dvarpiPerOrbit"].get<double>() / -gr, 1, 2e-5);

    for (const char* pair : {"1,1", "0,2", "1,4", "1,2x", "1"}) {
        const Outcome bad = Main({"--system", path.c_str(), "--duration", "1", "--report", "--pair", pair});
        EXPECT_EQ(bad.status, 2) << pair;
        EXPECT_NE(bad.err.find("--pair must be two different body numbers"), std::string::npos) << bad.err;
    }
    const Outcome noReport = Main({"--system", path.c_str(), "--duration", "1", "--pair", "1,2"});
    EXPECT_EQ(noReport.status, 2);
}
