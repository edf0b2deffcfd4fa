#pragma once
// Sweeps: the same batch run over a grid of box texts, each point an independent run on
// windows of its own, several at a time, reported in point order. Points are made from their
// number one at a time, and only a few more than run at once wait to be printed, so memory
// does not grow with the grid.

#include <cstdint>
#include <iosfwd>
#include <sstream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/batch/batch_options.h"
#include "app/batch/point_list.h"
#include "app/batch/problem.h"

namespace gravlag {

// One --sweep: a batch runner box option ("c", "mass3", ...) and the texts it takes.
struct SweepAxis {
    std::string option;
    std::string box;
    std::vector<std::string> texts;
};

// "NAME=T1;T2;..." (';' separates, so that decimal commas stay usable; every piece is a text).
// "NAME=" is one point with the empty text; an empty text in a longer list is refused. No
// value and `problem` for an unknown name, a missing '=', a text that is not UTF-8 or such
// an empty text, named by its place in the list.
std::optional<SweepAxis> ParseSweepAxis(std::string_view argument, std::string& problem);

class Sweep {
public:
    static constexpr std::uint64_t kMaxPoints = std::uint64_t{1} << 63;
    // No value and `problem` when an option is swept twice or the grid has more than
    // kMaxPoints points.
    static std::optional<Sweep> Make(std::vector<SweepAxis> axes, std::string& problem);

    std::uint64_t points() const { return points_; }
    // Point `index` (0-based; the first axis varies slowest) applied over `base`: its texts
    // replace those that the command line typed into the same boxes, and every file name
    // gets "-<index + 1>" before its extension. With `outDir`, the files go into that folder
    // and the point's JSON object to outDir/point-<index + 1>.json.
    BatchOptions pointOptions(const BatchOptions& base, std::uint64_t index, const std::string& outDir = {}) const;
    // {"c": "5000", ...}: the option names and texts of point `index`.
    std::vector<std::pair<std::string, std::string>> pointTexts(std::uint64_t index) const;

private:
    std::vector<SweepAxis> axes_;
    std::uint64_t points_ = 1;
};

// "dir/a.csv" -> "dir/a-3.csv", "a" -> "a-3"; an empty name stays empty (no file).
std::string PointFileName(const std::string& path, std::uint64_t number);

// Runs one point from its options (pointOptions): its report gets "point" (and "error", the
// text of its first problem, when no run was made), and under --out it is written to its
// file. Its problems are appended to `problems`. Returns its exit status.
int RunNewPoint(const BatchOptions& options, const nlohmann::json& point, nlohmann::json& report,
                BatchProblems& problems);

struct SweepSettings {
    unsigned jobs = 1;     // threads the points run on
    unsigned lanes = 1;    // points computed together in SIMD lanes on each thread: 1, 4 or 8
    std::string outDir;    // --out: each point's JSON object and files in this folder, made by RunSweep
    bool resume = false;   // --resume: points already done in outDir are not run again
    std::optional<PointList> points; // --points; none: the whole grid
    bool progress = false; // a line counting the points done, kept up to date on `err`
};

// The lanes a thread computes for `lanes` asked: as many where the processor has them
// (LaneGroup::WidestLanes), else the most it has that is no more.
int LaneWidth(unsigned lanes);

// Runs the points on `jobs` threads and writes one JSON line per point to `out`, in point
// order: the --json object plus "point". Problems go to `err` as "point N: ..." lines.
// Under --out, each point runs under its PointLock (a point another process holds is refused).
// Returns the worst exit status of the points (WorseStatus), 2 when --out's folder cannot be
// made or the files of the first point cannot be created (then nothing runs, and a folder
// made for it is removed), 128 + n after signal n (no point starts after
// it), 4 when `out` could not be written.
int RunSweep(const BatchOptions& base, const Sweep& sweep, const SweepSettings& settings,
             std::ostream& out, std::ostream& err);

} // namespace gravlag
