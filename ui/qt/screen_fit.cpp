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

QPoint PlaceBeside(const QRect& wanted, const QRect& available, const QRect& front, const QRect& keep)
{
    const QPoint inside = FitInside(wanted, available);
    if (front.isEmpty() || wanted.intersects(front) || !QRect(inside, wanted.size()).intersects(front))
        return inside;
    QPoint clear = inside;
    if (wanted.left() > front.right())
        clear.setX(std::max(inside.x(), front.right() + 1));
    if (wanted.top() > front.bottom())
        clear.setY(std::max(inside.y(), front.bottom() + 1));
    if (QRect(clear, wanted.size()).intersects(front) || !available.contains(keep.translated(clear)))
        return inside;
    return clear;
}

} // namespace gravlag::ui
