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

// The top-left corner for a window whose frame would be `wanted`, beside `front`, the frame of
// a window kept in front of it: FitInside's place, unless that moves it under `front` when
// `wanted` was clear of it. Then it keeps clear of `front`, moved only as far as the
// screen's edges and `front` allow, and so sticking out past the right or bottom edge of
// `available`, as long as `keep` (the part that must show, relative to the frame's top-left
// corner: the start of the title bar and the controls) lies inside `available`; a window
// that cannot keep clear so goes to FitInside's place.
QPoint PlaceBeside(const QRect& wanted, const QRect& available, const QRect& front, const QRect& keep);

} // namespace gravlag::ui
