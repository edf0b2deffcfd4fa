#pragma once
#include <string>

#include "ui/surface.h"

namespace gravlag {

// Writes a surface as a PNG at 96 dots per inch; false with the reason on failure.
bool WritePng(const ui::Surface& surface, const std::string& file, std::string& problem);

} // namespace gravlag
