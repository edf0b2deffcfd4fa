#pragma once
// The secular pull of an outer body spread into a circular ring of radius a3 about the inner
// pair's centre of mass, in the pair's plane, averaged over the ring and over the Kepler
// orbit (mean anomaly M) of the inner relative orbit with semi-major axis a, eccentricity e,
// per unit reduced mass of the pair (masses m1, m2, M = m1 + m2):
//
//   <R> = G m3 sum_{l>=1} w_l [(2l-1)!!/(2l)!!]^2 <r^(2l)> / a3^(2l+1),   <r^(2l)> = a^(2l) J_(2l+1)(e),
//   w_l = (m1^(2l-1) + m2^(2l-1)) / M^(2l-1).
//
// Each body of the pair feels the ring at its own distance from the centre of mass,
// m2 r / M and m1 r / M; summed over both and divided by the reduced mass, the term of order
// l carries w_l. It is 1 for the quadrupole (l = 1) and for a test particle (m2 -> 0), and a
// quarter at l = 2 for equal masses, where leaving it out puts the precession some 10 %
// too high.
//
// where J_n(e) is the mean over the eccentric anomaly E of (1 - e cos E)^n (dM = (1 - e cos E) dE).
// J_n = (1 - e^2)^(n/2) P_n(1 / sqrt(1 - e^2)) with P_n Legendre's polynomial (Laplace's
// integral), so Legendre's recurrence gives it exactly:
//
//   (n + 1) J_(n+1) = (2n + 1) J_n - n (1 - e^2) J_(n-1),            J_0 = J_1 = 1,
//
// and differentiating it in e gives the derivative, divided by e so that e = 0 needs no 0/0:
//
//   (n + 1) D_(n+1) = (2n + 1) D_n - n (1 - e^2) D_(n-1) + 2n J_(n-1), D_n = J_n'(e) / e, D_0 = D_1 = 0.
//
// P_n is the growing solution for arguments above 1, so the forward recurrence is stable.

#include <optional>

namespace gravlag {

// (1/e) d<R>/de in units of G m3 / a3, that is sum_{l>=1} w_l [(2l-1)!!/(2l)!!]^2 s^(2l) D_(2l+1)(e)
// with s = a / a3 and w_l from share = m1 / M (0 to 1), summed to convergence. Finite at
// e = 0 (the limit of the quotient). Needs 0 <= e < 1, s > 0, 0 <= share <= 1 and the
// apocentre inside the ring, s (1 + e) < 1; absent otherwise and when the series has not
// converged after a million terms (an apocentre very close to the ring).
std::optional<double> RingPotentialSlope(double e, double s, double share);

} // namespace gravlag
