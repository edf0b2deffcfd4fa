#!/usr/bin/python3
"""The euler scheme's dt -> 0 limits against the reference integrator, for the delay's share
of the "Mercury" precession: b(c) - b(c 0) of the pair alone (--bodies 2, the budget's
delayTwoBodies), over 1030 time units, at c 1000 and 5000, from gravlag-batch --report.
"Prediction" 0 (the source's position extrapolated along its velocity) and 1 (looked up in
the 20-step history) at dt from 0.002 to 0.000125; each sequence extrapolated to dt -> 0 from
its three finest steps (Richardson, with the order they show), against the reference
integrator's value (tolerance 1e-12).

Usage: euler_limits.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/euler_limits.md and euler_limits.png; exits non-zero when a comparison
leaves the tolerance docs/validation.md states.
"""
import math
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from systems import finish, g, run_scenario, table  # noqa: E402

CS = ["1000", "5000"]
DTS = ["0.002", "0.001", "0.0005", "0.00025", "0.000125"]
TIME = "1030"
METHODS = {"0": "Prediction 0", "1": "Prediction 1"}


def shares(points, *keys):
    """b(c) - b(c 0) for each point's keys but c."""
    b = {tuple(p["point"].get(k) for k in keys) + (p["point"]["c"],): p["analysis"]["precession"]["perOrbit"]
         for p in points}
    return {key: value - b[key[:-1] + ("0",)] for key, value in b.items() if key[-1] != "0"}


def limit(dts, values):
    """Richardson from the last three values at steps halving: the limit and the order."""
    v1, v2, v3 = values[-3:]
    ratio = (v1 - v2) / (v2 - v3)
    order = math.log2(ratio) if ratio > 0 else float("nan")
    return v3 + (v3 - v2) / (ratio - 1), order


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    reference = shares(run_scenario(batch, "--scenario", "Mercury", "--bodies", "2", "--report",
                                    "--integrator", "reference", "--duration", TIME,
                                    "--sweep", "c=0;" + ";".join(CS)))
    euler = shares(run_scenario(batch, "--scenario", "Mercury", "--bodies", "2", "--report",
                                "--duration", TIME, "--sweep", "prediction=" + ";".join(METHODS),
                                "--sweep", "dt=" + ";".join(DTS), "--sweep", "c=0;" + ";".join(CS)),
                   "prediction", "dt")
    rows, found = [], {}
    for c in CS:
        ref = reference[(c,)]
        for m in METHODS:
            values = [euler[(m, dt, c)] for dt in DTS]
            lim, order = limit(DTS, values)
            found[(c, m)] = (values, lim, order, ref)
            rows.append([c, METHODS[m], *(f"{v / ref:.4f}" for v in values), f"{lim / ref:.4f}",
                         f"{order:.2f}"])
    text = ("The delay's share of the precession, b(c) - b(c 0) of the pair, as a ratio to the "
            "reference integrator's, over 1030 time units\n\n"
            + table(["c", "method", *(f"dt {dt}" for dt in DTS), "dt -> 0", "order"], rows)
            + "\n\nReference integrator (tolerance 1e-12), degrees per orbit: "
            + ", ".join(f"c {c}: {g(reference[(c,)], 8)}" for c in CS) + ".\n")
    fig, ax = plt.subplots(figsize=(6, 4.5))
    dts = [float(dt) for dt in DTS]
    for (c, m), marker in zip(found, ("o", "x", "s", "+")):
        values, lim, order, ref = found[(c, m)]
        ax.semilogx(dts, [v / ref for v in values], marker + "-", label=f"c {c}, {METHODS[m]}")
    ax.axhline(1, color="k", lw=0.8, label="reference integrator")
    ax.set_xlabel("dt")
    ax.set_ylabel("delay share / reference's")
    ax.set_title("euler's delay share of the precession as dt -> 0")
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "euler_limits.png", dpi=90)
    failures = []
    for (c, m), (values, lim, order, ref) in found.items():
        if m == "0" and abs(lim / ref - 1) > 0.05:
            failures.append(f"c {c}, Prediction 0: the limit is {lim / ref:.4f} of the reference's")
        if m == "1" and not abs(lim / ref - 1) > 0.1:
            failures.append(f"c {c}, Prediction 1: the limit {lim / ref:.4f} no longer shows the method's error")
    return finish(out, "euler_limits", text, failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
