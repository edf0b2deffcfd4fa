"""gravlag's batch runs from Python.

run() makes one run exactly as gravlag-batch does (the same panel logic and run routine on
in-memory windows, read from the same command line); sweep() makes the runs of a grid, on
threads or on a Dask cluster. Results hold NumPy arrays; to_json() is the batch runner's
--json line (a sweep point's --sweep line).
"""

import json
import math
import numbers
import os
import signal
import threading
from typing import NamedTuple

import numpy as np

from . import _gravlag

__all__ = ["Particles", "Result", "State", "System", "run", "sweep"]

_BOX_OPTIONS = frozenset(_gravlag.box_options())
_EXPORTS = ("apsis_events", "distances", "trajectory", "elements")


class State(NamedTuple):
    """The bodies' positions and velocities after the run (three of each; a body beyond the
    run's last keeps its set-up values)."""

    x: np.ndarray
    y: np.ndarray
    vx: np.ndarray
    vy: np.ndarray


class Result:
    """One run: what gravlag-batch --json reports, the export rows asked for as structured
    arrays (the CSV files' column names; an empty cell is NaN) and the two displays.

    A sweep may hold 10^5 of these: a Result keeps the report as its JSON text and reads
    state, boxes, analysis, budget, model and point from it when asked."""

    __slots__ = ("_json", "ended", "message", "passes", "last_pass", "signal", "_simulation",
                 "_plot") + _EXPORTS

    def __init__(self, raw):
        self._json = raw["json"]
        # The report's fields read by the module: no JSON parsed here.
        ended, message, passes, last_pass, signal, error = raw["head"]
        if passes is None:  # a sweep point that made no run
            raise RuntimeError(error if error is not None else "no run was made")
        self.ended = ended
        self.message = message
        self.passes = passes
        self.last_pass = last_pass
        self.signal = signal
        for name in _EXPORTS:
            setattr(self, name, raw.get(name))
        self._simulation = raw.get("simulation")
        self._plot = raw.get("plot")

    def __getstate__(self):
        self.simulation_image(), self.plot_image()  # pixels, not the module's papers
        return {name: getattr(self, name) for name in self.__slots__}

    def __setstate__(self, state):
        for name, value in state.items():
            setattr(self, name, value)

    @property
    def state(self):
        """The bodies after the run (State)."""
        report = json.loads(self._json)
        return State(*(np.array(report[k], dtype=np.float64) for k in ("x", "y", "vx", "vy")))

    @property
    def boxes(self):
        """Every box's text at the end, by box name."""
        return json.loads(self._json)["boxes"]

    @property
    def inputs(self):
        """The run's inputs by physical name: {"c": {"value": 5000.0, "unit": "length/time"}, ...}."""
        return json.loads(self._json).get("inputs")

    @property
    def analysis(self):
        """The report's "analysis" (report=True), else None."""
        return json.loads(self._json).get("analysis")

    @property
    def budget(self):
        """The report's "budget" (budget=True), else None."""
        return json.loads(self._json).get("budget")

    @property
    def model(self):
        """The report's "model": integrator, force law, tolerance."""
        return json.loads(self._json).get("model")

    @property
    def point(self):
        """A sweep point's texts by option, else None."""
        return json.loads(self._json).get("point")

    def to_json(self):
        """The batch runner's JSON line for this run, byte for byte (without its line feed)."""
        return self._json

    def simulation_image(self):
        """"Simulation Display" as drawn: height x width x 3 uint8 (what --sim-png holds);
        None for a sweep's point unless sweep() was given pictures=True."""
        if isinstance(self._simulation, _gravlag.Picture):  # made at the first look
            self._simulation = self._simulation.array()
        return self._simulation

    def plot_image(self):
        """"Time Evolution Display" as drawn: height x width x 3 uint8 (what --plot-png holds);
        None for a sweep's point unless sweep() was given pictures=True."""
        if isinstance(self._plot, _gravlag.Picture):
            self._plot = self._plot.array()
        return self._plot

    def __repr__(self):
        return f"<gravlag.Result {self.ended}, {self.passes} passes>"

    def _repr_html_(self):
        from ._html import result_html
        return result_html(json.loads(self._json), [("Simulation Display", self.simulation_image()),
                                                     ("Time Evolution Display", self.plot_image())])

    def plot(self):
        """The figures this run's rows and report allow (gravlag.figures.draw): the orbit
        with trajectory=True, the elements with elements=True, the apsis directions, the
        distances with distances=True, the budget with budget=True. Needs matplotlib."""
        from . import figures
        return figures.draw(json.loads(self._json), trajectory=self.trajectory,
                            elements_rows=self.elements, apsis_events=self.apsis_events,
                            distance_rows=self.distances)


