#!/usr/bin/python3
"""The "Mercury" run's precession and element rates, read from gravlag-batch --report,
against the first-order theory the report gives beside them.

"Mercury" at its defaults (masses 100, 0.001 and 0.1, "r  m(2)" 8, "r  m(3)" 30, dt 0.001),
run with --duration so that every run covers the time asked for:
(a) the outer body's part of the precession, b(3 bodies) - b(2 bodies) at c = 0, against
    perturberPrecessionPerOrbit, over 1 to 300 periods of the outer body (OUTER time units);
(b) the delay's change of the precession, b(c) - b(c = 0) of the same bodies and method,
    against 0 (general relativity's value beside it for scale only), over TIME, and the
    part that falls as 1/c as dt shrinks;
(c) the delay's daPerOrbit and dePerOrbit, the rate at c less at c = 0, against
    delayDaPerOrbit and delayDePerOrbit, over TIME; and the excess of daPerOrbit at two c
    as the run grows;
(d) the integrator's part, b(2 bodies, c = 0), against dt^2.
Both retardation methods, 2 and 3 bodies. The errors are the report's standard errors, a
difference's in quadrature.

Usage: mercury.py BATCH_EXECUTABLE OUTPUT_FOLDER
Writes OUTPUT_FOLDER/mercury.md (the tables) and OUTPUT_FOLDER/mercury.png (the plots).
Exits non-zero when a comparison is outside the tolerance stated in docs/validation.md.
"""
import json
import math
import subprocess
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

OUTER = 103.0  # the outer body's period at the defaults, time units
PERIODS = [1, 3, 10, 30, 100, 300]  # for (a)
TIME = 1030  # (b) and (c): 10 outer periods
CS = ["0", "1000", "2000", "5000", "10000", "20000", "50000"]
METHODS = {"0": "velocity extrapolation", "1": "history lookup"}
GROWTH_CS = ["1000", "10000"]
GROWTH_TIMES = [103, 309, 1030, 3090]
DTS = ["0.002", "0.001", "0.0005", "0.00025"]
# The excess of daPerOrbit over the theory after a time T, in units of T / c: the pair's own
# delayed pull accelerates it (it does not conserve momentum on an eccentric orbit), and a
# moving pair's delayed pull widens it more. 0.18 predicted; 0.177 to 0.179 measured.
EXCESS = 0.178


def run(batch, *args):
    command = [batch, "--scenario", "Mercury", "--report", "--json", *args]
    lines = subprocess.run(command, check=True, capture_output=True, text=True,
                           env={"LC_ALL": "C"}).stdout
    points = [json.loads(line) for line in lines.splitlines()]
    for p in points:
        assert p["ended"] == "completed", p
    return points


def by_point(points, *keys):
    return {tuple(p["point"][k] for k in keys): p["analysis"] for p in points}


def precession(a):
    return a["precession"]["perOrbit"], a["precession"]["stdError"]


def rate(a, name):
    rates = a["elements"]["rates"]
    return rates[name], rates["stdError"][name]


def difference(x, y):
    return x[0] - y[0], math.hypot(x[1], y[1])


def g(value, digits=4):
    return f"{value:.{digits}g}"


def perturber(batch):
    rows, found = [], []
    for periods in PERIODS:
        a = by_point(run(batch, "--c", "0", "--duration", str(periods * OUTER), "--sweep", "bodies=2;3"), "bodies")
        value, error = difference(precession(a[("3",)]), precession(a[("2",)]))
        theory = a[("3",)]["theory"]["perturberPrecessionPerOrbit"]
        found.append((periods, a[("3",)]["orbits"]["count"], value, error, theory))
        rows.append(f"| {periods} | {a[('3',)]['orbits']['count']} | {g(value, 6)} ± {g(error, 2)} "
                    f"| {g(theory, 6)} | {100 * (value / theory - 1):+.3f} % |")
    table = ["| outer periods | orbits | b(3) - b(2), degrees per orbit | perturberPrecessionPerOrbit | off by |",
             "|---|---|---|---|---|", *rows]
    return "\n".join(table), found


