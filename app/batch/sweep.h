#pragma once
// Sweeps: the same batch run over a grid of box texts, each point an independent run on
// windows of its own, several at a time, reported in point order.

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch/batch_options.h"

namespace gravlag {

// One --sweep: a batch runner box option ("c", "mass3", ...) and the texts it takes.
struct SweepAxis {
    std::string option;
    std::string box;
    std::vector<std::string> texts;
};

// "NAME=T1;T2;..." (';' separates, so that decimal commas stay usable; every piece is a text,
// the empty one too). No value and `problem` for an unknown name or a missing '='.
std::optional<SweepAxis> ParseSweepAxis(std::string_view argument, std::string& problem);

class Sweep {
public:
    // No value and `problem` when an option is swept twice or the grid is too large to count.
    static std::optional<Sweep> Make(std::vector<SweepAxis> axes, std::string& problem);

    std::size_t points() const { return points_; }
    // Point `index` (0-based; the first axis varies slowest) applied over `base`: its texts
    // replace those that the command line typed into the same boxes, and every file name
    // gets "-<index + 1>" before its extension.
    BatchOptions pointOptions(const BatchOptions& base, std::size_t index) const;
    // {"c": "5000", ...}: the option names and texts of point `index`.
    std::vector<std::pair<std::string, std::string>> pointTexts(std::size_t index) const;

private:
    std::vector<SweepAxis> axes_;
    std::size_t points_ = 1;
};

// "dir/a.csv" -> "dir/a-3.csv", "a" -> "a-3"; an empty name stays empty (no file).
std::string PointFileName(const std::string& path, std::size_t number);

// Runs every point on `jobs` threads and writes one JSON line per point to `out`, in point
// order: the --json object plus "point". Problems go to `err` as "point N: ..." lines; with
// `progress`, a line counting the points done is kept up to date on `err`. Returns the
// highest exit status of the points (0, 2 or 3), or 2 when the files of the first point
// cannot be opened (then nothing runs).
int RunSweep(const BatchOptions& base, const Sweep& sweep, unsigned jobs, std::ostream& out,
             std::ostream& err, bool progress);

} // namespace gravlag
