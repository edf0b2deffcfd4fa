#include "app/batch/point_list.h"

#include <algorithm>
#include <charconv>

namespace gravlag {

std::optional<std::uint64_t> ParseWholeNumber(std::string_view text, std::uint64_t max)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

std::optional<PointList> PointList::Parse(std::string_view text, std::uint64_t points, std::string& problem)
{
    const std::string usage = "--points must be point numbers and ranges such as 5, 5-8 or 1,3,9-12";
    PointList list;
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view piece = text.substr(0, comma);
        const std::size_t dash = piece.find('-');
        const auto first = ParseWholeNumber(piece.substr(0, dash), UINT64_MAX);
        const auto last = dash == std::string_view::npos ? first : ParseWholeNumber(piece.substr(dash + 1), UINT64_MAX);
        if (!first || !last || *first == 0 || *last < *first) {
            problem = usage;
            return std::nullopt;
        }
        if (*last > points) {
            problem = "--points: the grid has " + std::to_string(points) + " points, counted from 1";
            return std::nullopt;
        }
        list.ranges_.push_back({*first, *last});
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    std::sort(list.ranges_.begin(), list.ranges_.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
    std::vector<Range> merged;
    for (const Range& r : list.ranges_) {
        if (!merged.empty() && r.first <= merged.back().last + 1)
            merged.back().last = std::max(merged.back().last, r.last);
        else
            merged.push_back(r);
    }
    list.ranges_ = std::move(merged);
    return list;
}

PointList PointList::All(std::uint64_t points)
{
    PointList list;
    if (points > 0)
        list.ranges_.push_back({1, points});
    return list;
}

std::uint64_t PointList::count() const
{
    std::uint64_t n = 0;
    for (const Range& r : ranges_)
        n += r.last - r.first + 1; // at most the grid's size, which is below 2^63
    return n;
}

std::optional<std::uint64_t> PointList::Cursor::next()
{
    if (range_ >= list_->ranges_.size())
        return std::nullopt;
    const Range& r = list_->ranges_[range_];
    const std::uint64_t number = r.first + offset_;
    if (number == r.last) {
        ++range_;
        offset_ = 0;
    } else {
        ++offset_;
    }
    return number;
}

} // namespace gravlag