def delays(batch):
    points = run(batch, "--duration", str(TIME), "--sweep", "bodies=2;3",
                 "--sweep", "prediction=" + ";".join(METHODS), "--sweep", "c=" + ";".join(CS))
    a = by_point(points, "bodies", "prediction", "c")
    precession_rows, rate_rows, found = [], [], {}
    for c in CS[1:]:
        cells, rate_cells = [], []
        for bodies in ("2", "3"):
            for method in METHODS:
                at, at0 = a[(bodies, method, c)], a[(bodies, method, "0")]
                db = difference(precession(at), precession(at0))
                da = difference(rate(at, "daPerOrbit"), rate(at0, "daPerOrbit"))
                de = difference(rate(at, "dePerOrbit"), rate(at0, "dePerOrbit"))
                theory = at["theory"]
                found[(bodies, method, c)] = (db, da, de, theory)
                cells.append(f"{g(db[0], 3)} ± {g(db[1], 2)}")
                rate_cells.append(f"{da[0] / theory['delayDaPerOrbit']:.4f}, {de[0] / theory['delayDePerOrbit']:.3f}"
                                  f" ± {de[1] / theory['delayDePerOrbit']:.2g}")
        gr = a[("2", "0", c)]["theory"]["grPrecessionPerOrbit"]
        delay = a[("3", "1", c)]["delay"]
        beyond = f"{delay['passesBeyondHistory'] / points[0]['passes']:.0%}"
        precession_rows.append(f"| {c} | " + " | ".join(cells) + f" | {g(gr, 3)} |")
        theory = a[("2", "0", c)]["theory"]
        rate_rows.append(f"| {c} | {g(theory['delayDaPerOrbit'], 5)} | {g(theory['delayDePerOrbit'], 5)} | "
                         + " | ".join(rate_cells) + f" | {delay['maxSteps']}, {beyond} |")
    names = [f"{b} bodies, {m}" for b in ("2", "3") for m in METHODS.values()]
    precession_table = ["| c | " + " | ".join(f"{n}: b(c) - b(0)" for n in names)
                        + " | general relativity (not this model) |",
                        "|---|" + "---|" * (len(names) + 1), *precession_rows]
    rate_table = ["| c | delayDaPerOrbit | delayDePerOrbit | " + " | ".join(f"{n}: da, de ratio" for n in names)
                  + " | 3 bodies, history lookup: largest delay (steps), passes 20 steps back or more |",
                  "|---|---|---|" + "---|" * (len(names) + 1), *rate_rows]
    return "\n".join(precession_table), "\n".join(rate_table), found


def delay_dt(batch):
    """b(c) - b(0) of 2 bodies times c at the two largest c, for each dt."""
    rows = []
    for dt in DTS[:3]:
        a = by_point(run(batch, "--bodies", "2", "--dt", dt, "--duration", str(TIME),
                         "--sweep", "c=0;" + ";".join(CS[-2:])), "c")
        cells = [g(difference(precession(a[(c,)]), precession(a[("0",)]))[0] * float(c), 4) for c in CS[-2:]]
        rows.append(f"| {dt} | " + " | ".join(cells) + " |")
    table = ["| dt | " + " | ".join(f"c {c}: (b(c) - b(0)) c" for c in CS[-2:]) + " |",
             "|---|" + "---|" * 2, *rows]
    return "\n".join(table)


def growth(batch):
    rows, found = [], {}
    for time in GROWTH_TIMES:
        a = by_point(run(batch, "--bodies", "2", "--duration", str(time), "--sweep", "c=0;" + ";".join(GROWTH_CS)), "c")
        cells = []
        for c in GROWTH_CS:
            da = difference(rate(a[(c,)], "daPerOrbit"), rate(a[("0",)], "daPerOrbit"))
            excess = da[0] / a[(c,)]["theory"]["delayDaPerOrbit"] - 1
            found[(c, time)] = excess
            cells.append(f"{100 * excess:+.3f} % ({excess * float(c) / time:.3f})")
        rows.append(f"| {time} | {a[('0',)]['orbits']['count']} | " + " | ".join(cells) + " |")
    table = ["| time T | orbits | " + " | ".join(f"c {c}: excess of daPerOrbit (excess c / T)" for c in GROWTH_CS) + " |",
             "|---|---|" + "---|" * len(GROWTH_CS), *rows]
    return "\n".join(table), found


def integrator(batch):
    a = by_point(run(batch, "--bodies", "2", "--c", "0", "--duration", str(TIME), "--sweep", "dt=" + ";".join(DTS)), "dt")
    rows, found = [], []
    for dt in DTS:
        b, error = precession(a[(dt,)])
        found.append((float(dt), b))
        rows.append(f"| {dt} | {a[(dt,)]['orbits']['count']} | {g(b, 6)} ± {g(error, 2)} | {g(b / float(dt) ** 2, 6)} |")
    table = ["| dt | orbits | b(2 bodies, c 0), degrees per orbit | b / dt² |", "|---|---|---|---|", *rows]
    return "\n".join(table), found


