"""Figures of a run or a sweep, drawn with matplotlib: the orbits, the elements against time
with their fitted lines, the apsis directions with the run's line fit and its residuals, the
distances, the budget beside the theory, and a sweep's rates against c beside the theory.

Every function takes what gravlag.run() gives (the report dicts, the export arrays) and
returns a matplotlib Figure of SIZE pixels, made without pyplot, so drawing needs no display
and leaves no figure open. draw() picks every figure that its inputs allow. From the batch
runner's files: python3 -m gravlag.figures RUN.json [CSV...] --out DIR.

Units as in the run: G = 1, masses in the units of the mass boxes, lengths in the units of
the separations ("r m(2)", "r m(3)"), times in the units of dt, angles in degrees.
"""

from __future__ import annotations

import io
import os
import re
import tempfile
from typing import Any, Mapping, Optional, Sequence

import numpy as np
from matplotlib.figure import Figure

__all__ = ["SIZE", "Figures", "orbit", "elements", "apsis", "distances", "budget", "sweep", "draw"]

SIZE = (960, 640)  # every figure's width and height, pixels
_DPI = 100
UNITS = "G = 1; lengths in the units of the separations, times in the units of dt"
_LENGTH, _TIME = "length", "t (time units of dt)"


def _figure(title: str) -> Figure:
    figure = Figure(figsize=(SIZE[0] / _DPI, SIZE[1] / _DPI), dpi=_DPI, layout="constrained")
    figure.suptitle(f"{title}\n{UNITS}", fontsize="medium")
    return figure


def _with_error(value: Optional[float], error: Optional[float]) -> str:
    if value is None:
        return "none"
    return f"{value:.4g}" if error is None else f"{value:.4g} ± {error:.2g}"


def _columns(rows: np.ndarray, prefix: str) -> list[int]:
    """The body numbers (from 1) whose `prefix` column the rows hold."""
    return [n for n in (1, 2, 3) if f"{prefix}{n}" in rows.dtype.names]


def orbit(trajectory: np.ndarray) -> Figure:
    """The bodies' paths from the trajectory rows (x1, y1, ...), and body 2 about body 1
    where there is a body 2."""
    figure = _figure("Orbits")
    bodies = _columns(trajectory, "x")
    panels = figure.subplots(1, 2) if 2 in bodies else [figure.subplots()]
    whole = panels[0]
    for n in bodies:
        whole.plot(trajectory[f"x{n}"], trajectory[f"y{n}"], lw=0.8, label=f"body {n}")
        whole.plot(trajectory[f"x{n}"][-1:], trajectory[f"y{n}"][-1:], "o", ms=4, color="k")
    whole.set_title("all bodies (dot: the last position)", fontsize="small")
    whole.legend(fontsize="small")
    if 2 in bodies:
        relative = panels[1]
        relative.plot(trajectory["x2"] - trajectory["x1"], trajectory["y2"] - trajectory["y1"],
                      lw=0.8, color="C1")
        relative.plot([0], [0], "+", color="k", ms=10, label="body 1")
        relative.set_title("body 2 about body 1", fontsize="small")
        relative.legend(fontsize="small")
    for axes in panels:
        axes.set_aspect("equal", adjustable="datalim")
        axes.set_xlabel(f"x ({_LENGTH})")
        axes.set_ylabel(f"y ({_LENGTH})")
        axes.grid(alpha=0.3)
    return figure


_ELEMENTS = (("a", "daPerOrbit", "a (length)"), ("e", "dePerOrbit", "e"),
             ("varpi", "dvarpiPerOrbit", "varpi (degrees)"))


def _orbits_elapsed(t: np.ndarray, a: np.ndarray, start: Mapping[str, Any]) -> Optional[np.ndarray]:
    """Orbits of body 2 about body 1 from the first sample to each, each stretch of time
    counted in the Kepler period of the osculating a there (P grows as a^1.5 at a fixed
    mass): a widening pair's orbits lengthen as it runs."""
    if start.get("period") is None or start.get("a") is None or len(t) < 2:
        return None
    period = start["period"] * (a / start["a"]) ** 1.5
    period = np.where(np.isfinite(period) & (period > 0), period, start["period"])
    steps = np.diff(t) * 2 / (period[1:] + period[:-1])
    return np.concatenate(([0.0], np.cumsum(steps)))


