#!/usr/bin/python3
"""Orbit widening under a delayed pull, read from gravlag-batch --report against the theory.

Two equal masses m = 100 on a circular orbit of separation d = 12 ("2 BH's", n object 2),
200000 passes of dt = 0.001 (about 10.8 orbits), for several c and both retardation methods.
The measured widening is the report's daPerOrbit (the slope of a least-squares line through
the semi-major axis at every turn) less the same method's at c = 0 (the integrator's own);
the theory is the report's delayDaPerOrbit, 2 G m P / (d c) per orbit of period P, which is
dd/dt = 2 G m / (d c).

Usage: drift.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/drift.md (the table) and OUTPUT_FOLDER/drift.png (the plot).
"""
import json
import subprocess
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

G, M, D = 1.0, 100.0, 12.0
PASSES = 200000
CS = ["0", "5000", "7000", "10000", "15000", "20000", "30000", "50000"]
METHODS = {"0": "velocity extrapolation (Prediction 0)", "1": "history lookup (Prediction 1)"}


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    command = [batch, "--bodies", "2", "--iterations", str(PASSES), "--report", "--json",
               "--sweep", "prediction=" + ";".join(METHODS), "--sweep", "c=" + ";".join(CS)]
    lines = subprocess.run(command, check=True, capture_output=True, text=True,
                           env={"LC_ALL": "C"}).stdout
    analysis = {}
    for line in lines.splitlines():
        p = json.loads(line)
        assert p["ended"] == "completed", p
        analysis[(p["point"]["prediction"], p["point"]["c"])] = p["analysis"]

    def rate(method, c):
        rates = analysis[(method, c)]["elements"]["rates"]
        return rates["daPerOrbit"], rates["stdError"]["daPerOrbit"]

    rows = ["| c | delayDaPerOrbit | " + " | ".join(f"{m}: daPerOrbit ± error, ratio" for m in METHODS.values())
            + " | lookup less extrapolation |",
            "|---|---|" + "---|" * len(METHODS) + "---|"]
    worst = 0.0
    measured = {}
    for c in CS[1:]:
        expected = analysis[("0", c)]["theory"]["delayDaPerOrbit"]
        cells = []
        for method in METHODS:
            value, error = rate(method, c)
            value -= rate(method, "0")[0]
            measured[(method, c)] = value
            cells.append(f"{value:.9g} ± {error:.2g}, {value / expected:.4f}")
            worst = max(worst, abs(value / expected - 1))
        apart = measured[("1", c)] - measured[("0", c)]
        rows.append(f"| {c} | {expected:.6g} | " + " | ".join(cells) + f" | {apart:.3g} |")
    period = analysis[("0", "0")]["elements"]["start"]["period"]
    orbits = analysis[("0", "0")]["orbits"]["count"]
    base = ", ".join(f"{rate(m, '0')[0]:.3g} ({name.split(' (')[0]})" for m, name in METHODS.items())
    table = "\n".join(rows) + (
        f"\n\nLength units per orbit of period {period:.6g} ({orbits} orbits a run). "
        f"daPerOrbit at c = 0, subtracted above: {base}. "
        f"Largest deviation from the theory: {100 * worst:.2f} %.\n")
    (out / "drift.md").write_text(table)

    cs = [float(c) for c in CS[1:]]
    fine = [cs[0] * (cs[-1] / cs[0]) ** (i / 100) for i in range(101)]
    plt.figure(figsize=(6.4, 4.2))
    plt.loglog(fine, [2 * G * M / (D * c) * period for c in fine], "k-", label="2 G m P / (d c)")
    for (method, name), marker in zip(METHODS.items(), ("o", "x")):
        plt.loglog(cs, [measured[(method, c)] for c in CS[1:]], marker, label=name)
    plt.xlabel("c")
    plt.ylabel("daPerOrbit (length per orbit)")
    plt.title("Widening of a circular binary, m = 100, d = 12")
    plt.legend()
    plt.grid(True, which="both", alpha=0.3)
    plt.tight_layout()
    plt.savefig(out / "drift.png", dpi=100)
    print(table, end="")
    return 0 if worst < 0.05 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
