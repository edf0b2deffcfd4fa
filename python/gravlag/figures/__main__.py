"""python3 -m gravlag.figures RUN.json [CSV...] --out DIR: the figures of a batch run from its
files. See `--help`."""

from __future__ import annotations

import argparse
import os
import sys
from typing import Optional, Sequence

from . import SIZE, Figures, draw, sweep
from .files import BadInput, read_csv, read_reports

_DESCRIPTION = f"""\
Draws the figures of a gravlag-batch run from its files, each a PNG of {SIZE[0]} x {SIZE[1]}
pixels in DIR, written whole or not at all:
  orbit.png      the paths of the bodies, and body 2 about body 1 (--trajectory-csv)
  elements.png   a, e, varpi against time with the analysis' rates (--elements-csv)
  apsis.png      the apsis directions, the run's line fit and its residuals (--apsis-csv)
  distances.png  the distances from the inner pair's midpoint (--distance-csv)
  budget.png     the budget beside the theory (--budget)
  sweep.png      da and de per orbit against c beside the theory: RUN.json holds the
                 --json lines of a sweep over c with --report (one per point)
RUN.json is what gravlag-batch --json printed (with --report, --budget for the analysis and
the budget); each CSV is told by its header line. Exit status 0, or 2 with a message."""


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="python3 -m gravlag.figures", description=_DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("run", metavar="RUN.json", help="gravlag-batch's --json output")
    parser.add_argument("csv", metavar="CSV", nargs="*", help="the run's CSV exports")
    parser.add_argument("--out", metavar="DIR", required=True,
                        help="the folder for the figures (made if it is not there)")
    return parser


def _figures(run_path: str, csv_paths: Sequence[str]) -> Figures:
    reports = read_reports(run_path)
    if len(reports) > 1:
        if csv_paths:
            raise BadInput(f"{run_path} holds {len(reports)} runs, a sweep's: its figure takes no CSV file")
        try:
            return Figures(sweep=sweep(reports))
        except ValueError as error:
            raise BadInput(f"{run_path}: {error}") from None
    rows = {}
    for path in csv_paths:
        kind, table = read_csv(path)
        if kind in rows:
            raise BadInput(f"{path}: a second {kind} CSV (the first: {rows[kind][0]})")
        rows[kind] = (path, table)
    keywords = {"trajectory": "trajectory", "elements": "elements_rows", "apsis": "apsis_events",
                "distances": "distance_rows"}
    try:
        figures = draw(reports[0], **{keywords[kind]: table for kind, (_, table) in rows.items()})
    except (KeyError, TypeError) as error:
        raise BadInput(f"{run_path}: not a report of this gravlag ({error!r} is amiss)") from None
    if not figures:
        raise BadInput("nothing to draw: give the run's CSV exports, or a --budget run's JSON")
    return figures


def main(argv: Optional[Sequence[str]] = None) -> int:
    arguments = _parser().parse_args(argv)
    prog = "gravlag.figures"
    try:
        figures = _figures(arguments.run, arguments.csv)
        os.makedirs(arguments.out, exist_ok=True)
        for path in figures.save(arguments.out):
            print(path)
    except BadInput as error:
        print(f"{prog}: {error}", file=sys.stderr)
        return 2
    except OSError as error:
        print(f"{prog}: {error.filename or arguments.out}: {error.strerror}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