def elements(rows: np.ndarray, analysis: Optional[Mapping[str, Any]] = None) -> Figure:
    """a, e and varpi of body 2 about body 1 against time from the elements rows, each with
    its line: with the analysis, its rate per orbit times the orbits elapsed, through the
    samples' median; without, the least-squares line through the samples."""
    figure = _figure("Elements of body 2 about body 1")
    panels = figure.subplots(3, 1, sharex=True)
    t = rows["t"]
    orbits = _orbits_elapsed(t, rows["a"], analysis["elements"]["start"]) if analysis else None
    rates: Mapping[str, Any] = analysis["elements"]["rates"] if analysis else {}
    for axes, (name, rate_key, label) in zip(panels, _ELEMENTS):
        y = np.array(rows[name], dtype=np.float64)
        ok = np.isfinite(y)
        if name == "varpi":  # continued across 0/360, as the analysis fits it
            y[ok] = np.rad2deg(np.unwrap(np.deg2rad(y[ok])))
        axes.plot(t, y, lw=0.8, label="samples")
        rate = rates.get(rate_key)
        if orbits is not None and rate is not None and ok.any():
            x, slope = orbits[ok], rate
            text = f"the analysis' rate: {_with_error(rate, rates['stdError'].get(rate_key))} per orbit"
        elif ok.sum() >= 2 and np.ptp(t[ok]) > 0:
            x, slope = t[ok], np.polyfit(t[ok], y[ok], 1)[0]
            text = f"least-squares line: {slope:.4g} per time unit"
        else:
            x = None
        if x is not None:
            # Through the bulk of the samples: the osculating elements swing within each orbit.
            intercept = np.median(y[ok] - slope * x)
            axes.plot(t[ok], intercept + slope * x, "--", color="k", lw=1.2, label=text)
            axes.legend(fontsize="small", loc="best")
        axes.set_ylabel(label)
        axes.grid(alpha=0.3)
        axes.ticklabel_format(axis="y", useOffset=True, style="sci", scilimits=(-3, 4))
    panels[-1].set_xlabel(_TIME)
    return figure


def apsis(events: np.ndarray, precession: Optional[Mapping[str, Any]] = None) -> Figure:
    """The apsis directions against the orbit (event) number with the run's line fit, the
    one "Time Evolution Display" draws (a + b (n - 1)), and the residuals about it."""
    figure = _figure("Apsis directions and the run's line fit")
    top, bottom = figure.subplots(2, 1, sharex=True, height_ratios=(2, 1))
    n = events["apsisCount"]
    angle = events["apsisAngle"]
    a, b = events["fitA"][-1], events["fitB"][-1]
    line = a + b * (n - 1)
    error = precession.get("stdError") if precession else None
    top.plot(n, angle, ".", ms=4, label="apsis direction at each event")
    top.plot(n, line, "-", color="k", lw=1,
             label=f"line fit: a = {a:.7g} degrees, b = {_with_error(b, error)} degrees per orbit")
    top.set_ylabel("direction (degrees)")
    top.legend(fontsize="small")
    bottom.plot(n, angle - line, ".", ms=4, color="C3")
    bottom.axhline(0, color="k", lw=0.8)
    bottom.set_ylabel("residual (degrees)")
    bottom.set_xlabel("orbit (apsis event number)")
    for axes in (top, bottom):
        axes.grid(alpha=0.3)
    return figure


def distances(rows: np.ndarray) -> Figure:
    """The distances of bodies 2 and 3 from the midpoint of bodies 1 and 2 against time."""
    figure = _figure("Distances from the midpoint of bodies 1 and 2")
    axes = figure.subplots()
    for name, body in (("r1", 2), ("r2", 3)):
        if np.isfinite(rows[name]).any():
            axes.plot(rows["t"], rows[name], lw=0.8, label=f"body {body}")
    axes.set_xlabel(_TIME)
    axes.set_ylabel(f"distance ({_LENGTH})")
    axes.legend(fontsize="small")
    axes.grid(alpha=0.3)
    return figure


_BUDGET_ROWS = (("integrator", "integrator\n(2 bodies, c 0)"),
                ("perturber", "outer body\n(3 less 2 bodies, c 0)"),
                ("delay", "delay\n(this run less c 0)"),
                ("delayTwoBodies", "delay, 2 bodies\n(at c less c 0)"),
                ("total", "total\n(this run)"))


