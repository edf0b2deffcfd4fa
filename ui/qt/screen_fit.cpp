#include "ui/qt/screen_fit.h"

#include <algorithm>

namespace gravlag::ui {

namespace {

int FitAxis(int start, int length, int areaStart, int areaLength)
{
    const int lastStart = areaStart + areaLength - length; // the right or bottom edge on the area's
    return std::max(areaStart, std::min(start, lastStart));
}

} // namespace

QPoint FitInside(const QRect& wanted, const QRect& available)
{
    if (available.isEmpty() || available.contains(wanted))
        return wanted.topLeft();
    return {FitAxis(wanted.left(), wanted.width(), available.left(), available.width()),
            FitAxis(wanted.top(), wanted.height(), available.top(), available.height())};
}

} // namespace gravlag::ui
