#include "core/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace gravlag {
namespace {

const RegionalFormat kComma { "," };
const RegionalFormat kPoint { "." };
const RegionalFormat kArabic { "\xD9\xAB" }; // U+066B ARABIC DECIMAL SEPARATOR

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// A random decimal text with 1 to 15 significant digits, well inside the normal range.
std::string RandomDecimalText(std::mt19937_64& random)
{
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> count(1, 15);
    std::uniform_int_distribution<int> exponent(-300, 300);
    std::string text = (random() & 1u) ? "-" : "";
    text += static_cast<char>('1' + digit(random) % 9);
    text += '.';
    for (int i = count(random); i > 1; --i)
        text += static_cast<char>('0' + digit(random));
    text += 'e' + std::to_string(exponent(random));
    return text;
}

// Any finite double, subnormals included.
double RandomFiniteDouble(std::mt19937_64& random)
{
    for (;;) {
        const double value = std::bit_cast<double>(random());
        if (std::isfinite(value))
            return value;
    }
}

TEST(NormalizeDecimalText, ReplacesEveryCommaAndNothingElse)
{
    EXPECT_EQ(NormalizeDecimalText(""), "");
    EXPECT_EQ(NormalizeDecimalText("0,001"), "0.001");
    EXPECT_EQ(NormalizeDecimalText("1,5;2,5"), "1.5;2.5");
    EXPECT_EQ(NormalizeDecimalText(" -3.5E+2 abc"), " -3.5E+2 abc");
    EXPECT_EQ(NormalizeDecimalText("1,5 \xC2\xB5m"), "1.5 \xC2\xB5m");

    const std::string source = "0,5,";
    EXPECT_EQ(NormalizeDecimalText(source), "0.5.");
    EXPECT_EQ(source, "0,5,");

    std::mt19937_64 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 20, '\0');
        for (char& c : text)
            c = (random() % 4 == 0) ? ',' : static_cast<char>(random());
        const std::string result = NormalizeDecimalText(text);
        ASSERT_EQ(result.size(), text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            ASSERT_EQ(result[i], text[i] == ',' ? '.' : text[i]);
    }
}

TEST(ParseLeadingNumber, ReadsTheLongestLeadingNumber)
{
    const std::vector<std::pair<std::string, double>> cases = {
        { "0,001", 0.0 }, { "0.001", 0.001 }, { " .001", 0.001 }, { "7.5abc", 7.5 },
        { "2 45", 245.0 }, { "", 0.0 }, { "abc", 0.0 }, { ".", 0.0 }, { "+", 0.0 },
        { "-.5", -0.5 }, { "5.", 5.0 }, { "+3", 3.0 }, { "- 5", -5.0 }, { "1.2.3", 1.2 },
        { "\t1\n2\r.5", 12.5 }, { "1E5", 1e5 }, { "1e-2", 0.01 }, { "1d3", 1000.0 },
        { "1D-2", 0.01 }, { "1 e 2", 100.0 }, { "1e", 1.0 }, { "1e+", 1.0 }, { "2e-x", 2.0 },
        { "000123.4500", 123.45 }, { "0.000001", 1e-6 }, { "1e0000000000000000002", 100.0 },
        { "&H1F", 31.0 }, { "&h ff", 255.0 }, { "& H 1 0", 16.0 }, { "&O17", 15.0 },
        { "&o8", 0.0 }, { "&O778", 63.0 }, { "&H", 0.0 }, { "&Hg", 0.0 }, { "&X1", 0.0 },
        { "-&H1", 0.0 }, { "&H1.5", 1.0 }, { "&H1E3", 0x1E3 },
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseLeadingNumber(text), expected) << '"' << text << '"';
}

