#include "core/lane_run.h"

#include <algorithm>

namespace gravlag {

namespace {
thread_local LaneDriver* currentDriver = nullptr;
} // namespace

LaneDriver* CurrentLaneDriver() { return currentDriver; }
void SetCurrentLaneDriver(LaneDriver* driver) { currentDriver = driver; }

std::int64_t LaneRun::quietPasses() const
{
    std::int64_t quiet = display->left;
    if (plotOn)
        quiet = std::min(quiet, plot->left);
    if (sampleOn)
        quiet = std::min(quiet, sample->left);
    return quiet;
}

} // namespace gravlag
