// The CSV texts: numbers that read back exactly, and the rows built from a state.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "app/files/apsis_csv.h"
#include "app/files/exact_text.h"
#include "app/files/sample_csv.h"

using namespace gravlag;

namespace {

double ReadBack(const std::string& text)
{
    double v = std::numeric_limits<double>::quiet_NaN();
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_EQ(r.ec, std::errc()) << text;
    EXPECT_EQ(r.ptr, text.data() + text.size()) << text; // the whole text is the number
    return v;
}

void ExpectExact(double v)
{
    EXPECT_EQ(std::bit_cast<std::uint64_t>(ReadBack(ExactText(v))), std::bit_cast<std::uint64_t>(v))
        << ExactText(v);
}

} // namespace

TEST(ExactText, ReadsBackBitForBit)
{
    using L = std::numeric_limits<double>;
    for (double v : {0.0, -0.0, 1.0, -1.0, 0.1, 1.0 / 3, 6.0, 1e15, 1e16, 1e-5, 123456789.125,
                     L::max(), -L::max(), L::min(), L::denorm_min(), -L::denorm_min(),
                     L::min() / 3, 1e308, 1e-308, 5e-324, 2.2250738585072009e-308, L::epsilon()})
        ExpectExact(v);
    // Bit patterns over every exponent, subnormals included; infinities and NaNs skipped.
    std::mt19937_64 bits(20240611);
    for (int i = 0; i < 100000; ++i) {
        const double v = std::bit_cast<double>(bits());
        if (std::isfinite(v))
            ExpectExact(v);
    }
    EXPECT_EQ(ExactText(-0.0), "-0");
    EXPECT_EQ(ExactText(0.1), "0.1"); // shortest, not 17 digits
}

TEST(ApsisCsv, RowFollowsHeader)
{
    EXPECT_EQ(ApsisCsvHeader(), "k,apsisCount,apsisAngle,fitA,fitB,predAngle\n");
    RunValues run;
    run.k = 123456;
    run.apsisCount = 7;
    run.apsisAngle = 359.99999999999994;
    run.fit = ApsisFit{};
    run.fit->fitA = -0.0;
    run.fit->fitB = 1e-320;
    run.fit->predAngle = 45.000000000000014;
    std::string rows = "x\n";
    AppendApsisCsvRow(rows, run);
    EXPECT_EQ(rows, "x\n123456,7,359.99999999999994,-0,1e-320,45.000000000000014\n");
}

TEST(SampleCsv, DistancesFromTheMidpointOfTheFirstPair)
{
    SimState s;
    s.x = {0, 6, 3};
    s.y = {0, 8, 11}; // midpoint (3, 4): body 2 is 5 from it, body 3 is 7
    s.dt = 0.1;
    std::string rows;
    AppendDistanceCsvRow(rows, s, 2, 3);
    EXPECT_EQ(rows, "3," + ExactText(3 * 0.1) + ",5,7\n"); // k*dt, not k/10
    rows.clear();
    AppendDistanceCsvRow(rows, s, 1, 0);
    EXPECT_EQ(rows, "0,0,5,\n"); // no third body: r2 left empty
    EXPECT_EQ(DistanceCsvHeader(), "k,t,r1,r2\n");
}

TEST(SampleCsv, DistancesOfFarBodiesAreNeverInfinite)
{
    SimState s;
    s.dt = 0.5;
    std::string rows;
    // Where the squares do not overflow, the plain formula's bits (std::hypot's differ here).
    s.x = {0, 0, 7.638};
    s.y = {0, 0, 2.551};
    AppendDistanceCsvRow(rows, s, 2, 0);
    // Beyond the squares' range: 1e200 and 3e200 from the midpoint, not inf.
    s.x = {-1e200, 1e200, 0};
    s.y = {0, 0, 3e200};
    AppendDistanceCsvRow(rows, s, 2, 1);
    // A midpoint whose sum overflows, and a body more than the largest double from it.
    s.x = {1.5e308, 1.5e308, -1.5e308};
    s.y = {0, 0, 0};
    AppendDistanceCsvRow(rows, s, 2, 2);
    EXPECT_EQ(rows, "0,0,0,8.052741458658659\n1,0.5,1e+200,3e+200\n2,1,0,\n");
}

TEST(SampleCsv, TrajectoryColumnsPerActiveBody)
{
    EXPECT_EQ(TrajectoryCsvHeader(0), "k,t,x1,y1,vx1,vy1\n");
    EXPECT_EQ(TrajectoryCsvHeader(1), "k,t,x1,y1,vx1,vy1,x2,y2,vx2,vy2\n");
    EXPECT_EQ(TrajectoryCsvHeader(2), "k,t,x1,y1,vx1,vy1,x2,y2,vx2,vy2,x3,y3,vx3,vy3\n");
    SimState s;
    s.dt = 0.1;
    s.x = {-1.5, 2, 1e300};
    s.y = {0.25, -0.0, 3};
    s.vx = {0.5, -7, 8};
    s.vy = {1e-20, 4, 9};
    std::string rows;
    AppendTrajectoryCsvRow(rows, s, 1, 42);
    EXPECT_EQ(rows, "42," + ExactText(42 * 0.1) + ",-1.5,0.25,0.5,1e-20,2,-0,-7,4\n");
    rows.clear();
    AppendTrajectoryCsvRow(rows, s, 2, 0);
    EXPECT_EQ(rows, "0,0,-1.5,0.25,0.5,1e-20,2,-0,-7,4,1e+300,3,8,9\n");
}
