// The sampled CSV exports of a batch run, read back from the files.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <locale>
#include <sstream>

#include "app/batch/batch_run.h"
#include "csv_reader.h"
#include "scratch_folder.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"

using namespace gravlag;
using gravlag::testing::ScratchFolder;

namespace {

nlohmann::json Exported(const BatchOptions& o, int expectedStatus = 0)
{
    nlohmann::json report;
    std::ostringstream err;
    EXPECT_EQ(RunBatchReport(o, report, err), expectedStatus) << err.str();
    return report;
}

double MidpointDistance(double x0, double y0, double x1, double y1, double xb, double yb)
{
    const double mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
    const double ex = xb - mx, ey = yb - my;
    return std::sqrt(ex * ex + ey * ey);
}

} // namespace

TEST(SampledExports, DistancesAgreeWithTheTrajectory)
{
    const ScratchFolder dir("export");
    BatchOptions o;
    o.typed = {{"Titer", "3000"}, {"Tc", "50000"}, {"Tdt", "0.002"}};
    o.distanceCsv = dir / "d.csv";
    o.trajectoryCsv = dir / "t.csv";
    o.every = 7;
    const nlohmann::json report = Exported(o);
    const Csv d = ReadCsv(o.distanceCsv), t = ReadCsv(o.trajectoryCsv);
    EXPECT_EQ(d.header, "k,t,r1,r2");
    EXPECT_EQ(t.header, "k,t,x1,y1,vx1,vy1,x2,y2,vx2,vy2,x3,y3,vx3,vy3");
    ASSERT_EQ(d.rows.size(), 3000 / 7 + 1u); // passes 0, 7, ..., 2996
    ASSERT_EQ(t.rows.size(), d.rows.size());
    for (std::size_t i = 0; i < d.rows.size(); ++i) {
        const auto& dr = d.rows[i];
        const auto& tr = t.rows[i];
        ASSERT_EQ(dr.size(), 4u);
        ASSERT_EQ(tr.size(), 14u);
        const std::int64_t k = Whole(dr[0]);
        EXPECT_EQ(k, static_cast<std::int64_t>(7 * i));
        EXPECT_EQ(Whole(tr[0]), k);
        EXPECT_EQ(Real(dr[1]), static_cast<double>(k) * 0.002);
        EXPECT_EQ(tr[1], dr[1]);
        double p[6]; // x, y of each body
        for (int j = 0; j < 6; ++j)
            p[j] = Real(tr[static_cast<std::size_t>(2 + 4 * (j / 2) + j % 2)]);
        EXPECT_EQ(Real(dr[2]), MidpointDistance(p[0], p[1], p[2], p[3], p[2], p[3])) << k;
        EXPECT_EQ(Real(dr[3]), MidpointDistance(p[0], p[1], p[2], p[3], p[4], p[5])) << k;
    }
    // Pass 0 is the first pass after the start: body 2 is still about "r  m(2)" from the pair's
    // midpoint, body 3 about "r  m(3)".
    EXPECT_NEAR(Real(d.rows[0][2]), 6, 1e-3);
    EXPECT_NEAR(Real(d.rows[0][3]), 30, 1e-3);
    EXPECT_EQ(report["lastPass"], 3000);
}

TEST(SampledExports, LastSampleIsTheFinalState)
{
    const ScratchFolder dir("export");
    BatchOptions o;
    o.typed = {{"Titer", "2000"}, {"Tn_object", "2"}};
    o.trajectoryCsv = dir / "t2.csv";
    o.distanceCsv = dir / "d2.csv";
    o.every = 500;
    const nlohmann::json report = Exported(o);
    const Csv t = ReadCsv(o.trajectoryCsv), d = ReadCsv(o.distanceCsv);
    EXPECT_EQ(t.header, "k,t,x1,y1,vx1,vy1,x2,y2,vx2,vy2"); // two bodies
    ASSERT_EQ(t.rows.size(), 5u);                           // 0, 500, ..., 2000
    const auto& last = t.rows.back();
    EXPECT_EQ(Whole(last[0]), 2000);
    for (std::size_t b = 0; b < 2; ++b) {
        const std::size_t at = 2 + 4 * b;
        EXPECT_EQ(Real(last[at]), report["x"][b].get<double>());
        EXPECT_EQ(Real(last[at + 1]), report["y"][b].get<double>());
        EXPECT_EQ(Real(last[at + 2]), report["vx"][b].get<double>());
        EXPECT_EQ(Real(last[at + 3]), report["vy"][b].get<double>());
    }
    ASSERT_EQ(d.rows.back().size(), 4u);
    EXPECT_EQ(d.rows.back()[3], ""); // no third body, no r2
}

