#pragma once
// Reading the batch runner's CSV files back in the tests: fields split at commas, numbers
// read with std::from_chars (which knows no locale) so a value compares bit for bit.

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

struct Csv {
    std::string header;
    std::vector<std::vector<std::string>> rows;
};

inline std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, ',');)
        fields.push_back(f);
    if (!line.empty() && line.back() == ',')
        fields.emplace_back();
    return fields;
}

inline Csv ReadCsv(const std::string& path)
{
    Csv csv;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(std::getline(in, csv.header)) << path;
    for (std::string line; std::getline(in, line);)
        csv.rows.push_back(SplitFields(line));
    return csv;
}

inline double Real(const std::string& text)
{
    double v = std::numeric_limits<double>::quiet_NaN();
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == text.data() + text.size()) << '"' << text << '"';
    return v;
}

inline std::int64_t Whole(const std::string& text)
{
    std::int64_t v = -1;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == text.data() + text.size()) << '"' << text << '"';
    return v;
}
