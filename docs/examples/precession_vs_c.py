"""The part of "Mercury"'s apsis precession that the delay makes, against the speed c of the
pull, for both retardation methods, from one sweep.

    PYTHONPATH=build/python python3 docs/examples/precession_vs_c.py [OUT.png]

Each point is a default "Mercury" run with its three companion runs (budget=True). Drawn is
"delayTwoBodies", the precession per orbit that the finite c adds to the inner pair alone,
with its standard error; the same with three bodies ("delay", printed) has a standard error
of about 1e-5 degrees from the outer body's pull, larger than itself at every c here.
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

import gravlag

speeds = [2000, 5000, 10000, 20000, 50000]
results = gravlag.sweep({"prediction": [0, 1], "c": speeds}, scenario="Mercury", budget=True)

figure, axes = plt.subplots(figsize=(7, 4.5))
for p, method in enumerate(("velocity estimate", "history")):
    points = results[p * len(speeds):(p + 1) * len(speeds)]
    values = [r.budget["delayTwoBodies"]["value"] for r in points]
    errors = [r.budget["delayTwoBodies"]["stdError"] for r in points]
    axes.errorbar(speeds, values, yerr=errors, marker="os"[p], capsize=3, label=f'"Prediction" {p} ({method})')
axes.set_xscale("log")
axes.set_yscale("log")
axes.set_xlabel("c")
axes.set_ylabel("precession from the delay (degrees per orbit)")
axes.set_title('"Mercury", inner pair: the precession the delay adds, against c')
axes.legend(fontsize="small")
figure.tight_layout()
out = sys.argv[1] if len(sys.argv) > 1 else "precession_vs_c.png"
figure.savefig(out, dpi=100)
for r in results:
    pair, three = r.budget["delayTwoBodies"], r.budget["delay"]
    print(f'"Prediction" {r.point["prediction"]}, c {r.point["c"]}: inner pair {pair["value"]:.4g}'
          f' +- {pair["stdError"]:.2g}, three bodies {three["value"]:.4g} +- {three["stdError"]:.2g}')
print(f"wrote {out}")