def plot(out, perturbed, delayed, grown, integrated):
    fig, ax = plt.subplots(2, 2, figsize=(10, 7.5))
    p = ax[0][0]
    p.errorbar([f[0] for f in perturbed], [f[2] / f[4] for f in perturbed],
               yerr=[f[3] / f[4] for f in perturbed], fmt="o", capsize=3)
    p.axhline(1, color="k", lw=0.8)
    p.set_xscale("log")
    p.set_xlabel("run length, outer periods")
    p.set_ylabel("(b(3) - b(2)) / ring theory")
    p.set_title("(a) the outer body's precession, c 0")

    p = ax[0][1]
    cs = [float(c) for c in CS[1:]]
    for (bodies, method), marker in zip([(b, m) for b in ("2", "3") for m in METHODS], ("o", "x", "s", "+")):
        p.loglog(cs, [abs(delayed[(bodies, method, c)][0][0]) for c in CS[1:]], marker,
                 label=f"{bodies} bodies, {METHODS[method]}", fillstyle="none")
    p.loglog(cs, [delayed[("2", "0", c)][3]["grPrecessionPerOrbit"] for c in CS[1:]], "k--",
             label="general relativity (not this model)")
    p.set_xlabel("c")
    p.set_ylabel("|b(c) - b(0)|, degrees per orbit")
    p.set_title(f"(b) the delay's change of the precession, T {TIME}")
    p.legend(fontsize=7)

    p = ax[1][0]
    for c, marker in zip(GROWTH_CS, ("o", "x")):
        p.loglog(GROWTH_TIMES, [grown[(c, t)] for t in GROWTH_TIMES], marker, label=f"c {c}")
        p.loglog(GROWTH_TIMES, [EXCESS * t / float(c) for t in GROWTH_TIMES], "k:", lw=0.8)
    p.set_xlabel("run length T")
    p.set_ylabel("daPerOrbit / delayDaPerOrbit - 1")
    p.set_title(f"(c) the excess of da, 2 bodies (dotted: {EXCESS} T / c)")
    p.legend(fontsize=8)

    p = ax[1][1]
    dts = [f[0] for f in integrated]
    p.loglog(dts, [-f[1] for f in integrated], "o", label="-b(2 bodies, c 0)")
    scale = -integrated[1][1] / dts[1] ** 2
    p.loglog(dts, [scale * dt**2 for dt in dts], "k-", lw=0.8, label="∝ dt²")
    p.set_xlabel("dt")
    p.set_ylabel("degrees per orbit")
    p.set_title("(d) the integrator's precession")
    p.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "mercury.png", dpi=90)


def main(batch, out):
    out.mkdir(parents=True, exist_ok=True)
    perturber_table, perturbed = perturber(batch)
    precession_table, rate_table, delayed = delays(batch)
    dt_table = delay_dt(batch)
    growth_table, grown = growth(batch)
    integrator_table, integrated = integrator(batch)
    text = "\n\n".join([
        "(a) The outer body's part of the precession at c 0\n\n" + perturber_table,
        f"(b) The delay's change of the precession, degrees per orbit, run length {TIME}\n\n" + precession_table,
        "(b) The same, 2 bodies, velocity extrapolation, times c, as dt shrinks\n\n" + dt_table,
        f"(c) The delay's da and de per orbit against the theory (measured / theory), run length {TIME}\n\n"
        + rate_table,
        "(c) The excess of daPerOrbit over delayDaPerOrbit as the run grows, 2 bodies, velocity extrapolation\n\n"
        + growth_table,
        f"(d) The integrator's precession, run length {TIME}\n\n" + integrator_table]) + "\n"
    (out / "mercury.md").write_text(text)
    plot(out, perturbed, delayed, grown, integrated)
    print(text, end="")

    # The tolerances docs/validation.md states.
    failures = []
    periods, _, value, error, theory = perturbed[-1]
    if abs(value / theory - 1) > 0.001:
        failures.append(f"(a) perturber over {periods} outer periods off by {value / theory - 1:.3%}")
    for key, (db, da, de, theory) in delayed.items():
        if abs(db[0]) > 1e-3 * theory["grPrecessionPerOrbit"] or abs(db[0]) > 1e-6:
            failures.append(f"(b) {key}: the delay's precession {db[0]:.3g} is not small")
        excess = EXCESS * TIME / float(key[2])
        if key[0] == "2" and abs(da[0] / theory["delayDaPerOrbit"] - 1 - excess) > 0.01:
            failures.append(f"(c) {key}: da {da[0] / theory['delayDaPerOrbit']:.4f} of the theory")
    for (c, time), excess in grown.items():
        if abs(excess - EXCESS * time / float(c)) > 0.01:
            failures.append(f"(c) c {c}, T {time}: da's excess {excess:.4f}")
    for (dt1, b1), (dt2, b2) in zip(integrated, integrated[1:]):
        if abs((b1 / b2) / (dt1 / dt2) ** 2 - 1) > 0.001:
            failures.append(f"(d) b at dt {dt1} and {dt2} not in the ratio of dt^2")
    if not all(f[1] < 0 for f in integrated):
        failures.append("(d) the integrator's precession is not retrograde")
    for f in failures:
        print("FAIL:", f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], Path(sys.argv[2])))
