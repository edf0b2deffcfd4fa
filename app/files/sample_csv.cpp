#include "app/files/sample_csv.h"

#include <cmath>

#include "core/analysis/conserved.h"
#include "core/analysis/orbit_elements.h"

namespace gravlag {

std::string_view DistanceCsvHeader() { return "k,t,r1,r2\n"; }

CsvRow DistanceCsvRow(const SimState& s, int lastBody, std::int64_t k)
{
    const double mx = (s.x[0] + s.x[1]) / 2, my = (s.y[0] + s.y[1]) / 2;
    const auto distance = [&](unsigned b) {
        const double ex = s.x[b] - mx, ey = s.y[b] - my;
        return std::sqrt(ex * ex + ey * ey);
    };
    CsvRow row;
    row.addWhole(k);
    row.addNumber(static_cast<double>(k) * s.dt);
    row.addNumber(distance(1));
    row.addNumber(lastBody >= 2 ? std::optional<double>(distance(2)) : std::nullopt);
    return row;
}

void AppendDistanceCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    AppendCsvRow(rows, DistanceCsvRow(s, lastBody, k));
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

CsvRow TrajectoryCsvRow(const SimState& s, int lastBody, std::int64_t k)
{
    CsvRow row;
    row.addWhole(k);
    row.addNumber(static_cast<double>(k) * s.dt);
    for (int b = 0; b <= lastBody && b < kBodies; ++b) {
        const unsigned i = static_cast<unsigned>(b);
        for (const double v : {s.x[i], s.y[i], s.vx[i], s.vy[i]})
            row.addNumber(v);
    }
    return row;
}

void AppendTrajectoryCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    AppendCsvRow(rows, TrajectoryCsvRow(s, lastBody, k));
}

std::string_view ElementsCsvHeader() { return "k,t,a,e,varpi,energy,angularMomentum\n"; }

CsvRow ElementsCsvRow(const SimState& s, int lastBody, std::int64_t k)
{
    const OrbitElements el = InnerPairElements(s);
    const ConservedQuantities totals = Conserved(s, lastBody);
    CsvRow row;
    row.addWhole(k);
    row.addNumber(static_cast<double>(k) * s.dt);
    for (const std::optional<double>& v : {el.a, el.e, el.varpi, totals.energy, totals.angularMomentum})
        row.addNumber(v);
    return row;
}

void AppendElementsCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    AppendCsvRow(rows, ElementsCsvRow(s, lastBody, k));
}

} // namespace gravlag
