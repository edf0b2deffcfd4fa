#!/usr/bin/python3
"""Orbit widening under a delayed pull, measured with gravlag-batch against 2Gm/(d c).

Two equal masses m = 100 on a circular orbit of separation d = 12 ("2 BH's", n object 2),
200000 passes of dt = 0.001, for several c and both retardation methods. The separation is
twice r1 of --distance-csv (body 1's distance from the pair's midpoint). The drift is the
difference of the mean separation over the last and the first orbit, divided by the time
between the two means, less the same at c = 0 (the integrator's own drift).

Usage: drift.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/drift.md (the table) and OUTPUT_FOLDER/drift.png (the plot).
"""
import csv
import json
import math
import subprocess
import sys
import tempfile
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

G, M, D = 1.0, 100.0, 12.0
PASSES = 200000
CS = ["0", "5000", "7000", "10000", "15000", "20000", "30000", "50000"]
METHODS = {"0": "velocity extrapolation (Prediction 0)", "1": "history lookup (Prediction 1)"}


def separations(path):
    with open(path, newline="") as f:
        return [(float(r["t"]), 2 * float(r["r1"])) for r in csv.DictReader(f)]


def drift(samples):
    period = 2 * math.pi * math.sqrt(D**3 / (G * 2 * M))
    t_end = samples[-1][0]
    first = [s for t, s in samples if t < period]
    last = [s for t, s in samples if t > t_end - period]
    # The two means stand at the middle of their orbits, t_end - period apart.
    return (sum(last) / len(last) - sum(first) / len(first)) / (t_end - period)


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        command = [batch, "--bodies", "2", "--iterations", str(PASSES), "--every", "100",
                   "--sweep", "prediction=" + ";".join(METHODS),
                   "--sweep", "c=" + ";".join(CS),
                   "--distance-csv", str(Path(tmp) / "d.csv")]
        lines = subprocess.run(command, check=True, capture_output=True, text=True).stdout
        points = [json.loads(line) for line in lines.splitlines() if line.strip()]
        measured = {}
        for number, p in enumerate(points, start=1):
            assert p["ended"] == "completed", p
            key = (p["point"]["prediction"], p["point"]["c"])
            measured[key] = drift(separations(Path(tmp) / f"d-{number}.csv"))

    rows = ["| c | 2Gm/(d c) | " + " | ".join(f"{m}: drift, ratio" for m in METHODS.values())
            + " | lookup less extrapolation |",
            "|---|---|" + "---|" * len(METHODS) + "---|"]
    worst = 0.0
    for c in CS[1:]:
        expected = 2 * G * M / (D * float(c))
        cells = []
        for method in METHODS:
            value = measured[(method, c)] - measured[(method, "0")]
            cells.append(f"{value:.9g}, {value / expected:.4f}")
            worst = max(worst, abs(value / expected - 1))
        apart = measured[("1", c)] - measured[("0", c)]
        rows.append(f"| {c} | {expected:.6g} | " + " | ".join(cells) + f" | {apart:.3g} |")
    base = ", ".join(f"{measured[(m, '0')]:.3g} ({name.split(' (')[0]})" for m, name in METHODS.items())
    table = "\n".join(rows) + (f"\n\nDrift at c = 0, subtracted above: {base}. "
                               f"Largest deviation from the formula: {100 * worst:.2f} %.\n")
    (out / "drift.md").write_text(table)

    cs = [float(c) for c in CS[1:]]
    fine = [cs[0] * (cs[-1] / cs[0]) ** (i / 100) for i in range(101)]
    plt.figure(figsize=(6.4, 4.2))
    plt.loglog(fine, [2 * G * M / (D * c) for c in fine], "k-", label="2Gm/(d c)")
    for (method, name), marker in zip(METHODS.items(), ("o", "x")):
        plt.loglog(cs, [measured[(method, c)] - measured[(method, "0")] for c in CS[1:]],
                   marker, label=name)
    plt.xlabel("c")
    plt.ylabel("dd/dt (length per time unit)")
    plt.title("Widening of a circular binary, m = 100, d = 12")
    plt.legend()
    plt.grid(True, which="both", alpha=0.3)
    plt.tight_layout()
    plt.savefig(out / "drift.png", dpi=100)
    print(table, end="")
    return 0 if worst < 0.05 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
