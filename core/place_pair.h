#pragma once
// Two bodies about their common centre of mass at the origin, with velocities at right
// angles to the line joining them (circular orbits for speed factor 1).

namespace gravlag {

struct PairPlacement {
    double x0 = 0, y0 = 0, vx0 = 0, vy0 = 0; // first member
    double x1 = 0, y1 = 0, vx1 = 0, vy1 = 0; // second member
};

// m0, m1: masses; d: separation; f: speed factor; theta: direction (radians) from the centre
// of mass to the first member. Every operation in the order and grouping of the formulas;
// nothing is checked here (the run's set-up refuses what cannot be placed).
PairPlacement PlacePair(double m0, double m1, double d, double f, double theta);

} // namespace gravlag