def _text(name, value, box=None):
    """A value as the text typed for an option: a str as it is. A number into a box (`box`:
    its option) as a parameter file's number is typed: a whole number below 10^15 in plain
    digits, else the shortest text that reads back to the same double, with the user's
    decimal separator in "n object", "Iteration" and "Prediction". For any other option an
    int in decimal, a float as its shortest text."""
    if isinstance(value, str):
        return value
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name}: a bool is not a text for a box (give a str, an int or a float)")
    if not isinstance(value, numbers.Real):
        raise TypeError(f"{name}: give a str, an int or a float, not {type(value).__name__}")
    if not isinstance(value, numbers.Integral) and not math.isfinite(value):
        # Its text ("nan", "inf") is no number a box reads: the box would read 0.
        raise ValueError(f"{name}: {float(value)!r} is not a finite number")
    if box is not None:
        return _gravlag.box_text(box, float(value))
    if isinstance(value, numbers.Integral):
        return str(int(value))
    return _gravlag.exact_text(float(value))


def _option(name, text):
    # "--c=TEXT" keeps a text that starts with a dash a text; an empty one stands alone, as
    # the command line takes --c "".
    return [f"--{name}={text}"] if text else [f"--{name}", ""]


def _unexpected(function, name):
    """The TypeError Python raises for a keyword a function does not take, with the box
    options it does take."""
    options = ", ".join(sorted(option.replace("-", "_") for option in _BOX_OPTIONS))
    return TypeError(f"{function}() got an unexpected keyword argument {name!r} "
                     f"(box options: {options}; and duration)")


def _prepare(scenario=None, *, params=None, every=None, trajectory=False, distances=False,
             elements=False, report=False, budget=False, converge=False, stop_at=None,
             integrator=None, force_law=None, tolerance=None, as_typed=False, _function="run",
             **boxes):
    """The batch runner's arguments, a parameter file's text given as a dict, and the rows
    wanted (apsis events always)."""
    arguments = ["--as-typed"] if as_typed else []
    params_text = None
    if scenario is not None:
        arguments += _option("scenario", _text("scenario", scenario))
    if isinstance(params, dict):
        params_text = json.dumps(params)
    elif params is not None:
        arguments += _option("params", os.fspath(params))
    for name, value in boxes.items():
        option = name.replace("_", "-")
        if option not in _BOX_OPTIONS and option != "duration":
            raise _unexpected(_function, name)
        arguments += _option(option, _text(name, value, option if option in _BOX_OPTIONS else None))
    for option, value in (("every", every), ("stop-at", stop_at), ("integrator", integrator),
                          ("force-law", force_law), ("tolerance", tolerance)):
        if value is not None:
            arguments += _option(option, _text(option, value))
    arguments += ["--report"] if report else []
    arguments += ["--budget"] if budget else []
    arguments += ["--converge"] if converge else []
    return arguments, params_text, (True, bool(distances), bool(trajectory), bool(elements))


def _interruptible():
    # Ctrl+C stops the run only where Python would take it as KeyboardInterrupt: in the main
    # thread, with Python's own handler in place.
    return (threading.current_thread() is threading.main_thread()
            and signal.getsignal(signal.SIGINT) is signal.default_int_handler)


def _interrupted(results):
    error = KeyboardInterrupt()
    error.results = results
    return error


def run(scenario=None, *, params=None, every=None, trajectory=False, distances=False,
        elements=False, report=False, budget=False, converge=False, stop_at=None,
        integrator=None, force_law=None, tolerance=None, as_typed=False, pictures=True,
        **boxes):
    """One run, as gravlag-batch makes it.

    scenario: "2 BH's" or "Mercury" (None: the parameter file's, else "2 BH's").
    params: a parameter file's path (as --params takes it), or a dict of its keys and texts.
    boxes: box options with underscores (mass1, r2, vx_base, iterations, dt, c, prediction,
    bodies, ...) and duration, each a str, int or float typed into its box. A str must be
    wholly a number ("5e4"; not "50,000", "5000 " is fine); params' texts likewise.
    as_typed: read the texts as the panel reads what a person types instead ("50,000" as 50
    in c), as gravlag-batch --as-typed does, to reproduce a run typed at the panel.
    trajectory, distances, elements: the rows of those exports as arrays; every: their
    interval in passes. report, budget: the "analysis" and "budget" dicts; converge: their
    rates also extrapolated to dt -> 0 (runs at dt/2 and dt/4). stop_at: "Stop" at the first
    display update at or after that pass. integrator ("euler", "reference"),
    force_law ("retarded", "instantaneous", "aberration-free", "1pn"), tolerance: the model,
    as --integrator, --force-law and --tolerance take it; Result.model says it back.
    pictures: keep the two displays as drawn (simulation_image(), plot_image(), made into
    arrays when first asked for); False lets their 0.7 MB go with the run.

    Raises TypeError for an unknown keyword, ValueError with the batch runner's message for
    a text that is not wholly a number and for input that cannot start a run; a fault is a Result with ended == "fault". Ctrl+C stops the
    run as "Stop" does and raises KeyboardInterrupt, with the stopped run's Result as its
    `results` (a list of one).
    """
    arguments, params_text, wanted = _prepare(
        scenario, params=params, every=every, trajectory=trajectory, distances=distances,
        elements=elements, report=report, budget=budget, converge=converge, stop_at=stop_at,
        integrator=integrator, force_law=force_law, tolerance=tolerance, as_typed=as_typed,
        **boxes)
    raw = _gravlag.run(arguments, params_text, wanted, _interruptible(), bool(pictures))
    if raw["json"] is None:  # Ctrl+C before it started; any other problem was raised
        raise _interrupted([])
    result = Result(raw)
    if raw["interrupted"]:
        raise _interrupted([result])
    if result.ended == "refused":
        raise ValueError(result.message)
    return result


