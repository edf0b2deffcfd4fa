#!/usr/bin/python3
"""The reference integrator against closed forms, from gravlag-batch --system --report:
(a) a Kepler orbit at c 0 (a light body, e = 0.5, a = 1 about a unit mass) over 1000 periods:
    the turns, the energy's relative change and the period, read from where the body stands
    after 1000.5 periods of the closed form, at whose apocentre it should be (its distance
    along the orbit from there, over the speed there, is the time by which the run is behind
    the closed form);
(b) the first-order widening of a circular pair under the retarded pull, 2 G m / (d c) per
    time unit (equal masses m = 1, separation d = 1), against the report's daPerOrbit over 4
    orbits, for c from 1e3 to 1e6.

Usage: reference.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/reference.md and reference.png; exits non-zero when a comparison leaves
the tolerance docs/validation.md states.
"""
import math
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from systems import circle_pair, finish, g, kepler_pair, period, run_system, table  # noqa: E402

ORBITS = 1000
TOLERANCES = ["1e-10", "1e-11", "1e-12", "1e-13"]
CS = [1e3, 1e4, 1e5, 1e6]
WIDENING_ORBITS = 4


def kepler(batch):
    m1, m2, a, e = 1.0, 1e-9, 1.0, 0.5
    system = kepler_pair(m1, m2, a, e, 0)
    p = period(m1, m2, a)
    rows, found = [], []
    for tol in TOLERANCES:
        r = run_system(batch, system, "--integrator", "reference", "--tolerance", tol,
                       "--duration", repr((ORBITS + 0.5) * p))
        end = r["bodies"]
        # Relative position against the apocentre (-a (1 + e), 0), passed going down (-y).
        dx = (end[1]["x"] - end[0]["x"]) + a * (1 + e)
        dy = end[1]["y"] - end[0]["y"]
        speed = math.sqrt((m1 + m2) * (1 - e) / (a * (1 + e)))
        lag = math.copysign(math.hypot(dx, dy), dy) / speed  # > 0: the run is behind
        energy = r["analysis"]["energy"]["relChange"]
        found.append((float(tol), abs(energy), abs(lag / (ORBITS * p)), r["analysis"]["orbits"]["count"]))
        rows.append([tol, r["analysis"]["orbits"]["count"], g(energy, 3), g(lag, 3), g(lag / (ORBITS * p), 3)])
    text = table(["tolerance", "turns", "energy: relative change", "time behind the closed form",
                  "period: relative error"], rows)
    return text, found


def widening(batch):
    m, d = 1.0, 1.0
    p = period(m, m, d)
    rows, found = [], []
    for c in CS:
        r = run_system(batch, circle_pair(m, m, d, c), "--integrator", "reference",
                       "--duration", repr(WIDENING_ORBITS * p + p / 8))
        measured = r["analysis"]["elements"]["rates"]["daPerOrbit"]
        theory = 2 * m * p / (d * c)
        found.append((c, measured / theory - 1))
        rows.append([g(c), g(theory, 6), g(measured, 8), f"{measured / theory - 1:+.3g}",
                     f"{(measured / theory - 1) * c:.3g}"])
    text = table(["c", "2 G m P / (d c)", "daPerOrbit", "ratio - 1", "(ratio - 1) c"], rows)
    return text, found


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    kepler_table, kepler_found = kepler(batch)
    widening_table, widening_found = widening(batch)
    text = (f"(a) Kepler orbit at c 0, e 0.5, over {ORBITS} periods, reference integrator\n\n"
            + kepler_table + f"\n\n(b) Widening of a circular equal-mass pair (m 1, d 1) over "
            f"{WIDENING_ORBITS} orbits, reference integrator, retarded law\n\n" + widening_table + "\n")
    fig, ax = plt.subplots(1, 2, figsize=(10, 4))
    tols = [f[0] for f in kepler_found]
    ax[0].loglog(tols, [f[1] for f in kepler_found], "o-", label="|energy change| / |energy|")
    ax[0].loglog(tols, [f[2] for f in kepler_found], "s-", label="|period error| / period")
    ax[0].set_xlabel("tolerance")
    ax[0].set_ylabel("relative error after 1000 periods")
    ax[0].set_title("(a) Kepler orbit, c 0, e 0.5")
    ax[0].legend(fontsize=8)
    ax[1].loglog(CS, [abs(f[1]) for f in widening_found], "o", label="|daPerOrbit / (2GmP/(dc)) - 1|")
    ax[1].loglog(CS, [abs(widening_found[0][1]) * CS[0] / c for c in CS], "k:", label="∝ 1/c")
    ax[1].set_xlabel("c (d 1, relative speed 1.41)")
    ax[1].set_ylabel("relative departure")
    ax[1].set_title("(b) first-order widening")
    ax[1].legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "reference.png", dpi=90)

    failures = []
    for tol, energy, per, turns in kepler_found:
        if turns != ORBITS:
            failures.append(f"(a) tolerance {tol}: {turns} turns in {ORBITS} periods")
        if energy > 1e4 * tol or per > 1e4 * tol:
            failures.append(f"(a) tolerance {tol}: energy {energy:.3g} or period {per:.3g} off")
    for c, departure in widening_found:
        if abs(departure) > 30 / c:
            failures.append(f"(b) c {c:g}: widening {departure:+.3g} off the first order")
    return finish(out, "reference", text, failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