def _budget_theory(budget_: Mapping[str, Any]) -> dict[str, Optional[float]]:
    theory = budget_["theory"]
    if budget_["quantity"] == "precession":
        delay = theory.get("delayDvarpiPerOrbit")
        return {"perturber": theory.get("perturberPrecessionPerOrbit"), "delay": delay,
                "delayTwoBodies": delay}
    delay = theory.get("delayDaPerOrbit")
    return {"delay": delay, "delayTwoBodies": delay}


def budget(budget_: Mapping[str, Any]) -> Figure:
    """The budget's parts as bars with their standard errors, the theory's value beside
    each part it predicts."""
    precession = budget_["quantity"] == "precession"
    unit = "degrees per orbit" if precession else "length per orbit"
    figure = _figure("Budget of the precession" if precession else "Budget of the widening da")
    axes = figure.subplots()
    theory = _budget_theory(budget_)
    y = np.arange(len(_BUDGET_ROWS))[::-1]  # the first row on top
    height = 0.38

    def bar(row: float, value: float, text: str, **style: Any) -> None:
        axes.barh(row, value, height, **style)
        axes.annotate(text, (value, row), fontsize="x-small", va="center",
                      ha="left" if value >= 0 else "right", color=style.get("edgecolor", "k"),
                      xytext=(6 if value >= 0 else -6, 0), textcoords="offset points")

    for row, (key, _) in zip(y, _BUDGET_ROWS):
        value, error = budget_[key]["value"], budget_[key]["stdError"]
        if value is not None:
            bar(row + height / 2, value, _with_error(value, error), xerr=error or 0, capsize=4,
                color="C0", label="measured ± standard error")
        predicted = theory.get(key)
        if predicted is not None:
            bar(row - height / 2, predicted, f"theory {predicted:.4g}", color="none",
                edgecolor="C2", hatch="//", label="first-order theory")
    handles, labels = axes.get_legend_handles_labels()
    unique = dict(zip(labels, handles))  # one entry per kind of bar
    axes.legend(unique.values(), unique.keys(), fontsize="small", loc="upper center",
                bbox_to_anchor=(0.5, -0.09), ncol=2)  # below the axes, clear of every bar
    axes.axvline(0, color="k", lw=0.8)
    axes.set_yticks(y, [label for _, label in _BUDGET_ROWS], fontsize="small")
    axes.set_xlabel(unit)
    axes.margins(x=0.3)
    axes.grid(axis="x", alpha=0.3)
    gr = budget_["theory"].get("grPrecessionPerOrbit") if precession else None
    if gr is not None:
        axes.set_title(f"general relativity, for comparison only (not part of this model): "
                       f"{gr:.4g} degrees per orbit", fontsize="small")
    return figure


_SWEEP_RATES = (("daPerOrbit", "delayDaPerOrbit", "da per orbit (length)"),
                ("dePerOrbit", "delayDePerOrbit", "de per orbit"))


def sweep(points: Sequence[Mapping[str, Any]]) -> Figure:
    """da and de per orbit against c from a sweep over c (each point's report dict with
    "point" and "analysis", or a Result), on log axes, beside the first-order theory of the
    inner pair's own delayed pull; de only where every point starts eccentric (e >= 0.001).
    A negative rate is drawn by its size as an open marker; a point at c 0 has no place on a
    log axis and is left out."""
    reports = [_report_of(p) for p in points]
    c = np.array([_c_of(r) for r in reports], dtype=np.float64)
    keep = c > 0
    if keep.sum() < 2:
        raise ValueError("a sweep's figure needs at least two points at c > 0")
    figure = _figure("Rates against the speed c of the pull")
    # e of a circular start is rounding noise, and so are its rate and theory: da alone.
    eccentric = all((r["analysis"]["elements"]["start"]["e"] or 0) >= 1e-3 for r in reports)
    panels = figure.subplots(1, 2) if eccentric else [figure.subplots()]
    order = np.argsort(c[keep])
    for axes, (rate_key, theory_key, label) in zip(panels, _SWEEP_RATES):
        rates = [r["analysis"]["elements"]["rates"] for r in reports]
        value = np.array([_number(r[rate_key]) for r in rates])[keep][order]
        error = np.array([_number(r["stdError"][rate_key]) for r in rates])[keep][order]
        theory = np.array([_number((r["analysis"]["theory"] or {}).get(theory_key))
                           for r in reports])[keep][order]
        cs = c[keep][order]
        for chosen, face, text in ((value > 0, "C0", "measured ± standard error"),
                                   (value < 0, "none", "measured, negative: its size")):
            if chosen.any():
                axes.errorbar(cs[chosen], np.abs(value[chosen]), yerr=np.nan_to_num(error[chosen]),
                              fmt="o", capsize=3, color="C0", mfc=face, label=text)
        drawn = np.isfinite(theory) & (theory != 0)
        if drawn.any():
            axes.plot(cs[drawn], np.abs(theory[drawn]), "-", color="C2",
                      label="first-order theory, the pair at rest")
        axes.set_xscale("log")
        axes.set_yscale("log")
        axes.set_xlabel("c (length per time unit)")
        axes.set_ylabel(label)
        axes.grid(alpha=0.3, which="both")
        axes.legend(fontsize="small")
    return figure


