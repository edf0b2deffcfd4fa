#!/usr/bin/python3
"""The aberration-free law's widening against the retarded law's, from gravlag-batch --system
--report with the reference integrator: a circular equal-mass pair (m 1, d 1, relative speed
v = sqrt(2)) over 4 orbits for c from 1e2 to 1e5. The retarded pull widens the orbit at first
order, 2 G m P / (d c) per orbit; carrying the retarded position on along the retarded
velocity cancels that first order (as for a charge in uniform motion), so what is left of
the aberration-free widening is of higher order in v / c. Each widening is less the
integrator's own, the same pair's at c 0 (about 1e-12 per orbit).

Usage: aberration.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/aberration.md and aberration.png; exits non-zero when a comparison
leaves the tolerance docs/validation.md states.
"""
import math
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from systems import circle_pair, finish, g, period, run_system, table  # noqa: E402

CS = [1e2, 1e3, 1e4, 1e5]
M, D = 1.0, 1.0


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    p = period(M, M, D)
    v = math.sqrt(2 * M / D)
    rows, found = [], []
    da0 = run_system(batch, circle_pair(M, M, D, 0), "--integrator", "reference", "--duration",
                     repr(4 * p + p / 8))["analysis"]["elements"]["rates"]["daPerOrbit"]
    for c in CS:
        da = {}
        for law in ("retarded", "aberration-free"):
            r = run_system(batch, circle_pair(M, M, D, c), "--integrator", "reference",
                           "--force-law", law, "--duration", repr(4 * p + p / 8))
            da[law] = r["analysis"]["elements"]["rates"]["daPerOrbit"] - da0
        ratio = da["aberration-free"] / da["retarded"]
        found.append((c, da["retarded"], da["aberration-free"], ratio))
        rows.append([g(c), g(2 * M * p / (D * c), 6), g(da["retarded"], 6), g(da["aberration-free"], 3),
                     f"{ratio:+.3g}", f"{ratio * (c / v) ** 2:+.3g}"])
    text = ("Widening per orbit of a circular equal-mass pair (m 1, d 1), length units per orbit\n\n"
            + table(["c", "2 G m P / (d c)", "retarded: daPerOrbit", "aberration-free: daPerOrbit",
                     "aberration-free / retarded", "that / (v / c)²"], rows)
            + f"\n\nThe integrator's own daPerOrbit at c 0, subtracted above: {g(da0, 3)}.\n")
    fig, ax = plt.subplots(figsize=(5.5, 4))
    ax.loglog(CS, [f[1] for f in found], "o", label="retarded")
    ax.loglog(CS, [abs(f[2]) for f in found], "s", label="|aberration-free|")
    ax.loglog(CS, [2 * M * p / (D * c) for c in CS], "k:", label="2 G m P / (d c)")
    ax.set_xlabel("c (relative speed 1.41)")
    ax.set_ylabel("da per orbit")
    ax.set_title("widening: retarded against aberration-free")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "aberration.png", dpi=90)
    # Below second order in v / c, down to the integrator's floor (1e-11 per orbit).
    failures = [f"c {c:g}: aberration-free / retarded = {ratio:+.3g}"
                for c, ret, free, ratio in found if abs(free) > (v / c) ** 2 * abs(ret) + 1e-11]
    return finish(out, "aberration", text, failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
