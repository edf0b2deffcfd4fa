// The generic euler scheme repeats the panel's main loop to the last bit under `retarded`,
// for two and three bodies and both ways to the retarded position; and the factory's refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/physics/make_integration.h"
#include "fake_host.h"

using namespace gravlag;
using gravlag::testing::DefaultState;
using gravlag::testing::FakeHost;

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct PanelCase {
    const char* name;
    Scenario scenario;
    int bodies;
    double c;
    bool pred1;
    int passes;
};

class EulerAgainstPanel : public ::testing::TestWithParam<PanelCase> {};

TEST_P(EulerAgainstPanel, EveryDoubleAfterEveryPass)
{
    const PanelCase& pc = GetParam();
    SimState s = DefaultState();
    s.c = pc.c;
    s.scenarioCode = pc.scenario;
    FakeHost h;
    h.boxes[PanelBox::Tn_object] = std::to_string(pc.bodies);
    h.boxes[PanelBox::Tpredsel] = pc.pred1 ? "1" : "0";
    if (pc.scenario == Scenario::Mercury)
        gravlag::testing::UseMercury(s, h);
    h.boxes[PanelBox::Titer] = "-1"; // set up only
    SimState start = s;
    RunSimulation(start, h);
    System system{pc.c, {}};
    for (int i = 0; i < pc.bodies; ++i)
        system.bodies.push_back(
            {start.mass[i], start.x[i], start.y[i], start.vx[i], start.vy[i]});
    std::string problem;
    const auto euler = MakeIntegration(system, Model{}, start.dt,
                                       pc.pred1 ? RetardationMethod::HistoryLookup
                                                : RetardationMethod::VelocityEstimate,
                                       problem);
    ASSERT_TRUE(euler) << problem;

    h.boxes[PanelBox::Titer] = std::to_string(pc.passes - 1);
    const RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.passes, pc.passes) << r.message;
    for (int k = 0; k < pc.passes; ++k)
        ASSERT_TRUE(euler->step(problem)) << problem;
    EXPECT_EQ(euler->steps(), static_cast<std::size_t>(pc.passes));
    EXPECT_EQ(euler->time(), pc.passes * start.dt);
    std::vector<Body> b(system.bodies.size());
    euler->stateAt(euler->time(), b);
    for (int i = 0; i < pc.bodies; ++i) {
        EXPECT_TRUE(SameBits(b[i].x, s.x[i])) << "x" << i << " " << b[i].x << " vs " << s.x[i];
        EXPECT_TRUE(SameBits(b[i].y, s.y[i])) << "y" << i;
        EXPECT_TRUE(SameBits(b[i].vx, s.vx[i])) << "vx" << i;
        EXPECT_TRUE(SameBits(b[i].vy, s.vy[i])) << "vy" << i;
    }
    // The shown delay of body 2 from body 1, in whole steps, is the pass's.
    if (pc.c > 0) {
        EXPECT_EQ(std::floor(euler->delay(1, 0, euler->time()) / start.dt), *r.values.delay21);
    }
}

using enum Scenario;
// c 1000 keeps the inner pair's delay within the 20-step history, c 200 beyond it (the
// lookup extrapolates), c 0 is instantaneous.
INSTANTIATE_TEST_SUITE_P(
    RetardedLaw, EulerAgainstPanel,
    ::testing::Values(PanelCase{"MercuryVelocity", Mercury, 3, 1000, false, 6000},
                      PanelCase{"MercuryHistory", Mercury, 3, 1000, true, 6000},
                      PanelCase{"MercuryHistoryBeyond", Mercury, 3, 200, true, 6000},
                      PanelCase{"MercuryInstantaneous", Mercury, 3, 0, true, 3000},
                      PanelCase{"BlackHolesVelocity", TwoBlackHoles, 2, 1000, false, 6000},
                      PanelCase{"BlackHolesHistory", TwoBlackHoles, 2, 1000, true, 6000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MakeIntegration, RefusesWhatCannotRun)
{
    const System pair{1, {{1, 0, 0, 0, 0}, {1, 1, 0, 0, 1}}};
    std::string problem;
    const auto refused = [&](System s, Model m, double dt = 0.001) {
        problem.clear();
        return !MakeIntegration(s, m, dt, RetardationMethod::VelocityEstimate, problem)
            && !problem.empty();
    };
    EXPECT_FALSE(refused(pair, {}));
    EXPECT_TRUE(refused({1, {}}, {}));
    EXPECT_EQ(problem, "a system has 1 to 64 bodies, not 0");
    EXPECT_TRUE(refused({1, std::vector<Body>(65, Body{1, 0, 0, 0, 0})}, {}));
    System zeroMass = pair;
    zeroMass.bodies[1].m = 0;
    EXPECT_TRUE(refused(zeroMass, {}));
    EXPECT_EQ(problem, "the mass of body 2 must be a finite number > 0, not 0");
    System nanSpeed = pair;
    nanSpeed.bodies[0].vy = NAN;
    EXPECT_TRUE(refused(nanSpeed, {}));
    EXPECT_TRUE(refused({-1, pair.bodies}, {}));
    EXPECT_TRUE(refused({0, pair.bodies}, {Integrator::Euler, ForceLaw::PostNewtonian1}));
    EXPECT_EQ(problem, "the 1pn force law needs c > 0: its terms are of order 1/c^2");
    EXPECT_FALSE(refused(pair, {Integrator::Euler, ForceLaw::PostNewtonian1}));
    EXPECT_TRUE(refused(pair, {Integrator::Reference, ForceLaw::Retarded, 0}));
    EXPECT_TRUE(refused(pair, {Integrator::Reference, ForceLaw::Retarded, NAN}));
    EXPECT_TRUE(refused(pair, {}, 0));
}

} // namespace
