#pragma once
// Running least-squares line through the apsis directions of one run: x = event number
// from 0, y = direction in degrees. Running sums, so every event costs the same.

#include "core/run.h"

namespace gravlag {

// Adds the event numbered run.apsisCount (already counted) with direction `angle` and
// updates fitA, fitB and predAngle. With a single point the line is not determined; it is
// then taken flat through that point (fitA = angle, fitB = 0).
void AddApsisToFit(RunValues& run, double angle);

} // namespace gravlag
