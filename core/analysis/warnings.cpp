#include "core/analysis/warnings.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/analysis/run_report.h"

namespace gravlag {

namespace {

// 3 significant digits: enough to read the size of a problem.
std::string Short(double v)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 3);
    return std::string(buffer, end.ptr);
}

bool Unbound(const OrbitElements& el) { return el.e && *el.e >= 1; }

} // namespace

std::vector<Warning> RunWarnings(const RunReport& r, bool instantaneous)
{
    std::vector<Warning> w;
    if (instantaneous && r.energy.relChange && std::fabs(*r.energy.relChange) > kEnergyDriftLimit)
        w.push_back({WarningKind::EnergyNotConserved,
                     "the energy changed by " + Short(*r.energy.relChange)
                         + " relative to its start (" + Short(kEnergyDriftLimit)
                         + " allowed) although the forces are "
                           "instantaneous and conserve it: the steps are too coarse for these "
                           "orbits; reduce dt"});
    if (r.delay && r.delay->passesBeyondHistory > 0)
        w.push_back({WarningKind::DelayBeyondHistory,
                     std::to_string(r.delay->passesBeyondHistory)
                         + " passes used a delay of 20 steps or more: the history holds 20, so the "
                           "source's position was extrapolated there"});
    const bool rates = r.elements.rates.daPerOrbit || r.elements.rates.dePerOrbit
        || r.elements.rates.dvarpiPerOrbit || r.precession.perOrbit;
    if (rates && r.orbits.count < 3)
        w.push_back({WarningKind::FewOrbits,
                     "fewer than 3 orbits (" + std::to_string(r.orbits.count)
                         + "): the rates per orbit are the change from start to end over the "
                           "time, not fitted, with no standard error; run longer"});
    const OrbitElements& start = r.elements.start;
    const OrbitElements& end = r.elements.end;
    if (Unbound(start) || Unbound(end))
        w.push_back({WarningKind::Unbound,
                     "the orbit of body 2 about body 1 is not bound (e "
                         + (start.e ? Short(*start.e) : std::string("none")) + " at the start, "
                         + (end.e ? Short(*end.e) : std::string("none"))
                         + " at the end): its elements and rates per orbit describe no orbit"});
    return w;
}

} // namespace gravlag
