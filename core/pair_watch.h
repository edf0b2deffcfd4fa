#pragma once
// Crossings of one pair of bodies found on an integration's output: the greatest separations
// (r . v going from + to -), or the returns of the second body to the direction in which it
// started from the first (one per completed turn). Each is looked for between two points the
// caller hands over, inside one step of the integration, and located on its dense output.

#include <cstddef>
#include <optional>
#include <vector>

#include "core/physics/integration.h"

namespace gravlag {

class PairWatch {
public:
    enum class Crossing {
        Apocentre, // r . v from + to -: the greatest separations
        Turn,      // through the starting direction, in the starting sense of rotation
    };
    struct Event {
        double t;         // time of the crossing
        double direction; // of body `second` from body `first` there, degrees in [0, 360)
    };

    // `dense` false (the euler integration answers only at a step's end): a crossing is put
    // between its two points by linear interpolation. `start`: the bodies at t = 0, which fix
    // the starting direction and sense for Crossing::Turn.
    PairWatch(const Integration& integration, bool dense, std::size_t first, std::size_t second,
              Crossing crossing, const std::vector<Body>& start);
    // A point at time t, which the integration's last step covers (with `dense` false: its
    // end); the crossing between it and the point before, if there is one.
    std::optional<Event> at(double t);
    std::optional<double> lastTime() const;

private:
    struct Point {
        double t, f, direction;
    };
    Point pointAt(double t);
    Event locate(Point a, Point b);

    const Integration& integration_;
    bool dense_;
    std::size_t first_, second_;
    Crossing crossing_;
    double startX_ = 0, startY_ = 0; // Crossing::Turn: starting direction (not normalised)
    double sense_ = 1;               // +1 counter-clockwise at the start, -1 clockwise
    std::vector<Body> bodies_;
    std::optional<Point> last_;
};

} // namespace gravlag
