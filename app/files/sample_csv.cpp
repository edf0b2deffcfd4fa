#include "app/files/sample_csv.h"

#include <cmath>

#include "app/files/exact_text.h"

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
    std::string header = "k";
    for (int b = 1; b <= lastBody + 1; ++b)
        header += ",x" + std::to_string(b) + ",y" + std::to_string(b);
    return header + '\n';
}

void AppendTrajectoryCsvRow(std::string& rows, const SimState& s, int lastBody, std::int64_t k)
{
    rows += std::to_string(k);
    for (int b = 0; b <= lastBody; ++b) {
        rows += ',';
        AppendExactText(rows, s.x[static_cast<unsigned>(b)]);
        rows += ',';
        AppendExactText(rows, s.y[static_cast<unsigned>(b)]);
    }
    rows += '\n';
}

} // namespace gravlag
