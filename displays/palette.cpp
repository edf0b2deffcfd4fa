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

} // namespace gravlag