def _number(value: Any) -> float:
    return np.nan if value is None else float(value)


def _report_of(point: Any) -> Mapping[str, Any]:
    """A sweep point's report dict: as given, or a Result's JSON read back."""
    if isinstance(point, Mapping):
        report = point
    else:
        import json
        report = json.loads(point.to_json())
    if not report.get("analysis"):
        raise ValueError("a sweep's figure needs each point's analysis (report=True, --report)")
    return report


_NUMBER = re.compile(r"[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?")


def _c_of(report: Mapping[str, Any]) -> float:
    """The c a sweep point ran at: its "inputs" where the report has them, else the text of
    its "c" in "point", which must be wholly a number. Every run reports its c in "inputs";
    a point that does not set c is no point of a sweep over c."""
    text = (report.get("point") or {}).get("c")
    if not isinstance(text, str):
        raise ValueError("a sweep's figure needs a sweep over c: a point without c")
    inputs = report.get("inputs")
    if isinstance(inputs, Mapping) and "c" in inputs:
        c = inputs["c"]
        c = c.get("value") if isinstance(c, Mapping) else c
        if isinstance(c, (int, float)):
            return float(c)
    if not _NUMBER.fullmatch(text.strip()):
        raise ValueError(f"a sweep point's c is not a number: {text!r}")
    return float(text)


class Figures(dict):
    """Named figures (name -> matplotlib Figure), shown one below the other in a notebook."""

    def _repr_html_(self) -> str:
        import base64
        parts = []
        for name, figure in self.items():
            data = base64.b64encode(png_bytes(figure)).decode("ascii")
            parts.append(f'<img alt="{name}" src="data:image/png;base64,{data}">')
        return "<div>" + "".join(parts) + "</div>"

    def save(self, folder: str | os.PathLike) -> list[str]:
        """Writes each figure to FOLDER/NAME.png, each whole or not at all; the paths."""
        return [write_png(os.path.join(folder, f"{name}.png"), png_bytes(figure))
                for name, figure in self.items()]


def png_bytes(figure: Figure) -> bytes:
    """The figure as a PNG of SIZE pixels."""
    buffer = io.BytesIO()
    figure.savefig(buffer, format="png", dpi=_DPI)
    return buffer.getvalue()


def write_png(path: str, data: bytes) -> str:
    """Writes a file whole or not at all: a hidden temporary in the same folder, flushed to
    disk, then renamed over `path`."""
    folder, name = os.path.split(path)
    fd, temporary = tempfile.mkstemp(prefix=f".{name}.", dir=folder or ".")
    try:
        with os.fdopen(fd, "wb") as file:
            file.write(data)
            file.flush()
            os.fsync(file.fileno())
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
    return path


def draw(report: Mapping[str, Any], *, trajectory: Optional[np.ndarray] = None,
         elements_rows: Optional[np.ndarray] = None, apsis_events: Optional[np.ndarray] = None,
         distance_rows: Optional[np.ndarray] = None) -> Figures:
    """Every figure that a run's report (the --json object as a dict) and its rows allow, in
    the order orbit, elements, apsis, distances, budget."""
    figures = Figures()
    analysis = report.get("analysis")
    if trajectory is not None and len(trajectory) > 0:
        figures["orbit"] = orbit(trajectory)
    if elements_rows is not None and len(elements_rows) > 0:
        figures["elements"] = elements(elements_rows, analysis)
    if apsis_events is not None and len(apsis_events) > 0:
        figures["apsis"] = apsis(apsis_events, analysis["precession"] if analysis else None)
    if distance_rows is not None and len(distance_rows) > 0:
        figures["distances"] = distances(distance_rows)
    if report.get("budget") is not None:
        figures["budget"] = budget(report["budget"])
    return figures
