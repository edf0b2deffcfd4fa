#include "ui/window_services.h"

#include <cmath>
#include <limits>

namespace gravlag::ui {

int DevicePixel(float coordinate)
{
    // Coordinates far outside any window (a body flung away) map to a pixel that no window
    // has, without overflowing the int conversion; NaN maps there too.
    constexpr float kFar = 1.0e9f;
    if (!(coordinate > -kFar && coordinate < kFar))
        return std::numeric_limits<int>::min();
    return static_cast<int>(std::floor(coordinate + 0.5f));
}

} // namespace gravlag::ui
