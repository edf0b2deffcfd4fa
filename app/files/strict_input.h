#pragma once
// Box texts that come from outside the panel (the batch runner's options, parameter files,
// --sweep, Python). A person at the panel sees what a box made of a text; a command line or
// a script does not, so there a text is taken only when the run reads all of it as one
// number and uses that number as it is: "50,000" (read as 50), "5OOO" (5), "abc" (0),
// "1e-3s", an empty text and "1" bodies (which the box turns into 2) are refused instead.
// Taken texts are still typed into the boxes, so the run reads them exactly as before.

#include <string>
#include <string_view>

#include "core/number_text.h"

namespace gravlag {

struct PanelInput;

// How texts from outside reach the boxes.
enum class TextReading {
    Strict,  // refused unless wholly a number the run takes as it is
    AsTyped, // as a person typed them, read by the panel's own rules (for reproducing that)
};

// Why `text` cannot go into `input`'s box under strict reading, in words that follow its
// source's name ("--c: ", "key \"c\": "); empty when it can. The boxes read in the user's
// format ("n object", "Iteration", "Prediction") take that format's decimal separator, the
// others a point.
std::string StrictInputProblem(const PanelInput& input, std::string_view text,
                               const RegionalFormat& format);

} // namespace gravlag
