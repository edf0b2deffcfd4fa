#!/usr/bin/python3
"""Laplace's question for this model: how much does a delayed pull widen a Sun-Earth-like
orbit per year, against c, and how fast must the pull travel for the widening to stay below
an allowed drift? From gravlag-batch --system --report with the reference integrator.

Units: G = 1, the Sun's mass 1, the astronomical unit 1; then a time unit is a year / (2 pi)
(58.13 days), a speed unit 2 pi AU per year (29.79 km/s), and light's speed is c = 10065.1.
The pair: the Sun (mass 1) and the Earth (3.003e-6 solar masses) at a = 1, e = 0.0167, over
10 orbits (years), for c from 1e2 to 1e5 and light's.

In this model the pull comes from where the source was: the Sun, nearly at rest at the
centre of mass, pulls from almost where it is, and the widening comes from the relative
orbit's first-order term, K = 2 G m1 m2 / ((m1 + m2) c), which is proportional to the
Earth's mass. The bound on c is therefore far weaker than Laplace's (his pull of a fluid at
rest about the Sun, aberrated by the Earth's own motion, gave c above 7e6 times light's).

Usage: laplace.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/laplace.md and laplace.png; exits non-zero when a comparison leaves the
tolerance docs/validation.md states.
"""
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from systems import finish, g, kepler_pair, period, run_system, table  # noqa: E402

SUN, EARTH, A, E = 1.0, 3.003e-6, 1.0, 0.0167
AU_M = 1.495978707e11  # metres
LIGHT = 299792.458 / (2 * 3.141592653589793 * AU_M / 1e3 / (365.25 * 86400))  # light's c in these units
CS = [1e2, 1e3, 1e4, LIGHT, 1e5]
ALLOWED_M_PER_YEAR = 1.0  # the drift of the Earth's orbit allowed here, metres per year


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    p = period(SUN, EARTH, A)
    duration = repr(10 * p + p / 8)
    da0 = run_system(batch, kepler_pair(SUN, EARTH, A, E, 0), "--integrator", "reference",
                     "--duration", duration)["analysis"]["elements"]["rates"]["daPerOrbit"]
    rows, found = [], []
    for c in CS:
        r = run_system(batch, kepler_pair(SUN, EARTH, A, E, c), "--integrator", "reference",
                       "--duration", duration)["analysis"]
        da = r["elements"]["rates"]["daPerOrbit"] - da0
        theory = r["theory"]["delayDaPerOrbit"]
        found.append((c, da, theory))
        rows.append([g(c, 6), g(c / LIGHT, 4), g(theory, 5), g(da, 5), f"{da / theory:.5f}",
                     g(da * AU_M, 4), g(da * c, 5)])
    product = sum(f[1] * f[0] for f in found) / len(found)  # da c, AU per orbit times c
    allowed = ALLOWED_M_PER_YEAR / AU_M
    c_min = product / allowed
    text = ("Widening per orbit (per year) of a Sun-Earth-like pair, reference integrator\n\n"
            + table(["c", "c / light's", "delayDaPerOrbit, AU", "daPerOrbit, AU", "measured / theory",
                     "daPerOrbit, m per year", "daPerOrbit c"], rows)
            + f"\n\nThe integrator's own daPerOrbit at c 0, subtracted above: {g(da0, 3)} AU.\n\n"
            f"Mean daPerOrbit c: {g(product, 5)} AU per orbit. An allowed drift of "
            f"{ALLOWED_M_PER_YEAR:g} m per year ({g(allowed, 4)} AU) needs c >= {g(c_min, 4)}, "
            f"{g(c_min / LIGHT, 4)} times light's speed.\n")
    fig, ax = plt.subplots(figsize=(5.5, 4))
    ax.loglog([f[0] for f in found], [f[1] * AU_M for f in found], "o", label="measured")
    ax.loglog([f[0] for f in found], [f[2] * AU_M for f in found], "k:", label="first order")
    ax.axhline(ALLOWED_M_PER_YEAR, color="r", lw=0.8, label=f"allowed: {ALLOWED_M_PER_YEAR:g} m per year")
    ax.axvline(LIGHT, color="grey", lw=0.8, ls="--", label="light's speed")
    ax.set_xlabel("c (units of 29.79 km/s)")
    ax.set_ylabel("widening, metres per year")
    ax.set_title("Sun-Earth-like pair")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "laplace.png", dpi=90)
    failures = [f"c {c:g}: measured / theory {da / theory:.4f}" for c, da, theory in found
                if abs(da / theory - 1) > 1e-3]
    return finish(out, "laplace", text, failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
