#pragma once
// Whole numbers on the command line, and --points: which points of a sweep's grid to run.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gravlag {

// Digits only (no sign, no blank), at most `max`; none for anything else, including a
// number too large to hold.
std::optional<std::uint64_t> ParseWholeNumber(std::string_view text, std::uint64_t max);

// Point numbers of the full grid, counted from 1, as sorted ranges without overlaps.
class PointList {
public:
    struct Range {
        std::uint64_t first, last; // inclusive
    };
    // "5", "5-8", "1,3,9-12": none and `problem` for anything else, for 0, or for a number
    // beyond `points` (the size of the grid). Ranges may come in any order and overlap.
    static std::optional<PointList> Parse(std::string_view text, std::uint64_t points, std::string& problem);
    static PointList All(std::uint64_t points); // 1..points; empty if points is 0

    std::uint64_t count() const;
    std::uint64_t first() const { return ranges_.front().first; } // not on an empty list
    const std::vector<Range>& ranges() const { return ranges_; }

    // Walks the numbers in order without listing them, so a list costs what its ranges do.
    class Cursor {
    public:
        explicit Cursor(const PointList& list) : list_(&list) {}
        std::optional<std::uint64_t> next();

    private:
        const PointList* list_;
        std::size_t range_ = 0;
        std::uint64_t offset_ = 0;
    };

private:
    std::vector<Range> ranges_;
};

} // namespace gravlag
