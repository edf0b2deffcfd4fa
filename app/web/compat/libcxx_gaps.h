#pragma once
// What the C++ library of Debian's emscripten lacks of C++20 and the program uses: std::bit_cast,
// and the floating-point conversions of <charconv> (it declares only the integer ones).
// Included before every source of the web build (nowhere else).
//
// The conversions They go through the C library's printf and strtod, which in emscripten
// are musl's: both exact (printf gives the correctly rounded digits of the double's exact
// value, strtod the correctly rounded double of any number of digits), so the texts and
// numbers are those of the native programs bit for bit. Only what the program calls is
// here: to_chars with a precision, from_chars of a decimal text. The web build has no
// locale but "C", so the decimal point is always '.'.

#include <bit>
#include <charconv>
#include <type_traits>

#if defined(__EMSCRIPTEN__) && !defined(__cpp_lib_bit_cast)
_LIBCPP_BEGIN_NAMESPACE_STD
template <class To, class From>
    requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To>
             && is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept
{
    return __builtin_bit_cast(To, from);
}
_LIBCPP_END_NAMESPACE_STD
#endif

#if defined(__EMSCRIPTEN__) && !defined(__cpp_lib_to_chars)

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

_LIBCPP_BEGIN_NAMESPACE_STD

inline to_chars_result to_chars(char* first, char* last, double value, chars_format format,
                                int precision)
{
    const char* pattern = format == chars_format::scientific ? "%.*e"
        : format == chars_format::fixed                      ? "%.*f"
        : format == chars_format::hex                        ? "%.*a"
                                                             : "%.*g";
    const auto room = static_cast<size_t>(last - first);
    // snprintf writes a terminating NUL that to_chars does not: format into a buffer one
    // longer, then copy what fits.
    char buffer[400];
    const int n = snprintf(buffer, sizeof buffer, pattern, precision, value);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer || static_cast<size_t>(n) > room)
        return {last, errc::value_too_large};
    memcpy(first, buffer, static_cast<size_t>(n));
    return {first + n, errc{}};
}

// The shortest text that reads back as `value`: its digits are the fewest that do, of those
// the nearest (printf rounds correctly, so the rounded ones are tried first, then their
// neighbours in the last place), written plain or with an exponent, whichever is shorter
// (plain on a tie), as to_chars writes them: "1e+30", "0.001", "123.5". Checked against
// libstdc++ on 200000 random doubles and every power of two.
inline to_chars_result to_chars(char* first, char* last, double value)
{
    char text[64];
    size_t length = 0;
    if (isnan(value) || isinf(value)) {
        length = static_cast<size_t>(snprintf(text, sizeof text, "%s%s", signbit(value) ? "-" : "",
                                              isnan(value) ? "nan" : "inf"));
    } else {
        const bool negative = signbit(value);
        const double magnitude = fabs(value);
        char digits[24] = "0";
        size_t count = 1;
        int exponent = 0;
        if (magnitude != 0) {
            for (int precision = 1; precision <= 17; ++precision) {
                char candidate[40];
                snprintf(candidate, sizeof candidate, "%.*e", precision - 1, magnitude);
                char* e = strchr(candidate, 'e');
                const int candidateExponent = atoi(e + 1);
                auto reads = [&](const char* text) { return strtod(text, nullptr) == magnitude; };
                bool found = reads(candidate);
                if (!found && precision > 1) {
                    // The nearest digits may fall outside the interval that reads back on the
                    // narrower side of a power of two; a neighbour in the last place may not.
                    const char lastDigit = e[-1];
                    for (const int step : {1, -1}) {
                        if ((step > 0 && lastDigit == '9') || (step < 0 && lastDigit == '0'))
                            continue;
                        e[-1] = static_cast<char>(lastDigit + step);
                        if (reads(candidate)) {
                            found = true;
                            break;
                        }
                        e[-1] = lastDigit;
                    }
                }
                if (found) {
                    count = 0;
                    for (const char* c = candidate; c != e; ++c)
                        if (*c != '.')
                            digits[count++] = *c;
                    while (count > 1 && digits[count - 1] == '0')
                        --count;
                    exponent = candidateExponent;
                    break;
                }
            }
        }
        char scientific[40], fixed[400];
        size_t s = 0, f = 0;
        if (negative)
            scientific[s++] = fixed[f++] = '-';
        scientific[s++] = digits[0];
        if (count > 1) {
            scientific[s++] = '.';
            for (size_t i = 1; i < count; ++i)
                scientific[s++] = digits[i];
        }
        s += static_cast<size_t>(snprintf(scientific + s, sizeof scientific - s, "e%c%02d",
                                          exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent));
        if (exponent >= 0 && static_cast<size_t>(exponent) + 1 >= count) {
            // A whole number written plain shows all its digits, exactly (as to_chars does),
            // not the shortest ones padded with zeros.
            f += static_cast<size_t>(snprintf(fixed + f, sizeof fixed - f, "%.0f", magnitude));
        } else if (exponent >= 0) {
            for (int i = 0; i <= exponent || static_cast<size_t>(i) < count; ++i) {
                if (i == exponent + 1)
                    fixed[f++] = '.';
                fixed[f++] = static_cast<size_t>(i) < count ? digits[i] : '0';
            }
        } else {
            fixed[f++] = '0';
            fixed[f++] = '.';
            for (int i = 1; i < -exponent; ++i)
                fixed[f++] = '0';
            for (size_t i = 0; i < count; ++i)
                fixed[f++] = digits[i];
        }
        const bool useFixed = f <= s;
        length = useFixed ? f : s;
        memcpy(text, useFixed ? fixed : scientific, length);
    }
    if (length > static_cast<size_t>(last - first))
        return {last, errc::value_too_large};
    memcpy(first, text, length);
    return {first + length, errc{}};
}

// A decimal text as from_chars reads it: an optional '-', digits with an optional point,
// an optional exponent; no leading blank or '+', no "inf" or "nan". Out of range (to 0 or
// an infinity from a text that is neither) leaves `value` as it was.
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general)
{
    const char* p = first;
    if (p != last && *p == '-')
        ++p;
    const char* digitsBegin = p;
    bool anyDigit = false;
    while (p != last && *p >= '0' && *p <= '9')
        ++p, anyDigit = true;
    if (p != last && *p == '.') {
        ++p;
        while (p != last && *p >= '0' && *p <= '9')
            ++p, anyDigit = true;
    }
    if (!anyDigit || digitsBegin == last)
        return {first, errc::invalid_argument};
    bool nonzero = false;
    for (const char* d = digitsBegin; d != p; ++d)
        nonzero = nonzero || (*d >= '1' && *d <= '9');
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* e = p + 1;
        if (e != last && (*e == '+' || *e == '-'))
            ++e;
        if (e != last && *e >= '0' && *e <= '9') {
            while (e != last && *e >= '0' && *e <= '9')
                ++e;
            p = e;
        }
    }
    const auto length = static_cast<size_t>(p - first);
    char local[128];
    char* text = length < sizeof local ? local : static_cast<char*>(malloc(length + 1));
    if (!text)
        return {first, errc::not_enough_memory};
    memcpy(text, first, length);
    text[length] = '\0';
    errno = 0;
    const double parsed = strtod(text, nullptr);
    if (text != local)
        free(text);
    if ((parsed == 0 && nonzero) || isinf(parsed))
        return {p, errc::result_out_of_range};
    value = parsed;
    return {p, errc{}};
}

_LIBCPP_END_NAMESPACE_STD

#endif
