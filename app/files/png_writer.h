#pragma once
#include <string>

#include "ui/surface.h"

namespace gravlag {

// The PNG file of a surface: 8-bit RGB, one image pixel per surface pixel, 96 dots per inch
// (a pHYs chunk of 3780 dots per metre). Empty when the surface cannot be encoded.
std::string EncodePng(const ui::Surface& surface);

// Writes EncodePng's bytes to `file`; false with the reason on failure.
bool WritePng(const ui::Surface& surface, const std::string& file, std::string& problem);

} // namespace gravlag
