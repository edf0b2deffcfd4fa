#pragma once
// The fixed 16-colour palette of both displays and the colour selector.

#include "ui/window_services.h"

namespace gravlag {

// Colour n of the palette, 0..15; any other n is taken modulo 16.
ui::Rgb QBColor(int n);

// A drawing coordinate for Window::setPixel. Values far outside every window are pinned to a
// far-away float instead of overflowing the conversion. Inline: each pixel drawn takes one.
inline float PixelCoordinate(double v)
{
    constexpr double kFar = 1.0e30;
    if (!(v < kFar)) [[unlikely]]
        return v > 0 || v != v ? static_cast<float>(kFar) : static_cast<float>(v);
    if (!(v > -kFar)) [[unlikely]]
        return static_cast<float>(-kFar);
    return static_cast<float>(v);
}

} // namespace gravlag
