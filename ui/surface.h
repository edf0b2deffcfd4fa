#pragma once
// A window's drawing area as pixels in memory: what the in-memory windows draw on and what
// a picture file is written from.

#include <cstddef>
#include <vector>

#include "ui/window_services.h"

namespace gravlag::ui {

// A window's inner drawing area, one Rgb per pixel, row by row.
struct Surface {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

// What erase() paints, on either implementation, so their pictures agree.
inline constexpr Rgb kBackground{255, 255, 255};

} // namespace gravlag::ui
