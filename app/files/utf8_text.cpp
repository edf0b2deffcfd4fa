#include "app/files/utf8_text.h"

namespace gravlag {

bool IsUtf8(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    const auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        // The first continuation byte's range depends on the lead byte (the well-formed
        // sequences of the Unicode standard); the others are always 80..BF.
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0; // no overlong form
            if (c == 0xED)
                high = 0x9F; // no surrogate
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            if (c == 0xF4)
                high = 0x8F; // nothing beyond U+10FFFF
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i)
            if (!continuation(p[i]))
                return false;
        p += length;
    }
    return true;
}

} // namespace gravlag
