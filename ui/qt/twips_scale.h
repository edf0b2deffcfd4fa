#pragma once
// Twips to pixels and back at a screen's logical resolution (15 twips to the pixel at 96 dots
// per inch). Twips become pixels by rounding down, as in the in-memory windows, so that the
// two agree wherever a layout uses whole pixels; pixels become twips by rounding to nearest.

#include <cmath>

namespace gravlag::ui {

struct TwipsScale {
    double dotsPerInch = 96.0; // logical dots per inch of the screen

    double twipsPerPixel() const { return 1440.0 / dotsPerInch; }
    int toPixels(int twips) const
    {
        // The small allowance keeps an exact quotient (3765 twips at 96 dpi: 251 pixels) from
        // falling one pixel short through the rounding of the division.
        return static_cast<int>(std::floor(twips * dotsPerInch / 1440.0 + 1e-7));
    }
    int toTwips(int pixels) const
    {
        return static_cast<int>(std::lround(pixels * 1440.0 / dotsPerInch));
    }
};

} // namespace gravlag::ui
