#include "app/batch/system_report.h"

#include <algorithm>
#include <cmath>

#include "core/finite.h"
#include "core/vector_length.h"

namespace gravlag {

namespace {

// d moved into [-180, 180) by whole turns.
double WrapDegrees(double d) { return d - 360 * std::floor((d + 180) / 360); }

// `angle` continued from `previous` across 0/360 by whole turns.
double Continued(const std::optional<double>& previous, double angle)
{
    return previous ? *previous + WrapDegrees(angle - *previous) : angle;
}

} // namespace

SystemReport::SystemReport(const Integration& integration, bool dense, const System& system,
                           ForceLaw law, std::size_t first, std::size_t second)
    : integration_(integration), dense_(dense), first_(first), second_(second),
      instantaneous_(!(system.c > 0) || law == ForceLaw::Instantaneous),
      turns_(integration, dense, first, second, PairWatch::Crossing::Turn, system.bodies),
      apsides_(integration, dense, first, second, PairWatch::Crossing::Apocentre, system.bodies),
      bodies_(system.bodies.size())
{
    const std::vector<Body>& b = system.bodies;
    start_ = Elements(b);
    startTotals_ = Conserved(b);
    TheoryInputs in;
    in.m1 = b[first].m;
    in.m2 = b[second].m;
    in.c = system.c;
    in.start = start_;
    if (b.size() == 3) { // the third body as a ring about the pair
        const Body& outer = b[3 - first - second];
        in.outerActive = true;
        in.m3 = outer.m;
        const double m = in.m1 + in.m2;
        in.a3 = VectorLength(outer.x - (in.m1 * b[first].x + in.m2 * b[second].x) / m,
                             outer.y - (in.m1 * b[first].y + in.m2 * b[second].y) / m);
    }
    theory_ = Theory(in);
}

OrbitElements SystemReport::Elements(const std::vector<Body>& b) const
{
    const Body &p = b[first_], &q = b[second_];
    return KeplerElements(kGConst * (p.m + q.m), q.x - p.x, q.y - p.y, q.vx - p.vx, q.vy - p.vy);
}

void SystemReport::stepped(double until)
{
    const double t = std::min(integration_.time(), until);
    if (const auto turn = turns_.at(t)) {
        ++orbits_;
        integration_.stateAt(dense_ ? turn->t : integration_.time(), bodies_);
        const OrbitElements el = Elements(bodies_);
        const double x = static_cast<double>(orbits_);
        if (el.a)
            aLine_.add(x, *el.a);
        if (el.e)
            eLine_.add(x, *el.e);
        if (el.varpi) {
            varpiUnwrapped_ = Continued(varpiUnwrapped_, *el.varpi);
            varpiLine_.add(x, *varpiUnwrapped_);
        }
    }
    if (const auto apsis = apsides_.at(t)) {
        apsisUnwrapped_ = Continued(apsisUnwrapped_, apsis->direction);
        apsisLine_.add(static_cast<double>(apsisEvents_), *apsisUnwrapped_);
        ++apsisEvents_;
    }
}

RunReport SystemReport::finish(const std::vector<Body>& end, double t) const
{
    RunReport r;
    r.scenario = Scenario::TwoBlackHoles; // orbits are turns
    r.orbits = {orbits_, t};
    r.elements.start = start_;
    r.elements.end = Elements(end);
    r.elements.rates = PairRates(orbits_, aLine_, eLine_, varpiLine_, r.elements, t);
    r.precession.events = apsisEvents_;
    r.precession.perOrbit = apsisLine_.slope();
    r.precession.stdError = apsisLine_.slopeStdError();
    const ConservedQuantities endTotals = Conserved(end);
    const auto drift = [](const std::optional<double>& s, const std::optional<double>& e) {
        DriftReport d{s, e, std::nullopt};
        if (s && e && *s != 0)
            d.relChange = IfFinite((*e - *s) / std::fabs(*s));
        return d;
    };
    r.energy = drift(startTotals_.energy, endTotals.energy);
    r.angularMomentum = drift(startTotals_.angularMomentum, endTotals.angularMomentum);
    r.momentum = {startTotals_.momentum, endTotals.momentum,
                  startTotals_.momentum && endTotals.momentum
                      ? IfFinite(*endTotals.momentum - *startTotals_.momentum)
                      : std::nullopt};
    r.theory = theory_;
    r.warnings = RunWarnings(r, instantaneous_);
    return r;
}

} // namespace gravlag
