#pragma once
// One row of a CSV export as numbers, before it becomes text: its whole-number cells first
// (k, a count), then its numbers, where a number that does not exist is an empty cell. The
// files hold the row's text; a caller in the same process may take the numbers instead,
// which are exactly the doubles that text reads back as.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace gravlag {

struct CsvRow {
    static constexpr std::size_t kMaxWholes = 2, kMaxNumbers = 13; // k,t and 3 bodies' x,y,vx,vy
    std::array<std::int64_t, kMaxWholes> wholes{};
    std::size_t wholeCount = 0;
    std::array<std::optional<double>, kMaxNumbers> numbers{};
    std::size_t numberCount = 0;

    void addWhole(std::int64_t v) { wholes[wholeCount++] = v; }
    void addNumber(std::optional<double> v) { numbers[numberCount++] = v; }
};

// The row's text with its line feed, appended: every cell separated by a comma, whole numbers
// in decimal, numbers as their exact text (exact_text.h), an empty cell as nothing.
void AppendCsvRow(std::string& rows, const CsvRow& row);

} // namespace gravlag
