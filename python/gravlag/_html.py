"""A run as HTML for a notebook: how it ended, t, the orbits, the rates, the budget with its
errors and theory, its warnings, and the two displays as drawn."""

from __future__ import annotations

import base64
import html
import struct
import zlib
from typing import Any, Optional

import numpy as np

_BUDGET_ROWS = (("integrator", "integrator (2 bodies, c 0)"),
                ("perturber", "outer body (3 less 2 bodies, c 0)"),
                ("delay", "delay (this run less its texts at c 0)"),
                ("delayTwoBodies", "delay, 2 bodies (at c less at c 0)"),
                ("total", "total (this run)"))


def png(image: np.ndarray) -> bytes:
    """An height x width x 3 uint8 image as PNG bytes (8-bit RGB, no filter)."""
    height, width, _ = image.shape
    raw = np.zeros((height, width * 3 + 1), dtype=np.uint8)  # a filter byte 0 before each row
    raw[:, 1:] = image.reshape(height, width * 3)

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw.tobytes(), 6)) + chunk(b"IEND", b""))


def _number(value: Any, error: Any = None) -> str:
    if value is None:
        return "none"
    text = str(value) if isinstance(value, int) else f"{value:.7g}"
    return text if error is None else f"{text} ± {error:.2g}"


def warnings(report: dict[str, Any]) -> list[str]:
    """The warnings of a run's report: its own "warnings" where it lists them, else the one
    the batch runner's text gives for passes that looked beyond the delay history."""
    if isinstance(report.get("warnings"), list):
        return [str(w) for w in report["warnings"]]
    found = []
    beyond = ((report.get("analysis") or {}).get("delay") or {}).get("passesBeyondHistory")
    if beyond:
        found.append(f"{beyond} passes used a delay of 20 steps or more: the history holds 20, "
                     "so the source's position was extrapolated there")
    if report.get("outputErrors"):
        found += [f"output: {e}" for e in report["outputErrors"]]
    return found


def result_html(report: dict[str, Any], images: list[tuple[str, Optional[np.ndarray]]]) -> str:
    rows = []

    def row(name: str, value: str, theory: str = "") -> None:
        rows.append(f"<tr><th style='text-align:left'>{html.escape(name)}</th>"
                    f"<td style='text-align:left'>{html.escape(value)}</td>"
                    f"<td style='text-align:left'>{html.escape(theory)}</td></tr>")

    ended = report["ended"]
    if report.get("message"):
        ended += f": {report['message']}"
    if report.get("signal"):
        ended += f" ({report['signal']})"
    row("ended", ended)
    row("passes", _number(report["passes"]))
    analysis = report.get("analysis")
    if analysis:
        row("t (time units of dt)", _number(analysis["orbits"]["t"]))
        row("orbits", _number(analysis["orbits"]["count"]))
        rates = analysis["elements"]["rates"]
        theory = analysis.get("theory") or {}
        for key, name, predicted in (("daPerOrbit", "da per orbit", "delayDaPerOrbit"),
                                     ("dePerOrbit", "de per orbit", "delayDePerOrbit"),
                                     ("dvarpiPerOrbit", "dvarpi per orbit (degrees)", None)):
            value = theory.get(predicted) if predicted else None
            row(name, _number(rates[key], rates["stdError"][key]),
                f"delay theory {_number(value)}" if value is not None else "")
        p = analysis["precession"]
        row("precession b (degrees per orbit)", _number(p["perOrbit"], p["stdError"]),
            f"outer body as a ring {_number(theory['perturberPrecessionPerOrbit'])}"
            if theory.get("perturberPrecessionPerOrbit") is not None else "")
    budget = report.get("budget")
    if budget:
        precession = budget["quantity"] == "precession"
        unit = "degrees per orbit" if precession else "length per orbit"
        rows.append(f"<tr><th colspan=3 style='text-align:left'>budget of the "
                    f"{'precession' if precession else 'widening da'} ({unit})</th></tr>")
        th = budget["theory"]
        delay = th.get("delayDvarpiPerOrbit") if precession else th.get("delayDaPerOrbit")
        predicted = {"perturber": th.get("perturberPrecessionPerOrbit"), "delay": delay,
                     "delayTwoBodies": delay}
        for key, name in _BUDGET_ROWS:
            value = predicted.get(key)
            row(name, _number(budget[key]["value"], budget[key]["stdError"]),
                f"theory {_number(value)}" if value is not None else "")
    for warning in warnings(report):
        row("warning", warning)
    pictures = "".join(
        f"<figure style='display:inline-block;margin:4px'><img alt='{html.escape(name)}' "
        f"src='data:image/png;base64,{base64.b64encode(png(image)).decode('ascii')}'>"
        f"<figcaption>{html.escape(name)}</figcaption></figure>"
        for name, image in images if image is not None)
    scenario = report.get("boxes", {}).get("Tmethode", "")
    title = html.escape(f"gravlag run, {scenario}" if scenario else "gravlag run")
    return (f"<div><b>{title}</b><table>{''.join(rows)}</table>{pictures}"
            f"<p><small>G = 1; lengths in the units of the separations, times in the units of dt; "
            f"plot() draws the figures.</small></p></div>")


def system_html(system: Any) -> str:
    """A gravlag.System as a table: time, model, totals, then one row per body with its
    orbit about the first body."""
    info = system.analysis()
    cells = lambda values, tag="td": "".join(  # noqa: E731
        f"<{tag} style='text-align:right'>{html.escape(v)}</{tag}>" for v in values)
    model = f"{system.integrator}, {system.force_law}"
    if system.integrator == "euler":
        model += f", dt {_number(system.dt)}, prediction {system.prediction}"
    else:
        model += f", tolerance {_number(system.tolerance)}"
    head = [("t", _number(info["t"])), ("steps", _number(system.steps)), ("c", _number(system.c)),
            ("model", model), ("energy", _number(info["energy"])),
            ("angular momentum", _number(info["angular_momentum"])),
            ("momentum", _number(info["momentum"]))]
    if system.duration is not None:
        head.insert(1, ("duration (the scenario's run)", _number(system.duration)))
    rows = "".join(f"<tr><th style='text-align:left'>{html.escape(k)}</th>"
                   f"<td style='text-align:left'>{html.escape(v)}</td></tr>" for k, v in head)
    p = system.particles
    el = info["elements"]
    bodies = [cells(("body", "m", "x", "y", "vx", "vy", "a", "e", "varpi (degrees)"), "th")]
    for i in range(len(p.m)):
        orbit = (("", "", "") if i == 0 else
                 tuple("none" if np.isnan(el[k][i - 1]) else _number(float(el[k][i - 1]))
                       for k in ("a", "e", "varpi")))
        bodies.append(cells((str(i),) + tuple(_number(float(v[i])) for v in p) + orbit))
    title = html.escape(f"gravlag System, {system.scenario}" if system.scenario else "gravlag System")
    return (f"<div><b>{title}</b><table>{rows}</table><table>"
            + "".join(f"<tr>{r}</tr>" for r in bodies)
            + "</table><p><small>G = 1; orbits about body 0.</small></p></div>")
