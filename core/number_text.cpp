#include "core/number_text.h"

#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <system_error>

#include "core/finite.h"

namespace gravlag {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Collects the digits of a decimal number one by one, wherever they come from, and converts
// them once at the end. Leading zeros are dropped and only the first kMaxDigits significant
// digits are kept (plus one sticky digit standing for any non-zero digit after them), so the
// conversion costs the same for a 100 kB text as for a short one. 800 digits are more than
// any halfway point between two doubles needs (767), so the rounding stays exact.
class DecimalDigits {
public:
    enum class Outcome { Value, Overflow };

    void SetNegative(bool negative) { negative_ = negative; }

    void AddIntegerDigit(char c)
    {
        if (!AddSignificant(c))
            return;
        ++pointExponent_;
    }

    void AddFractionDigit(char c)
    {
        if (!AddSignificant(c))
            --pointExponent_; // a zero between the point and the first significant digit
    }

    void AddExponentDigit(char c)
    {
        // Beyond a billion the number is far outside any double either way.
        if (exponent_ < kExponentCap)
            exponent_ = exponent_ * 10 + (c - '0');
    }

    void SetExponentNegative(bool negative) { exponentNegative_ = negative; }

    // The nearest double; Overflow when the number is beyond the largest finite double
    // (value_ then holds that double with the number's sign). A number below the smallest
    // subnormal gives a zero of the number's sign.
    Outcome Convert(double& value) const
    {
        const double zero = negative_ ? -0.0 : 0.0;
        if (digits_.empty()) {
            value = zero;
            return Outcome::Value;
        }
        // The number is 0.<digits> x 10^decimalExponent, the first digit non-zero, so it
        // lies in [10^(decimalExponent-1), 10^decimalExponent).
        const long long decimalExponent
            = pointExponent_ + (exponentNegative_ ? -exponent_ : exponent_);
        const double largest = negative_ ? -DBL_MAX : DBL_MAX;
        if (decimalExponent > 310) {
            value = largest;
            return Outcome::Overflow;
        }
        if (decimalExponent < -330) {
            value = zero;
            return Outcome::Value;
        }

        std::string text;
        text.reserve(digits_.size() + 12);
        if (negative_)
            text += '-';
        text += "0.";
        text += digits_;
        if (sticky_)
            text += '1';
        text += 'e';
        std::array<char, 8> exponentText {};
        const auto written = std::to_chars(
            exponentText.data(), exponentText.data() + exponentText.size(), decimalExponent);
        text.append(exponentText.data(), written.ptr);

        double parsed = 0.0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (result.ec == std::errc::result_out_of_range) {
            // from_chars says only "out of range"; the exponent tells which end.
            if (decimalExponent > 0) {
                value = largest;
                return Outcome::Overflow;
            }
            value = zero;
            return Outcome::Value;
        }
        value = parsed;
        return Outcome::Value;
    }

private:
    static constexpr std::size_t kMaxDigits = 800;
    static constexpr long long kExponentCap = 1'000'000'000;

    // False for a leading zero, which carries no digit.
    bool AddSignificant(char c)
    {
        if (digits_.empty() && c == '0')
            return false;
        if (digits_.size() < kMaxDigits)
            digits_ += c;
        else if (c != '0')
            sticky_ = true;
        return true;
    }

    bool negative_ = false;
    std::string digits_; // significant digits, the first one non-zero
    bool sticky_ = false; // a non-zero digit was dropped after digits_
    long long pointExponent_ = 0; // where the point stands relative to digits_
    long long exponent_ = 0; // magnitude of the written exponent
    bool exponentNegative_ = false;
};

// Reads a text character by character, stepping over blanks wherever they stand.
class BlankSkippingReader {
public:
    explicit BlankSkippingReader(std::string_view text)
        : text_(text)
    {
    }

    // The next character that is not a blank, or '\0' at the end.
    char Peek()
    {
        while (position_ < text_.size() && IsBlank(text_[position_]))
            ++position_;
        return position_ < text_.size() ? text_[position_] : '\0';
    }

    void Advance() { ++position_; }
    std::size_t position() const { return position_; }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

// A non-negative integer written in base 16 or 8 after "&H" / "&O". Its bits are kept in a
// 64-bit word plus a sticky bit and rounded to the nearest double by hand.
double ReadRadixInteger(BlankSkippingReader& reader, int bitsPerDigit, std::size_t& end)
{
    std::uint64_t leadingBits = 0;
    long long bitCount = 0; // significant bits seen, up to the first non-digit
    bool sticky = false;
    const int radix = 1 << bitsPerDigit;
    for (;;) {
        const char c = reader.Peek();
        int digit = radix;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit >= radix)
            break;
        reader.Advance();
        end = reader.position();
        for (int bit = bitsPerDigit - 1; bit >= 0; --bit) {
            const unsigned value = (static_cast<unsigned>(digit) >> bit) & 1u;
            if (bitCount == 0 && value == 0)
                continue;
            if (bitCount < 64)
                leadingBits = (leadingBits << 1) | value;
            else if (value != 0)
                sticky = true;
            if (bitCount <= 1024) // enough to know it is too large
                ++bitCount;
        }
    }
    if (bitCount == 0)
        return 0.0;
    if (bitCount > 1024)
        return DBL_MAX;

