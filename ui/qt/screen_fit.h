#pragma once
// Where a top-level window goes when the layout's place for it would not fit on the screen.

#include <QPoint>
#include <QRect>

namespace gravlag::ui {

// The top-left corner for a window whose frame would be `wanted`: `wanted`'s own where the
// whole frame lies inside `available` (the layout is kept wherever it fits); else moved the
// least distance that brings it inside, and where it is larger than `available` along an
// axis, its top or left edge on `available`'s, so its caption and the start of its area show.
QPoint FitInside(const QRect& wanted, const QRect& available);

} // namespace gravlag::ui