TEST(ParseLeadingNumber, SaturatesBeyondTheRangeOfADouble)
{
    EXPECT_EQ(ParseLeadingNumber("1e309"), DBL_MAX);
    EXPECT_EQ(ParseLeadingNumber("-1e309"), -DBL_MAX);
    EXPECT_EQ(ParseLeadingNumber("1.79769313486232E+308"), DBL_MAX);
    EXPECT_EQ(ParseLeadingNumber("1e99999999999999999999"), DBL_MAX);
    EXPECT_EQ(ParseLeadingNumber("1" + std::string(100'000, '0')), DBL_MAX);
    EXPECT_EQ(ParseLeadingNumber("&H" + std::string(256, 'F')), DBL_MAX);
    EXPECT_EQ(ParseLeadingNumber("&H1" + std::string(100'000, '0')), DBL_MAX);

    EXPECT_EQ(Bits(ParseLeadingNumber("1e-400")), Bits(0.0));
    EXPECT_EQ(Bits(ParseLeadingNumber("-1e-400")), Bits(-0.0));
    EXPECT_EQ(Bits(ParseLeadingNumber("1e-99999999999999999999")), Bits(0.0));
    EXPECT_EQ(Bits(ParseLeadingNumber("." + std::string(100'000, '0') + "1")), Bits(0.0));
    EXPECT_EQ(ParseLeadingNumber("4.94065645841247E-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(ParseLeadingNumber("2.2250738585072E-308"), 2.2250738585072E-308);
}

TEST(ParseLeadingNumber, RoundsLongAndRadixNumbersCorrectly)
{
    // 2^53 + 1 lies halfway between two doubles; a digit far behind decides upwards.
    const std::string zeros(1000, '0');
    EXPECT_EQ(ParseLeadingNumber("9007199254740993." + zeros), 9007199254740992.0);
    EXPECT_EQ(ParseLeadingNumber("9007199254740993." + zeros + "1"), 9007199254740994.0);
    EXPECT_EQ(ParseLeadingNumber("9007199254740993" + zeros + "1e-1001"), 9007199254740994.0);

    EXPECT_EQ(ParseLeadingNumber("&H20000000000001"), 9007199254740992.0); // tie, to even
    EXPECT_EQ(ParseLeadingNumber("&H20000000000003"), 9007199254740996.0); // tie, to even
    EXPECT_EQ(ParseLeadingNumber("&H20000000000001" + std::string(15, '0') + "1"),
        std::ldexp(9007199254740994.0, 64)); // tie broken by a bit beyond 64
    EXPECT_EQ(ParseLeadingNumber("&HFFFFFFFFFFFFF800"), 18446744073709549568.0);
    EXPECT_EQ(ParseLeadingNumber("&O1777777777777777777777"), 18446744073709551616.0);
    EXPECT_EQ(ParseLeadingNumber("&H1" + std::string(255, '0')), std::ldexp(1.0, 1020));
}

TEST(ParseLeadingNumber, StopsAtTheEndOfItsInput)
{
    // Exactly sized heap blocks without a terminator, so a read beyond them is caught by ASan.
    for (const std::string text : { "1239", "1e59", "&H1F2", "0.75" }) {
        const std::size_t size = text.size() - 1;
        const auto block = std::make_unique<char[]>(size);
        text.copy(block.get(), size);
        const std::string_view view(block.get(), size);
        EXPECT_EQ(ParseLeadingNumber(view), ParseLeadingNumber(std::string(view))) << text;
    }
    EXPECT_EQ(ParseLeadingNumber(std::string_view("1239").substr(0, 3)), 123.0);
    EXPECT_EQ(ParseLeadingNumber(std::string_view("1e59").substr(0, 3)), 1e5);
}

// What the desktop program tells as "read only in part": anything after the number but blanks.
TEST(ReadsWhole, OnlyWhereNothingButBlanksFollowsTheNumber)
{
    for (const char* text : { "50", " 1 000 ", "-1.5e3", "+.5", "5.", "1E-7\n", "2d3", "&HFF", "&O0" })
        EXPECT_TRUE(ReadsWhole(text)) << '"' << text << '"';
    for (const char* text : { "", "  ", "50,000", "1.5x", "abc", "-", ".", "1e", "1e+", "2 e", "&H", "&Hg", "&X1" })
        EXPECT_FALSE(ReadsWhole(text)) << '"' << text << '"';
}

TEST(PlainNumberText, WritesTheShortestFormWithALeadingBlank)
{
    const std::vector<std::pair<double, std::string>> cases = {
        { 0.0, " 0" }, { -0.0, " 0" }, { 0.001, " .001" }, { -0.5, "-.5" }, { 1.5, " 1.5" },
        { 50000.0, " 50000" }, { 100.0, " 100" }, { 0.1 + 0.2, " .3" },
        { 1.0 / 3.0, " .333333333333333" }, { -2.0 / 3.0, "-.666666666666667" },
        { 123456789012345.0, " 123456789012345" }, { 999999999999999.9, " 1E+15" },
        { 1e15, " 1E+15" }, { 1e20, " 1E+20" }, { 0.00001, " .00001" }, { 0.000001, " 1E-06" },
        { 1.5e-7, " 1.5E-07" }, { 3e-10, " 3E-10" }, { -2.5e300, "-2.5E+300" },
        { 1.25e-100, " 1.25E-100" },
        { DBL_MAX, " 1.79769313486232E+308" },
        { std::numeric_limits<double>::denorm_min(), " 4.94065645841247E-324" },
        { std::numeric_limits<double>::quiet_NaN(), " 0" },
        { std::numeric_limits<double>::infinity(), " 1.79769313486232E+308" },
        { -std::numeric_limits<double>::infinity(), "-1.79769313486232E+308" },
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(PlainNumberText(value), expected) << value;
    EXPECT_EQ(ParseLeadingNumber(PlainNumberText(0.001)), 0.001);
}

TEST(RegionalNumberText, UsesTheFormatsSeparatorAndKeepsTheZero)
{
    EXPECT_EQ(RegionalNumberText(0.01, kComma), "0,01");
    EXPECT_EQ(ParseLeadingNumber(RegionalNumberText(0.01, kComma)), 0.0);
    EXPECT_EQ(ParseLeadingNumber(NormalizeDecimalText(RegionalNumberText(0.01, kComma))), 0.01);

    EXPECT_EQ(RegionalNumberText(0.01, kPoint), "0.01");
    EXPECT_EQ(RegionalNumberText(-0.5, kComma), "-0,5");
    EXPECT_EQ(RegionalNumberText(-0.0, kComma), "0");
    EXPECT_EQ(RegionalNumberText(1234567.25, kComma), "1234567,25");
    EXPECT_EQ(RegionalNumberText(50000.0, kComma), "50000");
    EXPECT_EQ(RegionalNumberText(1.5e-7, kComma), "1,5E-07");
    EXPECT_EQ(RegionalNumberText(1e20, kComma), "1E+20");
    EXPECT_EQ(RegionalNumberText(2.5, kArabic), "2\xD9\xAB" "5");

    EXPECT_EQ(RegionalNumberText(100LL), "100");
    EXPECT_EQ(RegionalNumberText(320000LL), "320000");
    EXPECT_EQ(RegionalNumberText(-5LL), "-5");
    EXPECT_EQ(RegionalNumberText(std::numeric_limits<long long>::min()), "-9223372036854775808");

    EXPECT_EQ(RegionalNumberText(std::optional<double>(), kComma), "");
    EXPECT_EQ(RegionalNumberText(std::optional<double>(2.5), kComma), "2,5");
}

TEST(RegionalNumberValue, ReadsOnlyAWholeNumberInTheFormat)
{
    const std::vector<std::pair<std::string, std::optional<double>>> commaCases = {
        { "0,01", 0.01 }, { " 2,5 \t\r\n", 2.5 }, { "5,", 5.0 }, { ",5", 0.5 }, { "+7", 7.0 },
        { "-1,5E+3", -1500.0 }, { "1e-2", 0.01 }, { "1e-400", 0.0 }, { "", {} }, { " \t", {} },
        { ",", {} }, { "-", {} }, { "1.5", {} }, { "1 000", {} }, { "1,000,5", {} },
        { "1D3", {} }, { "&H10", {} }, { "1e", {} }, { "1e+", {} }, { "1,5x", {} },
        { "- 1", {} }, { "1e400", {} }, { "-1e400", {} }, { "1,79769313486232E+308", {} },
    };
    for (const auto& [text, expected] : commaCases)
        EXPECT_EQ(RegionalNumberValue(text, kComma), expected) << '"' << text << '"';

    EXPECT_EQ(RegionalNumberValue("1.5", kPoint), 1.5);
    EXPECT_EQ(RegionalNumberValue("1,5", kPoint), std::nullopt);
    EXPECT_EQ(RegionalNumberValue("1\xD9\xAB" "5", kArabic), 1.5);
    EXPECT_EQ(RegionalNumberValue("1\xD9", kArabic), std::nullopt);
    EXPECT_EQ(RegionalNumberValue(std::string(100'000, '1'), kComma), std::nullopt);
    EXPECT_EQ(RegionalNumberValue("," + std::string(100'000, '0') + "1", kComma), 0.0);
}

TEST(NumberTextRoundTrip, FifteenDigitValuesComeBackExactly)
{
    std::mt19937_64 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        const std::string text = RandomDecimalText(random);
        double reference = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), reference);
        const double value = ParseLeadingNumber(text);
        ASSERT_EQ(Bits(value), Bits(reference)) << text;
        ASSERT_EQ(Bits(ParseLeadingNumber(PlainNumberText(value))), Bits(value)) << text;
        for (const RegionalFormat& format : { kComma, kPoint }) {
            const auto back = RegionalNumberValue(RegionalNumberText(value, format), format);
            ASSERT_TRUE(back.has_value()) << text;
            ASSERT_EQ(Bits(*back), Bits(value)) << text;
        }
    }
}

TEST(NumberTextRoundTrip, AnyTextIsStableAfterOneRound)
{
    std::mt19937_64 random(99);
    for (int round = 0; round < 20000; ++round) {
        const double value = RandomFiniteDouble(random);
        const std::string plain = PlainNumberText(value);
        ASSERT_EQ(PlainNumberText(ParseLeadingNumber(plain)), plain) << plain;
        // The few largest doubles round up to a 15-digit text beyond DBL_MAX, which the
        // strict reading refuses; random bit patterns practically never hit them.
        for (const RegionalFormat& format : { kComma, kPoint }) {
            const std::string regional = RegionalNumberText(value, format);
            const auto back = RegionalNumberValue(regional, format);
            ASSERT_TRUE(back.has_value()) << regional;
            ASSERT_EQ(RegionalNumberText(*back, format), regional);
        }
    }
}

// Restores the C locale however the test ends.
struct LocaleGuard {
    ~LocaleGuard() { std::setlocale(LC_ALL, "C"); }
};

TEST(NumberText, IgnoresACommaCLocale)
{
    std::mt19937_64 random(5);
    std::vector<std::string> texts = { "0,001", "2 45", "1,5", "-1,5E+3", "&H1F" };
    for (int i = 0; i < 200; ++i)
        texts.push_back(RandomDecimalText(random));
    std::vector<double> values;
    std::vector<std::string> written;
    std::vector<std::optional<double>> strict;
    for (const std::string& text : texts) {
        values.push_back(ParseLeadingNumber(text));
        written.push_back(PlainNumberText(values.back()) + RegionalNumberText(values.back(), kComma));
        strict.push_back(RegionalNumberValue(text, kComma));
    }

    LocaleGuard guard;
    bool commaLocale = false;
    for (const char* name : { "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE" }) {
        if (std::setlocale(LC_ALL, name) != nullptr
            && std::string(std::localeconv()->decimal_point) == ",") {
            commaLocale = true;
            break;
        }
    }
    ASSERT_TRUE(commaLocale) << "no locale with a decimal comma is installed: scripts/deps "
                                "generates de_DE.UTF-8 (localedef)";

    for (std::size_t i = 0; i < texts.size(); ++i) {
        const double value = ParseLeadingNumber(texts[i]);
        EXPECT_EQ(Bits(value), Bits(values[i])) << texts[i];
        EXPECT_EQ(PlainNumberText(value) + RegionalNumberText(value, kComma), written[i]);
        EXPECT_EQ(RegionalNumberValue(texts[i], kComma), strict[i]) << texts[i];
    }
}

} // namespace
} // namespace gravlag