    const int keptBits = bitCount < 64 ? static_cast<int>(bitCount) : 64;
    std::uint64_t mantissa = leadingBits;
    int shift = static_cast<int>(bitCount) - keptBits; // bits already beyond the 64
    if (keptBits > 53) {
        const int dropped = keptBits - 53;
        const std::uint64_t rest = leadingBits & ((std::uint64_t { 1 } << dropped) - 1);
        const std::uint64_t half = std::uint64_t { 1 } << (dropped - 1);
        mantissa = leadingBits >> dropped;
        if (rest > half || (rest == half && (sticky || (mantissa & 1u) != 0)))
            ++mantissa; // may reach 2^53, which is still exact
        shift += dropped;
    }
    const double value = std::ldexp(static_cast<double>(mantissa), shift);
    return Finite(value) ? value : DBL_MAX;
}

// The value rounded to 15 significant digits: digits without trailing zeros, and the
// decimal exponent of the first one (value = d.ddd x 10^exponent).
struct SignificantDigits {
    char digits[16] = {};
    std::size_t count = 0;
    int exponent = 0;
    std::string_view view() const { return {digits, count}; }
};

SignificantDigits RoundTo15Digits(double magnitude)
{
    std::array<char, 40> buffer {};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
        std::chars_format::scientific, 14);
    const std::string_view text(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data()));
    // text is "d.dddddddddddddde+XX"
    const std::size_t e = text.find('e');
    SignificantDigits result;
    result.digits[result.count++] = text[0];
    for (char c : text.substr(2, e - 2))
        result.digits[result.count++] = c;
    while (result.count > 1 && result.digits[result.count - 1] == '0')
        --result.count;
    std::string_view exponentText = text.substr(e + 1);
    if (!exponentText.empty() && exponentText.front() == '+')
        exponentText.remove_prefix(1);
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), result.exponent);
    return result;
}

