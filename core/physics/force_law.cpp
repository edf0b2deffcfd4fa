#include "core/physics/force_law.h"

#include <vector>

namespace gravlag {

// a_a = sum_b G m_b (x_b - x_a) / r^3 [1 + (v_a^2 + 2 v_b^2 - 4 v_a.v_b - 3/2 (n_ab.v_b)^2
//                                          - 4 phi_a - phi_b + 1/2 (x_b - x_a).A_b) / c^2]
//     + sum_b G m_b / r^2 (n_ab.(4 v_a - 3 v_b)) (v_a - v_b) / c^2
//     + 7/2 sum_b G m_b A_b / r / c^2,
// n_ab = (x_a - x_b) / r, phi_a = sum_{k != a} G m_k / r_ak, A_b the Newtonian acceleration.
void EihAccelerations(double c, std::span<const double> gm, std::span<const Motion> now,
                      std::span<double> ax, std::span<double> ay)
{
    const std::size_t n = now.size();
    const double c2 = c * c;
    std::vector<double> newtonX(n, 0.0), newtonY(n, 0.0), phi(n, 0.0);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            if (b == a)
                continue;
            const double dx = now[b].x - now[a].x, dy = now[b].y - now[a].y;
            const double r = std::sqrt(dx * dx + dy * dy);
            newtonX[a] += gm[b] * dx / (r * r * r);
            newtonY[a] += gm[b] * dy / (r * r * r);
            phi[a] += gm[b] / r;
        }
    for (std::size_t a = 0; a < n; ++a) {
        const Motion& A = now[a];
        const double va2 = A.vx * A.vx + A.vy * A.vy;
        double sx = 0, sy = 0;
        for (std::size_t b = 0; b < n; ++b) {
            if (b == a)
                continue;
            const Motion& B = now[b];
            const double dx = B.x - A.x, dy = B.y - A.y; // x_b - x_a
            const double r = std::sqrt(dx * dx + dy * dy);
            const double nx = -dx / r, ny = -dy / r; // n_ab
            const double vb2 = B.vx * B.vx + B.vy * B.vy;
            const double vab = A.vx * B.vx + A.vy * B.vy;
            const double nvb = nx * B.vx + ny * B.vy;
            const double xa = dx * newtonX[b] + dy * newtonY[b];
            const double bracket = 1
                + (va2 + 2 * vb2 - 4 * vab - 1.5 * nvb * nvb - 4 * phi[a] - phi[b] + 0.5 * xa) / c2;
            const double newton = gm[b] / (r * r * r);
            sx += newton * dx * bracket;
            sy += newton * dy * bracket;
            const double nw = nx * (4 * A.vx - 3 * B.vx) + ny * (4 * A.vy - 3 * B.vy);
            const double g2 = gm[b] / (r * r) / c2;
            sx += g2 * nw * (A.vx - B.vx);
            sy += g2 * nw * (A.vy - B.vy);
            sx += 3.5 * gm[b] / r / c2 * newtonX[b];
            sy += 3.5 * gm[b] / r / c2 * newtonY[b];
        }
        ax[a] = sx;
        ay[a] = sy;
    }
}

} // namespace gravlag
