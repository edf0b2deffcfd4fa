#pragma once
#include <string>

#include "ui/surface.h"

namespace gravlag {

// A surface as the bytes of a PNG file at 96 dots per inch, one image pixel per surface
// pixel; empty if the image could not be encoded. The caller writes them (OutputFile).
std::string PngBytes(const ui::Surface& surface);

} // namespace gravlag
