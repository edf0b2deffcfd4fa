#include "app/batch/system_report.h"

#include <algorithm>

#include "core/vector_length.h"

namespace gravlag {

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
        fits_.add(orbits_, Elements(bodies_));
    }
    if (const auto apsis = apsides_.at(t)) {
        apsisUnwrapped_ = ContinuedDegrees(apsisUnwrapped_, apsis->direction);
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
    r.elements.rates = fits_.rates(orbits_, r.elements, t);
    r.precession.events = apsisEvents_;
    r.precession.perOrbit = apsisLine_.slope();
    r.precession.stdError = apsisLine_.slopeStdError();
    ReportDrifts(startTotals_, Conserved(end), r);
    r.theory = theory_;
    r.warnings = RunWarnings(r, instantaneous_);
    return r;
}

} // namespace gravlag
