// The extrapolation to dt -> 0: exact on series a + b h^p, silent where no order shows, and
// the flag against the standard error at its boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "core/analysis/converged_report.h"

using namespace gravlag;

TEST(Convergence, ExactOnSeriesOfOnePower)
{
    // v(h) = a + b h^p at h = 1, 1/2, 1/4, every value and difference exact in binary.
    struct Case {
        double a, b;
        double v1, v2, v4;
        double order;
    };
    for (const Case k : {Case{1, 3, 4, 1.75, 1.1875, 2},     // second order, from above
                         Case{0.5, -2, -1.5, -0.5, 0, 1},    // first order, from below
                         Case{-2, 8, 6, -1, -1.875, 3}}) {   // third order
        SCOPED_TRACE(k.order);
        const Convergence c = Extrapolate(k.v1, k.v2, k.v4, std::abs(k.b));
        EXPECT_EQ(c.order, k.order);
        EXPECT_EQ(c.limit, k.a);
        EXPECT_EQ(c.discretizationError, std::abs(k.b));
        EXPECT_EQ(c.flagged, false); // the error equal to the standard error does not exceed it
        EXPECT_EQ(Extrapolate(k.v1, k.v2, k.v4, std::abs(k.b) / 2).flagged, true);
        EXPECT_EQ(Extrapolate(k.v1, k.v2, k.v4, std::nullopt).flagged, std::nullopt);
        EXPECT_EQ(Extrapolate(k.v1, k.v2, k.v4, std::nullopt).limit, k.a);
    }

    // Differences of two signs, a zero one, a missing value: nothing observed. Growing
    // differences: an order below zero, and no limit.
    for (const auto& [v1, v2, v4] : {std::tuple{1.0, 2.0, 1.5}, {1.0, 1.0, 0.5}, {1.0, 0.5, 0.5}}) {
        const Convergence c = Extrapolate(v1, v2, v4, 1.0);
        EXPECT_FALSE(c.order || c.limit || c.discretizationError || c.flagged);
    }
    EXPECT_FALSE(Extrapolate(1.0, std::nullopt, 0.25, 1.0).order);
    const Convergence growing = Extrapolate(1.0, 0.75, 0.25, 1.0);
    EXPECT_EQ(growing.order, -1);
    EXPECT_FALSE(growing.limit || growing.discretizationError || growing.flagged);
}

TEST(Convergence, EachRateAndBudgetRowFromItsOwnSeries)
{
    // Second-order series a + b h^2 with a distinct a per rate, so that a rate read from
    // another's place shows.
    const auto report = [](double h2) {
        RunReport r;
        r.elements.rates.daPerOrbit = 1 + 4 * h2;
        r.elements.rates.dePerOrbit = 2 + 4 * h2;
        r.elements.rates.dvarpiPerOrbit = 3 + 4 * h2;
        r.elements.rates.stdError = {5.0, 1.0, std::nullopt};
        r.precession.perOrbit = 4 + 4 * h2;
        r.precession.stdError = 0.5;
        return r;
    };
    RunReport r = report(1);
    AddConvergence(r, report(0.25), report(0.0625));
    ASSERT_TRUE(r.elements.rates.convergence && r.precession.convergence);
    const ElementRates::Convergences& c = *r.elements.rates.convergence;
    EXPECT_EQ(c.daPerOrbit.limit, 1);
    EXPECT_EQ(c.dePerOrbit.limit, 2);
    EXPECT_EQ(c.dvarpiPerOrbit.limit, 3);
    EXPECT_EQ(r.precession.convergence->limit, 4);
    EXPECT_EQ(c.daPerOrbit.flagged, false); // error 4 within 5
    EXPECT_EQ(c.dePerOrbit.flagged, true);  // beyond 1
    EXPECT_EQ(c.dvarpiPerOrbit.flagged, std::nullopt);
    EXPECT_EQ(r.precession.convergence->flagged, true);

    const auto budget = [](double h) {
        Budget b;
        b.integrator = {10 + h, 1, {}};
        b.perturber = {20 + h, 1, {}};
        b.delay = {30 + h, 1, {}};
        b.delayTwoBodies = {40 + h, 1, {}};
        b.total = {50 + h, 1, {}};
        return b;
    };
    Budget b = budget(1);
    AddConvergence(b, budget(0.5), budget(0.25));
    double want = 10;
    for (const Estimate* row : {&b.integrator, &b.perturber, &b.delay, &b.delayTwoBodies, &b.total}) {
        ASSERT_TRUE(row->convergence);
        EXPECT_EQ(row->convergence->limit, want);
        EXPECT_EQ(row->convergence->order, 1);
        want += 10;
    }
}
