#pragma once
// Texts that reach a JSON file or report must be UTF-8: the writer cannot hold other bytes.
// Texts from outside (the command line, sweeps, parameter files) are checked where they
// come in, so a text is either refused with a message or written exactly.

#include <string_view>

namespace gravlag {

// Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate, nothing
// beyond U+10FFFF.
bool IsUtf8(std::string_view text);

} // namespace gravlag
