"""The batch runner's files read back strictly: its --json lines and its CSV exports, as the
same dicts and structured arrays gravlag.run() gives. Anything else is refused with a
BadInput naming the file and the line: a figure drawn from a file that was cut short, or
from a cell that is not wholly a number, would show a run that never happened."""

from __future__ import annotations

import json
import re
from typing import Any

import numpy as np


class BadInput(Exception):
    """A file that is not what the batch runner writes; the message names it."""


# Each CSV export by its header line: the batch runner's column names.
_HEADERS = {
    "k,apsisCount,apsisAngle,fitA,fitB,predAngle": "apsis",
    "k,t,a,e,varpi,energy,angularMomentum": "elements",
    "k,t,r1,r2": "distances",
}
_TRAJECTORY = ["k", "t"] + [f"{q}{n}" for n in (1, 2, 3) for q in ("x", "y", "vx", "vy")]
for _bodies in (2, 3):
    _HEADERS[",".join(_TRAJECTORY[:2 + 4 * _bodies])] = "trajectory"
_WHOLE_COLUMNS = ("k", "apsisCount")
_WHOLE = re.compile(r"-?[0-9]+")
_NUMBER = re.compile(r"-?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?")


def _text(path: str) -> str:
    try:
        with open(path, "rb") as file:
            data = file.read()
    except OSError as error:
        raise BadInput(f"{path}: {error.strerror}") from None
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        raise BadInput(f"{path}: not UTF-8 text") from None


def _refuse_constant(name: str) -> Any:
    raise ValueError(f"{name} is not a number JSON allows")


def read_reports(path: str) -> list[dict[str, Any]]:
    """The run reports in a file of --json lines (one run, or a sweep's points): each line
    one JSON object of a run that was made."""
    text = _text(path)
    if text and not text.endswith("\n"):
        raise BadInput(f"{path}: the last line has no line feed: the file was cut short")
    reports = []
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        try:
            report = json.loads(line, parse_constant=_refuse_constant)
        except ValueError as error:
            raise BadInput(f"{path} line {number}: not a JSON object: {error}") from None
        if not isinstance(report, dict) or not isinstance(report.get("ended"), str):
            raise BadInput(f"{path} line {number}: not a run's JSON object (no \"ended\")")
        if "passes" not in report:
            reason = report.get("message") or report.get("error") or report["ended"]
            raise BadInput(f"{path} line {number}: no run was made: {reason}")
        reports.append(report)
    if not reports:
        raise BadInput(f"{path}: holds no run's JSON object")
    return reports


def read_csv(path: str) -> tuple[str, np.ndarray]:
    """A CSV export: its kind ("apsis", "elements", "distances", "trajectory") and its rows,
    k and apsisCount as int64, the rest float64, an empty cell as NaN."""
    text = _text(path)
    if not text.endswith("\n"):
        raise BadInput(f"{path}: the last line has no line feed: the file was cut short")
    lines = text.split("\n")[:-1]
    kind = _HEADERS.get(lines[0])
    if kind is None:
        raise BadInput(f"{path} line 1: not a header of the batch runner's CSV exports: {lines[0][:80]!r}")
    names = lines[0].split(",")
    dtype = np.dtype([(n, np.int64 if n in _WHOLE_COLUMNS else np.float64) for n in names])
    rows = np.empty(len(lines) - 1, dtype=dtype)
    columns = [rows[n] for n in names]
    for number, line in enumerate(lines[1:], 2):
        cells = line.split(",")
        if len(cells) != len(names):
            raise BadInput(f"{path} line {number}: {len(cells)} cells, the header has {len(names)}")
        for name, column, cell in zip(names, columns, cells):
            if name in _WHOLE_COLUMNS:
                if not _WHOLE.fullmatch(cell):
                    raise BadInput(f"{path} line {number}: {name} is not a whole number: {cell!r}")
                column[number - 2] = int(cell)
            elif cell == "":
                column[number - 2] = np.nan
            elif _NUMBER.fullmatch(cell):
                column[number - 2] = float(cell)
            else:
                raise BadInput(f"{path} line {number}: {name} is not a number: {cell!r}")
    return kind, rows