def _grid_arguments(grid):
    arguments = []
    for name, texts in grid.items():
        option = name.replace("_", "-")
        if isinstance(texts, (str, bytes, numbers.Number)):
            raise TypeError(f"grid[{name!r}]: give a list of values ([{texts!r}] for one), "
                            f"not one value")
        pieces = [_text(name, t, option if option in _BOX_OPTIONS else None) for t in texts]
        for i, piece in enumerate(pieces, 1):
            if ";" in piece:
                raise ValueError(f"--sweep {option}: text {i} holds ';', which separates the texts")
        if not pieces:
            return None  # no points
        arguments += [f"--sweep={option}={';'.join(pieces)}"]
    return arguments


def _points(arguments, params_text, wanted, indices, pictures=False):
    """A chunk of points in a Dask worker: one thread, no signal handling."""
    return _results(_gravlag.run_points(arguments, params_text, wanted, indices, False, pictures))[0]


def _results(raws):
    """The points' Results in the list of their raw outcomes, each raw one let go as its
    Result takes its place (a sweep's peak memory is then its Results)."""
    interrupted = bool(raws) and raws[0]["interrupted"]
    for i, raw in enumerate(raws):
        raws[i] = Result(raw) if raw["json"] is not None else None
    return raws, interrupted


def sweep(grid, *, jobs=None, lanes=None, client=None, pictures=False, **common):
    """The runs of a grid, as gravlag-batch --sweep makes them, in point order.

    grid: a dict from box option to a list of texts (str, int or float), the first key
    outermost. common: run()'s keywords, for every point (each point's texts replace those
    of its boxes). Without client, the points run on `jobs` threads (default: one per
    processor); with a dask.distributed Client, in tasks of a few points on its cluster.
    pictures: keep each point's two displays (0.7 MB a point); without it a point's Result
    holds its report and the rows asked for, a few KB, and its simulation_image() and
    plot_image() are None.
    lanes: points computed together in SIMD lanes on each thread, 1, 4 or 8 (default: the most
    the processor has), as gravlag-batch --lanes; every Result is the same for each.

    Each Result's to_json() is the point's --sweep line, with "point"; a point that cannot
    start is a Result with ended == "refused". A grid or an option the batch runner would
    refuse raises ValueError with its message. Ctrl+C (threads) stops the running points as
    "Stop" does, starts no further one and raises KeyboardInterrupt, whose `results` lists
    each point's Result (None for a point not started).
    """
    if not grid:
        raise ValueError("sweep: the grid needs at least one box option and its texts")
    arguments, params_text, wanted = _prepare(_function="sweep", **common)
    axes = _grid_arguments(grid)
    if axes is None:
        return []
    arguments += axes
    if lanes is not None:
        arguments += _option("lanes", _text("lanes", lanes))
    if client is not None:
        return _dask_sweep(client, arguments, params_text, wanted, bool(pictures))
    if jobs is not None:
        arguments += _option("jobs", _text("jobs", jobs))
    count = _gravlag.sweep_points(arguments)
    raws = _gravlag.run_points(arguments, params_text, wanted, range(count), _interruptible(),
                               bool(pictures))
    results, interrupted = _results(raws)
    del raws
    if interrupted:
        raise _interrupted(results)
    return results


def _dask_sweep(client, arguments, params_text, wanted, pictures):
    arguments = arguments + ["--jobs=1"]
    count = _gravlag.sweep_points(arguments)  # the grid checked here, before any task
    threads = max(1, sum(client.nthreads().values()))
    size = max(1, math.ceil(count / (4 * threads)))  # a few tasks per thread, for balance
    futures = [client.submit(_points, arguments, params_text, wanted,
                             list(range(start, min(start + size, count))), pictures, pure=False)
               for start in range(0, count, size)]
    try:
        chunks = client.gather(futures)
    except BaseException:
        client.cancel(futures)
        raise
    return [result for chunk in chunks for result in chunk]


from .system import Particles, System  # noqa: E402  (System.from_scenario reads run()'s keywords)
