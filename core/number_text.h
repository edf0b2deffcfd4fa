#pragma once
// Conversions between numbers and the texts of the panel's boxes.
//
// Two families: the plain one (point as the only decimal separator, never locale-dependent;
// boxes are read with it and the program writes c and dt back with it) and the regional one
// (the user's decimal separator, used for texts the program shows and for the strict reading
// of "n object", "Iteration" and "Prediction").
//
// None of these goes through strtod/printf: a Qt program sets the C locale from the
// environment at start-up, which would change what they read and write.

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace gravlag {

// The user's number format. Digits are always ASCII; only the decimal separator varies.
struct RegionalFormat {
    std::string decimalSeparator = "."; // UTF-8, usually "." or ","
};

// Every comma becomes a point; nothing else changes, the length stays.
std::string NormalizeDecimalText(std::string_view source);

// The leading decimal number of a text (blanks, tabs and line feeds skipped anywhere),
// point as the only separator; 0 for a text that does not begin with a number.
// Never returns a non-finite value.
double ParseLeadingNumber(std::string_view text);
// Whether ParseLeadingNumber reads all of the text: the number it begins with is followed
// by blanks at most. False for a text that does not begin with a number (read as 0).
bool ReadsWhole(std::string_view text);

// A number for ParseLeadingNumber to read back: leading blank for values >= 0, no zero
// before the point, up to 15 significant digits in the shortest form.
std::string PlainNumberText(double value);

// A number in the user's format: no leading blank, zero before the separator, up to 15
// significant digits in the shortest form.
std::string RegionalNumberText(double value, const RegionalFormat& format);
std::string RegionalNumberText(long long value);
// A run value that may never have been assigned: empty text when it was not.
std::string RegionalNumberText(const std::optional<double>& value, const RegionalFormat& format);

// The same texts in a fixed buffer, for what a run writes while it runs: no heap.
class NumberText {
public:
    static constexpr std::size_t kCapacity = 64;
    std::string_view view() const { return {chars_, size_}; }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    void append(char c)
    {
        if (size_ < kCapacity)
            chars_[size_++] = c;
    }
    void append(std::string_view text)
    {
        for (char c : text)
            append(c);
    }
    // The digits of a whole number (a '-' first when it is negative), written in place: the
    // pass counter's text at every display update. Any whole number fits.
    void appendWhole(long long value)
    {
        const std::to_chars_result r = std::to_chars(chars_ + size_, chars_ + kCapacity, value);
        if (r.ec == std::errc{})
            size_ = static_cast<std::size_t>(r.ptr - chars_);
    }

private:
    char chars_[kCapacity] = {};
    std::size_t size_ = 0;
};

NumberText FormatRegional(double value, const RegionalFormat& format);
NumberText FormatRegional(long long value);
NumberText FormatRegional(const std::optional<double>& value, const RegionalFormat& format);

// Strict reading of a whole text (blanks around it allowed) in the user's format;
// no value for anything else, including the empty text and numbers beyond a double.
std::optional<double> RegionalNumberValue(std::string_view text, const RegionalFormat& format);

} // namespace gravlag
