#include "app/files/sample_csv.h"

#include <cmath>

#include "app/files/exact_text.h"
#include "core/analysis/conserved.h"
#include "core/analysis/orbit_elements.h"

namespace gravlag {

std::string_view DistanceCsvHeader() { return "k,t,r1,r2\n"; }

void AppendDistanceCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    const double mx = (s.x[0] + s.x[1]) / 2, my = (s.y[0] + s.y[1]) / 2;
    const auto distance = [&](unsigned b) {
        const double ex = s.x[b] - mx, ey = s.y[b] - my;
        return std::sqrt(ex * ex + ey * ey);
    };
    rows += std::to_string(k);
    rows += ',';
    AppendExactText(rows, static_cast<double>(k) * s.dt);
    rows += ',';
    AppendExactText(rows, distance(1));
    rows += ',';
    if (lastBody >= 2)
        AppendExactText(rows, distance(2));
    rows += '\n';
}

std::string TrajectoryCsvHeader(int lastBody)
{
    std::string header = "k,t";
    for (int b = 1; b <= lastBody + 1; ++b) {
        const std::string n = std::to_string(b);
        header += ",x" + n + ",y" + n + ",vx" + n + ",vy" + n;
    }
    return header + '\n';
}

void AppendTrajectoryCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    rows += std::to_string(k);
    rows += ',';
    AppendExactText(rows, static_cast<double>(k) * s.dt);
    for (int b = 0; b <= lastBody; ++b) {
        const unsigned i = static_cast<unsigned>(b);
        for (const double v : {s.x[i], s.y[i], s.vx[i], s.vy[i]}) {
            rows += ',';
            AppendExactText(rows, v);
        }
    }
    rows += '\n';
}

std::string_view ElementsCsvHeader() { return "k,t,a,e,varpi,energy,angularMomentum\n"; }

void AppendElementsCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    const OrbitElements el = InnerPairElements(s);
    const ConservedQuantities totals = Conserved(s, lastBody);
    rows += std::to_string(k);
    rows += ',';
    AppendExactText(rows, static_cast<double>(k) * s.dt);
    for (const std::optional<double>& v : {el.a, el.e, el.varpi, totals.energy, totals.angularMomentum}) {
        rows += ',';
        if (v)
            AppendExactText(rows, *v);
    }
    rows += '\n';
}

} // namespace gravlag