TEST(SampledExports, DefaultIntervals)
{
    const ScratchFolder dir("export");
    // "2 BH's": the distances follow the time plot, one sample per plot column.
    BatchOptions o;
    o.typed = {{"Titer", "4000"}};
    o.distanceCsv = dir / "d3.csv";
    o.trajectoryCsv = dir / "t3.csv";
    Exported(o);
    ui::HeadlessServices services;
    Program program(services);
    const auto plotInterval =
        static_cast<std::int64_t>(std::nearbyint(4000 / program.form3().plotWidth()));
    ASSERT_GT(plotInterval, 1);
    ASSERT_NE(plotInterval % 100, 0); // so the two files' intervals differ
    Csv d = ReadCsv(o.distanceCsv), t = ReadCsv(o.trajectoryCsv);
    ASSERT_GE(d.rows.size(), 2u);
    for (std::size_t i = 0; i < d.rows.size(); ++i)
        EXPECT_EQ(Whole(d.rows[i][0]), static_cast<std::int64_t>(i) * plotInterval);
    EXPECT_EQ(t.rows.size(), 41u); // every 100 passes
    EXPECT_EQ(Whole(t.rows[40][0]), 4000);

    // "Mercury": every 100 passes for both.
    o.scenario = "Mercury";
    Exported(o);
    d = ReadCsv(o.distanceCsv);
    ASSERT_EQ(d.rows.size(), 41u);
    EXPECT_EQ(Whole(d.rows[1][0]), 100);
}

TEST(SampledExports, UnwritableFileRefusedBeforeTheRun)
{
    const ScratchFolder dir("export");
    BatchOptions o;
    o.typed = {{"Titer", "1000"}};
    o.distanceCsv = dir / "d4.csv";
    o.trajectoryCsv = "/nonexistent-dir/t.csv";
    o.json = true;
    std::ostringstream out, err;
    EXPECT_EQ(RunBatch(o, out, err), 2);
    EXPECT_EQ(out.str(), ""); // no run, no report
    EXPECT_EQ(err.str(), "gravlag-batch: --trajectory-csv: folder does not exist: /nonexistent-dir/\n");
}

TEST(SampledExports, NoFilesUnlessAsked)
{
    const ScratchFolder dir("export");
    // Exports off: the run is the same as with them, and writes nothing.
    BatchOptions plain;
    plain.typed = {{"Titer", "1500"}, {"Tc", "600"}};
    BatchOptions exported = plain;
    exported.distanceCsv = dir / "d5.csv";
    exported.trajectoryCsv = dir / "t5.csv";
    exported.every = 1;
    EXPECT_EQ(Exported(plain).dump(), Exported(exported).dump());
    EXPECT_EQ(ReadCsv(exported.trajectoryCsv).rows.size(), 1501u);
}

TEST(SampledExports, UserLocaleDoesNotChangeTheNumbers)
{
    const ScratchFolder dir("export");
    std::locale german;
    try {
        german = std::locale("de_DE.UTF-8");
    } catch (const std::runtime_error&) {
        FAIL() << "the locale de_DE.UTF-8 is not installed: scripts/deps generates it (localedef)";
    }
    const std::locale before = std::locale::global(german);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    BatchOptions o;
    o.typed = {{"Titer", "300"}};
    o.distanceCsv = dir / "d6.csv";
    o.every = 100;
    Exported(o);
    std::locale::global(before);
    std::setlocale(LC_ALL, "C");
    const Csv d = ReadCsv(o.distanceCsv);
    ASSERT_EQ(d.rows.size(), 4u);
    for (const auto& row : d.rows) {
        ASSERT_EQ(row.size(), 4u); // a decimal comma would add fields
        EXPECT_GT(Real(row[2]), 5.9);
    }
    EXPECT_EQ(Real(d.rows[3][1]), 300 * 0.001);
}
