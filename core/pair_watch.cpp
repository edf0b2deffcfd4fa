#include "core/pair_watch.h"

#include "core/apsis.h"

namespace gravlag {

namespace {

constexpr int kRootIterations = 100;

} // namespace

PairWatch::PairWatch(const Integration& integration, bool dense, std::size_t first,
                     std::size_t second, Crossing crossing, const std::vector<Body>& start)
    : integration_(integration), dense_(dense), first_(first), second_(second),
      crossing_(crossing), bodies_(integration.bodies())
{
    if (start.size() <= first || start.size() <= second)
        return; // nothing to watch: at() is never asked
    const Body &a = start[first], &b = start[second];
    startX_ = b.x - a.x;
    startY_ = b.y - a.y;
    sense_ = startX_ * (b.vy - a.vy) - startY_ * (b.vx - a.vx) < 0 ? -1 : 1;
}

std::optional<PairWatch::Event> PairWatch::at(double t)
{
    const Point p = pointAt(t);
    const std::optional<Point> before = last_;
    last_ = p;
    if (!before || !(before->f > 0 && p.f <= 0) || before->t == t)
        return std::nullopt;
    if (!dense_) {
        const double s = before->f / (before->f - p.f);
        return Event{before->t + s * (t - before->t),
                     InterpolateDirection(before->direction, p.direction, s)};
    }
    return locate(*before, p);
}

std::optional<double> PairWatch::lastTime() const
{
    return last_ ? std::optional<double>(last_->t) : std::nullopt;
}

PairWatch::Point PairWatch::pointAt(double t)
{
    integration_.stateAt(t, bodies_);
    const Body &a = bodies_[first_], &b = bodies_[second_];
    const double rx = b.x - a.x, ry = b.y - a.y;
    // Turn: the sine of the angle from the starting direction, against the sense of rotation,
    // so that it is > 0 just before a return and <= 0 after (the half turn crosses upwards).
    const double f = crossing_ == Crossing::Apocentre ? rx * (b.vx - a.vx) + ry * (b.vy - a.vy)
                                                      : -sense_ * (startX_ * ry - startY_ * rx);
    return {t, f, PolarAngle(rx, ry) * 180 / kPi};
}

// The root between a (f > 0) and b (f <= 0), by regula falsi with the Illinois halving, to
// where the dense output no longer tells two times apart.
PairWatch::Event PairWatch::locate(Point a, Point b)
{
    int side = 0;
    Point root = b;
    for (int i = 0; i < kRootIterations; ++i) {
        double t = (a.t * b.f - b.t * a.f) / (b.f - a.f);
        if (!(t > a.t && t < b.t))
            t = a.t + (b.t - a.t) / 2;
        if (!(t > a.t && t < b.t))
            break; // a and b are neighbouring doubles
        root = pointAt(t);
        if (root.f == 0)
            break;
        if (root.f > 0) {
            a = root;
            if (side == 1)
                b.f /= 2;
            side = 1;
        } else {
            b = root;
            if (side == -1)
                a.f /= 2;
            side = -1;
        }
    }
    return {root.t, root.direction};
}

} // namespace gravlag
