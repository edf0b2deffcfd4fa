// Fuzzes the text conversions with their invariants.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/number_text.h"

using namespace gravlag;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string normal = NormalizeDecimalText(text);
    if (normal.size() != text.size())
        std::abort();
    for (std::size_t i = 0; i < size; ++i)
        if (normal[i] != (text[i] == ',' ? '.' : text[i]))
            std::abort();

    const double v = ParseLeadingNumber(text);
    if (!std::isfinite(v))
        std::abort();
    // A written number reads back to the same text after one round.
    const std::string plain = PlainNumberText(v);
    const double back = ParseLeadingNumber(plain);
    if (!std::isfinite(back) || PlainNumberText(back) != plain)
        std::abort();
    for (const char* separator : {".", ","}) {
        const RegionalFormat format{separator};
        const std::string regional = RegionalNumberText(v, format);
        const auto strict = RegionalNumberValue(regional, format);
        if (strict && RegionalNumberText(*strict, format) != regional)
            std::abort();
        if (const auto any = RegionalNumberValue(text, format); any && !std::isfinite(*any))
            std::abort();
    }
    // What the strict reading takes with a point, the panel's reading takes whole and as the
    // same number: a text from outside, once checked, runs as it was checked.
    if (const auto strict = RegionalNumberValue(text, RegionalFormat{"."}))
        if (!ReadsWhole(text) || ParseLeadingNumber(text) != *strict)
            std::abort();
    // Any 8 bytes as a double: the written text is readable and finite.
    if (size >= 8) {
        double raw;
        std::memcpy(&raw, data, 8);
        if (std::isfinite(raw) && !std::isfinite(ParseLeadingNumber(PlainNumberText(raw))))
            std::abort();
    }
    return 0;
}