// Lays out a finite value with up to 15 significant digits. Both families share the rule
// for the exponent form: it is used when a positional text would need more than 15 digits
// before the point (exponent >= 15) or more than four zeros after it (exponent < -5).
NumberText FormatNumber(double value, std::string_view separator, bool plain)
{
    // NaN cannot come out of the program's computations; should one arrive, a text that
    // reads back as a number is safer than "nan". An infinity becomes the largest finite
    // double of its sign, which is what ParseLeadingNumber makes of too large a number.
    if (std::isnan(value))
        value = 0.0;
    else if (std::isinf(value))
        value = value > 0 ? DBL_MAX : -DBL_MAX;

    NumberText text;
    // -0.0 gets no minus: it is written like 0, which it equals.
    if (value < 0)
        text.append('-');
    else if (plain)
        text.append(' ');

    const SignificantDigits rounded = RoundTo15Digits(std::fabs(value));
    const std::string_view digits = rounded.view();
    const int exponent = rounded.exponent;
    const auto count = static_cast<int>(digits.size());

    if (exponent >= 15 || exponent < -5) {
        text.append(digits[0]);
        if (count > 1) {
            text.append(separator);
            text.append(digits.substr(1));
        }
        text.append('E');
        text.append(exponent < 0 ? '-' : '+');
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            text.append('0');
        std::array<char, 8> exponentText {};
        const auto written = std::to_chars(
            exponentText.data(), exponentText.data() + exponentText.size(), magnitude);
        text.append(std::string_view(exponentText.data(), static_cast<std::size_t>(written.ptr - exponentText.data())));
    } else if (exponent >= 0) {
        const int integerDigits = exponent + 1;
        if (count <= integerDigits) {
            text.append(digits);
            for (int z = count; z < integerDigits; ++z)
                text.append('0');
        } else {
            text.append(digits.substr(0, static_cast<std::size_t>(integerDigits)));
            text.append(separator);
            text.append(digits.substr(static_cast<std::size_t>(integerDigits)));
        }
    } else {
        if (!plain)
            text.append('0');
        text.append(separator);
        for (int z = 0; z < -exponent - 1; ++z)
            text.append('0');
        text.append(digits);
    }
    return text;
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string NormalizeDecimalText(std::string_view source)
{
    // Byte-wise is exact for UTF-8: a comma byte never occurs inside a multi-byte sequence.
    std::string result(source);
    for (char& c : result) {
        if (c == ',')
            c = '.';
    }
    return result;
}

namespace {

// ParseLeadingNumber, telling also where the number ends: `end` is just past its last
// character, 0 when the text does not begin with a number.
double ReadLeadingNumber(std::string_view text, std::size_t& end)
{
    end = 0;
    BlankSkippingReader reader(text);

    if (reader.Peek() == '&') {
        reader.Advance();
        const char prefix = reader.Peek();
        if (prefix == 'H' || prefix == 'h') {
            reader.Advance();
            return ReadRadixInteger(reader, 4, end);
        }
        if (prefix == 'O' || prefix == 'o') {
            reader.Advance();
            return ReadRadixInteger(reader, 3, end);
        }
        return 0.0;
    }

    DecimalDigits number;
    const char sign = reader.Peek();
    if (sign == '+' || sign == '-') {
        number.SetNegative(sign == '-');
        reader.Advance();
    }
    bool anyDigit = false;
    while (IsDigit(reader.Peek())) {
        number.AddIntegerDigit(reader.Peek());
        reader.Advance();
        anyDigit = true;
    }
    if (reader.Peek() == '.') {
        reader.Advance();
        while (IsDigit(reader.Peek())) {
            number.AddFractionDigit(reader.Peek());
            reader.Advance();
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    end = reader.position();

    // An exponent letter without digits after it ("1e", "1e+") is not part of the number;
    // nothing is read after the number, so that needs no stepping back: no digits leave
    // the exponent at zero.
    const char letter = reader.Peek();
    if (letter == 'E' || letter == 'e' || letter == 'D' || letter == 'd') {
        reader.Advance();
        const char exponentSign = reader.Peek();
        if (exponentSign == '+' || exponentSign == '-') {
            number.SetExponentNegative(exponentSign == '-');
            reader.Advance();
        }
        while (IsDigit(reader.Peek())) {
            number.AddExponentDigit(reader.Peek());
            reader.Advance();
            end = reader.position();
        }
    }

    double value = 0.0;
    number.Convert(value); // saturated at the largest finite double on overflow
    return value;
}

} // namespace

double ParseLeadingNumber(std::string_view text)
{
    std::size_t end = 0;
    return ReadLeadingNumber(text, end);
}

bool ReadsWhole(std::string_view text)
{
    std::size_t end = 0;
    ReadLeadingNumber(text, end);
    if (end == 0)
        return false;
    for (const char c : text.substr(end))
        if (!IsBlank(c))
            return false;
    return true;
}

std::string PlainNumberText(double value) { return FormatNumber(value, ".", true).str(); }

NumberText FormatRegional(double value, const RegionalFormat& format)
{
    return FormatNumber(value, format.decimalSeparator, false);
}

NumberText FormatRegional(long long value)
{
    NumberText text;
    text.appendWhole(value);
    return text;
}

NumberText FormatRegional(const std::optional<double>& value, const RegionalFormat& format)
{
    return value ? FormatRegional(*value, format) : NumberText();
}

std::string RegionalNumberText(double value, const RegionalFormat& format)
{
    return FormatRegional(value, format).str();
}

std::string RegionalNumberText(long long value) { return FormatRegional(value).str(); }

std::string RegionalNumberText(const std::optional<double>& value, const RegionalFormat& format)
{
    return FormatRegional(value, format).str();
}

std::optional<double> RegionalNumberValue(std::string_view text, const RegionalFormat& format)
{
    std::string_view rest = TrimBlanks(text);
    const std::string_view separator = format.decimalSeparator;
    DecimalDigits number;

    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        number.SetNegative(rest.front() == '-');
        rest.remove_prefix(1);
    }
    bool anyDigit = false;
    while (!rest.empty() && IsDigit(rest.front())) {
        number.AddIntegerDigit(rest.front());
        rest.remove_prefix(1);
        anyDigit = true;
    }
    if (!separator.empty() && rest.substr(0, separator.size()) == separator) {
        rest.remove_prefix(separator.size());
        while (!rest.empty() && IsDigit(rest.front())) {
            number.AddFractionDigit(rest.front());
            rest.remove_prefix(1);
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return std::nullopt;

    if (!rest.empty() && (rest.front() == 'E' || rest.front() == 'e')) {
        rest.remove_prefix(1);
        if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
            number.SetExponentNegative(rest.front() == '-');
            rest.remove_prefix(1);
        }
        if (rest.empty() || !IsDigit(rest.front()))
            return std::nullopt;
        while (!rest.empty() && IsDigit(rest.front())) {
            number.AddExponentDigit(rest.front());
            rest.remove_prefix(1);
        }
    }
    if (!rest.empty())
        return std::nullopt;

    double value = 0.0;
    if (number.Convert(value) == DecimalDigits::Outcome::Overflow)
        return std::nullopt;
    return value;
}

} // namespace gravlag
