#pragma once
// The sampled exports of a run: distances from the midpoint of bodies 1 and 2 (as the
// "2 BH's" time plot shows them, but raw), the positions and velocities of the active
// bodies, and the inner pair's orbital elements with the totals.
// Body indices count from 0 here; the header names count from 1, as the panel does.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/files/csv_row.h"
#include "core/sim_state.h"

namespace gravlag {

std::string_view DistanceCsvHeader(); // "k,t,r1,r2" and a line feed
// k, the time k*dt, r1 and r2: the distances of body index 1 and body index 2 from the
// midpoint of bodies 0 and 1. r2 is left empty when body 2 is not active (lastBody < 2).
// Each row also as numbers (csv_row.h): the Append functions write exactly these.
CsvRow DistanceCsvRow(const SimState& state, int lastBody, std::int64_t k);
void AppendDistanceCsvRow(std::string& rows, const SimState& state, int lastBody, std::int64_t k);

// "k,t,x1,y1,vx1,vy1,...": the time k*dt, then position and velocity of bodies 0..lastBody.
std::string TrajectoryCsvHeader(int lastBody);
CsvRow TrajectoryCsvRow(const SimState& state, int lastBody, std::int64_t k);
void AppendTrajectoryCsvRow(std::string& rows, const SimState& state, int lastBody, std::int64_t k);

// "k,t,a,e,varpi,energy,angularMomentum": the osculating elements of body index 1 about body
// index 0 (core/analysis/orbit_elements.h: a and varpi in length units and degrees) and the
// energy and angular momentum of bodies 0..lastBody (core/analysis/conserved.h). A value that
// does not exist there (a with an unbound pair, varpi on a circle) is an empty cell.
std::string_view ElementsCsvHeader();
CsvRow ElementsCsvRow(const SimState& state, int lastBody, std::int64_t k);
void AppendElementsCsvRow(std::string& rows, const SimState& state, int lastBody, std::int64_t k);

} // namespace gravlag
