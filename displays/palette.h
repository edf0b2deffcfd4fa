#pragma once
// The fixed 16-colour palette of both displays and the colour selector.

#include "ui/window_services.h"

namespace gravlag {

// Colour n of the palette, 0..15; any other n is taken modulo 16.
ui::Rgb QBColor(int n);

// A drawing coordinate for Window::setPixel. Values far outside every window are pinned to a
// far-away float instead of overflowing the conversion.
float PixelCoordinate(double v);

} // namespace gravlag
