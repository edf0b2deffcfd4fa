// Which loop a model runs on, and the loop over an integration: its hooks, its apsis events
// and its end.
#include <gtest/gtest.h>

#include <cmath>

#include "fake_host.h"

using namespace gravlag;
using gravlag::testing::DefaultState;
using gravlag::testing::FakeHost;
using gravlag::testing::UseMercury;

namespace {

Model ModelOf(Integrator integrator, ForceLaw law) { return {integrator, law, kDefaultTolerance}; }

} // namespace

// Euler under the instantaneous law is the panel's loop without a delay, bit for bit, whatever
// c; and the generic loop drives the hooks at the passes the panel's loop does, from the same
// start to the same end.
TEST(ModelDispatch, InstantaneousIsTheLoopWithoutDelayAndTheGenericLoopKeepsThePasses)
{
    SimState plain = DefaultState();
    FakeHost hp;
    hp.boxes[PanelBox::Titer] = "1999";
    ASSERT_EQ(RunSimulation(plain, hp).ended, RunEnd::Completed);

    SimState instant = DefaultState();
    instant.c = 500;
    FakeHost hi;
    hi.boxes[PanelBox::Titer] = "1999";
    hi.model = ModelOf(Integrator::Euler, ForceLaw::Instantaneous);
    const RunResult ri = RunSimulation(instant, hi);
    EXPECT_EQ(instant.x, plain.x);
    EXPECT_EQ(instant.vy, plain.vy);
    EXPECT_EQ(ri.values.delay21, 0.0);

    SimState generic = DefaultState();
    FakeHost hg;
    hg.boxes[PanelBox::Titer] = "1999";
    hg.model = ModelOf(Integrator::Euler, ForceLaw::AberrationFree);
    const RunResult rg = RunSimulation(generic, hg);
    ASSERT_EQ(rg.ended, RunEnd::Completed) << rg.message;
    EXPECT_EQ(rg.lastPass, 1999);
    EXPECT_EQ(hg.displayPasses, hp.displayPasses);
    EXPECT_EQ(hg.plotPasses, hp.plotPasses);
    EXPECT_EQ(hg.caption, "End");
    for (int i = 0; i < kBodies; ++i) {
        EXPECT_NEAR(generic.x[i], plain.x[i], 1e-9) << i;
        EXPECT_NEAR(generic.vy[i], plain.vy[i], 1e-9) << i;
    }
}

// "t 21" and "t 31" are the integration's delays in whole steps: at c 500 and dt 0.001 a
// separation of 12 is 24 steps, and body 1 sees body 2 from a little closer after 100
// passes; body 3, 24 from body 1, is seen 48 steps late.
TEST(ModelDispatch, DelaysShownInWholeStepsOfTheIntegrations)
{
    SimState s = DefaultState();
    s.c = 500;
    FakeHost h;
    h.boxes[PanelBox::Titer] = "99";
    h.model = ModelOf(Integrator::Euler, ForceLaw::AberrationFree);
    const RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    EXPECT_EQ(r.values.delay21, 23.0);
    EXPECT_EQ(r.values.delay31, 48.0);
}

// A Kepler orbit (c 0) under the reference integrator: every greatest separation lies in the
// start's direction (the start is the apocentre, at 45 degrees), one per period.
TEST(IntegrationLoop, ApsisDirectionsOfAKeplerOrbit)
{
    SimState s = DefaultState();
    FakeHost h;
    UseMercury(s, h);
    h.boxes[PanelBox::Tn_object] = "2";
    h.boxes[PanelBox::Titer] = "30000";
    h.model = ModelOf(Integrator::Reference, ForceLaw::Retarded);
    const RunResult r = RunSimulation(s, h);
    ASSERT_EQ(r.ended, RunEnd::Completed) << r.message;
    const double e = 1 - 0.6 * 0.6, a = 8 / (1 + e);
    const double period = 2 * kPi * std::sqrt(a * a * a / 100.001);
    ASSERT_EQ(h.apsisRuns.size(), static_cast<std::size_t>(30.001 / period));
    for (std::size_t i = 0; i < h.apsisRuns.size(); ++i) {
        const RunValues& v = h.apsisRuns[i];
        EXPECT_NEAR(*v.apsisAngle, 45, 1e-7) << i;
        EXPECT_EQ(v.apsisCount, static_cast<std::int64_t>(i + 1));
        // Reported at the pass whose time first reaches the event.
        const double tEvent = static_cast<double>(i + 1) * period;
        EXPECT_EQ(h.apsisPasses[i], static_cast<std::int64_t>(std::ceil(tEvent / 0.001)) - 1);
    }
    EXPECT_NEAR(r.values.fit->fitB, 0, 1e-7);
}

// A stop request is seen at the next pass; a model the system cannot have is refused before
// anything changes.
TEST(IntegrationLoop, StopAndRefusal)
{
    SimState s = DefaultState();
    FakeHost h;
    h.model = ModelOf(Integrator::Reference, ForceLaw::AberrationFree);
    h.onDisplay = [&](const SimState&, const RunValues& run) {
        if (run.k == 100)
            s.stopFlag = StopRequest::Stop;
    };
    const RunResult r = RunSimulation(s, h);
    EXPECT_EQ(r.ended, RunEnd::Stopped);
    EXPECT_EQ(r.lastPass, 100);

    SimState p = DefaultState();
    p.x = {1, 2, 3};
    FakeHost hp;
    hp.model = ModelOf(Integrator::Euler, ForceLaw::PostNewtonian1);
    const RunResult rp = RunSimulation(p, hp);
    EXPECT_EQ(rp.ended, RunEnd::Refused);
    EXPECT_NE(rp.message.find("c > 0"), std::string::npos) << rp.message;
    EXPECT_EQ(p.x[0], 1.0);
    EXPECT_EQ(hp.shows, 0);
}

// Without a dense output the events lie between the two passes around the root of r . v,
// reported at the later one. Under the generic euler scheme at c 0 (the panel's own scheme)
// they fall where the panel's loop finds them, to about a pass's turn of the pair at its
// greatest separation (0.015 degrees): r . v is of the scheme's velocity, half a step ahead
// of its positions, where the panel's loop fits the separation.
TEST(IntegrationLoop, ApsisBetweenPassesOfAFixedStep)
{
    SimState ps = DefaultState();
    FakeHost ph;
    UseMercury(ps, ph);
    ph.boxes[PanelBox::Tn_object] = "2";
    ph.boxes[PanelBox::Titer] = "30000";
    SimState gs = ps;
    FakeHost gh = ph;
    gh.model = ModelOf(Integrator::Euler, ForceLaw::AberrationFree);
    ASSERT_EQ(RunSimulation(ps, ph).ended, RunEnd::Completed);
    ASSERT_EQ(RunSimulation(gs, gh).ended, RunEnd::Completed);
    ASSERT_EQ(gh.apsisRuns.size(), ph.apsisRuns.size());
    ASSERT_GE(gh.apsisRuns.size(), 3u);
    for (std::size_t i = 0; i < gh.apsisRuns.size(); ++i) {
        EXPECT_GE(*gh.apsisRuns[i].apsisOffset, 0) << i;
        EXPECT_LT(*gh.apsisRuns[i].apsisOffset, 1) << i;
        EXPECT_NEAR(*gh.apsisRuns[i].apsisAngle, *ph.apsisRuns[i].apsisAngle, 0.015) << i;
    }
}
