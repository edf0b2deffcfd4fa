#include "displays/palette.h"

#include <array>

namespace gravlag {

ui::Rgb QBColor(int n)
{
    static constexpr std::array<ui::Rgb, 16> kPalette{{
        {0, 0, 0},       {0, 0, 128},     {0, 128, 0},     {0, 128, 128},
        {128, 0, 0},     {128, 0, 128},   {128, 128, 0},   {192, 192, 192},
        {128, 128, 128}, {0, 0, 255},     {0, 255, 0},     {0, 255, 255},
        {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255},
    }};
    return kPalette[static_cast<unsigned>(n) & 15u];
}

float PixelCoordinate(double v)
{
    constexpr double kFar = 1.0e30;
    if (!(v < kFar))
        return v > 0 || v != v ? static_cast<float>(kFar) : static_cast<float>(v);
    if (!(v > -kFar))
        return static_cast<float>(-kFar);
    return static_cast<float>(v);
}

} // namespace gravlag
