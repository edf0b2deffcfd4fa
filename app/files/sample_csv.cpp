#include "app/files/sample_csv.h"

#include <cmath>

#include "core/analysis/conserved.h"
#include "core/analysis/orbit_elements.h"
#include "core/vector_length.h"
#include "core/finite.h"

namespace gravlag {

std::string_view DistanceCsvHeader() { return "k,t,r1,r2\n"; }

CsvRow DistanceCsvRow(const SimState& s, int lastBody, std::int64_t k)
{
    double mx = (s.x[0] + s.x[1]) / 2, my = (s.y[0] + s.y[1]) / 2;
    // Two coordinates beyond half the largest double overflow in their sum, not in the sum of
    // their halves; taken only then, so that every other midpoint keeps its bits.
    if (std::isinf(mx) && Finite(s.x[0], s.x[1]))
        mx = s.x[0] / 2 + s.x[1] / 2;
    if (std::isinf(my) && Finite(s.y[0], s.y[1]))
        my = s.y[0] / 2 + s.y[1] / 2;
    const auto distance = [&](unsigned b) -> std::optional<double> {
        const double r = VectorLength(s.x[b] - mx, s.y[b] - my);
        // Finite bodies more than the largest double apart: no number to write.
        if (std::isinf(r) && Finite(s.x[0], s.x[1], s.x[b], s.y[0], s.y[1], s.y[b]))
            return std::nullopt;
        return r;
    };
    CsvRow row;
    row.addWhole(k);
    row.addNumber(static_cast<double>(k) * s.dt);
    row.addNumber(distance(1));
    row.addNumber(lastBody >= 2 ? distance(2) : std::nullopt);
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
