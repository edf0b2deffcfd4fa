#pragma once
#include <string>

#include "ui/surface.h"

namespace gravlag {

// The PNG file of a surface: 8-bit RGB, one image pixel per surface pixel, 96 dots per inch
// (a pHYs chunk of 3780 dots per metre). Empty when the surface cannot be encoded. The
// caller writes the bytes (OutputFile), so a picture is on disk whole or not at all.
std::string EncodePng(const ui::Surface& surface);

} // namespace gravlag
