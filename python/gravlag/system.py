"""gravlag.System: bodies in a plane under a delayed pull, integrated to any time.

Bodies are added by position and velocity or by orbital elements about a primary; c, dt, the
force law and the integrator are set before the first integrate(). The steps are the
physics engine's, the same every run takes (G = 1; lengths, times and masses in the panel's
units); System.from_scenario gives the start state the panel sets up for a scenario, from
which integrate() repeats that run's passes to the last bit.
"""

from __future__ import annotations

import math
import numbers
import signal
import threading
from typing import Any, NamedTuple, Optional

import numpy as np

from . import _gravlag

__all__ = ["Particles", "System"]


class Particles(NamedTuple):
    """The bodies at the system's time, one float64 array each, in the order added."""

    m: np.ndarray
    x: np.ndarray
    y: np.ndarray
    vx: np.ndarray
    vy: np.ndarray


def _number(name: str, value: Any) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name}: give a number (int or float), not {type(value).__name__}")
    number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{name}: {number!r} is not a finite number")
    return number


def _interruptible() -> bool:
    return (threading.current_thread() is threading.main_thread()
            and signal.getsignal(signal.SIGINT) is signal.default_int_handler)


class System:
    """Point masses in a plane, each pulled by every other under `force_law` with propagation
    speed `c`, advanced by `integrator`.

    c: length per time unit; 0 makes every pull instantaneous. dt: the euler scheme's step
    (time units). integrator: "euler" (the panel's semi-implicit Euler) or "reference"
    (adaptive high-order steps of the delay equations to `tolerance`). force_law: "retarded",
    "instantaneous", "aberration-free" or "1pn". prediction: how the euler scheme finds where a
    source was, 0 by its current velocity, 1 by its 20-step position history (the panel's
    "Prediction").

    Before t = 0 a retarded law sees the bodies where the integrator assumes them (the euler
    scheme: standing at their start positions, as the panel's runs do).
    """

    def __init__(self, *, c: float = 0.0, dt: float = 0.001, integrator: str = "euler",
                 force_law: str = "retarded", tolerance: float = 1e-12, prediction: int = 0):
        self._bodies: list[tuple[float, float, float, float, float]] = []
        self._engine: Optional[Any] = None
        self.duration: Optional[float] = None
        """The time a scenario's run covers (its passes times dt); None for a System built by hand."""
        self.scenario: Optional[str] = None
        self.c, self.dt, self.tolerance = c, dt, tolerance
        self.integrator, self.force_law, self.prediction = integrator, force_law, prediction

    # The settings hold until the first integrate(): a delayed pull's past is the system's.
    def __setattr__(self, name: str, value: Any) -> None:
        if name in ("c", "dt", "tolerance"):
            self._unstarted(name)
            value = _number(name, value)
        elif name in ("integrator", "force_law"):
            self._unstarted(name)
            if not isinstance(value, str):
                raise TypeError(f"{name}: give its name as a str, not {type(value).__name__}")
        elif name == "prediction":
            self._unstarted(name)
            if isinstance(value, bool) or not isinstance(value, numbers.Integral):
                raise TypeError(f"prediction: give 0 or 1, not {type(value).__name__}")
            if value not in (0, 1):
                raise ValueError(f"prediction: 0 (by velocity) or 1 (by the position history), not {value}")
            value = int(value)
        super().__setattr__(name, value)

    def _unstarted(self, what: str) -> None:
        if getattr(self, "_engine", None) is not None:
            raise RuntimeError(f"{what}: the system has been integrated; its past is fixed "
                               "(make a new System)")

    def add(self, m: float, x: Optional[float] = None, y: Optional[float] = None,
            vx: Optional[float] = None, vy: Optional[float] = None, *, a: Optional[float] = None,
            e: float = 0.0, varpi: float = 0.0, f: float = 0.0, primary: int = 0) -> "System":
        """Adds a body of mass m (> 0): at (x, y) with velocity (vx, vy) (each 0 when left
        out), or on the Kepler orbit of semi-major axis a and eccentricity e about body
        `primary` (an index, default the first), counter-clockwise, with its pericentre in
        direction varpi and the body at true anomaly f from it (both degrees), mu = G (m_primary
        + m). a < 0 with e > 1 is a hyperbola. Returns the system, so that adds chain."""
        self._unstarted("add")
        m = _number("m", m)
        cartesian = {"x": x, "y": y, "vx": vx, "vy": vy}
        if a is None:
            x, y, vx, vy = (0.0 if v is None else _number(k, v) for k, v in cartesian.items())
        else:
            given = [k for k, v in cartesian.items() if v is not None]
            if given:
                raise TypeError(f"add: give a position and velocity or orbital elements, not both "
                                f"({', '.join(given)} with a)")
            x, y, vx, vy = self._orbit(m, _number("a", a), _number("e", e), _number("varpi", varpi),
                                       _number("f", f), primary)
        self._bodies.append((m, x, y, vx, vy))
        return self

    def _orbit(self, m: float, a: float, e: float, varpi: float, f: float,
               primary: Any) -> tuple[float, float, float, float]:
        if isinstance(primary, bool) or not isinstance(primary, numbers.Integral):
            raise TypeError(f"primary: give a body's index, not {type(primary).__name__}")
        if not 0 <= primary < len(self._bodies):
            raise ValueError(f"primary: no body {primary} (the system has {len(self._bodies)})")
        pm, px, py, pvx, pvy = self._bodies[primary]
        p = a * (1 - e * e)  # semi-latus rectum
        if not (e >= 0 and p > 0):
            raise ValueError(f"a {a!r} with e {e!r} is no orbit: a > 0 with 0 <= e < 1, "
                             "or a < 0 with e > 1")
        mu = pm + m  # G = 1
        anomaly = math.radians(f)
        r = p / (1 + e * math.cos(anomaly))
        if not (r > 0 and math.isfinite(r)):
            raise ValueError(f"f {f!r} lies beyond the asymptotes of the hyperbola with e {e!r}")
        angle = math.radians(varpi + f)
        speed = math.sqrt(mu / p)
        radial, transverse = speed * e * math.sin(anomaly), speed * (1 + e * math.cos(anomaly))
        cos, sin = math.cos(angle), math.sin(angle)
        return (px + r * cos, py + r * sin,
                pvx + radial * cos - transverse * sin, pvy + radial * sin + transverse * cos)

    @classmethod
    def from_scenario(cls, scenario: Optional[str] = None, *, params: Any = None,
                      integrator: Optional[str] = None, force_law: Optional[str] = None,
                      tolerance: Optional[float] = None, **boxes: Any) -> "System":
        """The start state the panel sets up for `scenario` ("2 BH's" or "Mercury") with the
        boxes as run() takes them (mass1, r2, c, dt, prediction, iterations, duration, ...)
        and the model: its active bodies, c, dt, "Prediction", the model, and `duration`, the
        time its run covers. integrate() to `duration` then gives the run's last pass to the
        last bit (gravlag.run of the same keywords). Raises ValueError where the run could not
        start."""
        from . import _prepare
        for name in ("every", "trajectory", "distances", "elements", "report", "budget",
                     "converge", "stop_at"):
            if name in boxes:
                raise TypeError(f"from_scenario() got an unexpected keyword argument '{name}' "
                                "(a run's output option: give it to gravlag.run)")
        arguments, params_text, _ = _prepare(scenario, params=params, integrator=integrator,
                                             force_law=force_law, tolerance=tolerance, **boxes)
        start = _gravlag.start_state(arguments, params_text)
        system = cls(c=start["c"], dt=start["dt"], integrator=start["integrator"],
                     force_law=start["force_law"], tolerance=start["tolerance"],
                     prediction=start["prediction"])
        for body in zip(start["m"], start["x"], start["y"], start["vx"], start["vy"]):
            system._bodies.append(tuple(body))
        system.duration = start["passes"] * start["dt"]
        system.scenario = start["scenario"]
        return system

    def _started(self) -> Any:
        if self._engine is None:
            if not self._bodies:
                raise ValueError("the system has no bodies: add() some first")
            m, x, y, vx, vy = (list(column) for column in zip(*self._bodies))
            engine = _gravlag.Integration(m, x, y, vx, vy, self.c, self.dt, self.integrator,
                                          self.force_law, self.tolerance, self.prediction)
            super().__setattr__("_engine", engine)
        return self._engine

    def integrate(self, t: Optional[float] = None) -> "System":
        """Advances the system to time t (default: `duration`); a later call goes on from
        there, taking the very steps one call to the later time takes, so the result is the
        same to the last bit. The euler integrator stops at the end of the step that reaches
        t (System.t says where); the reference integrator gives the bodies at t itself.

        Raises RuntimeError (the system left at its last good step) when a step fails, and
        KeyboardInterrupt on Ctrl+C, with the system at the step it had reached."""
        if t is None:
            if self.duration is None:
                raise TypeError("integrate: give t (a System built by hand has no duration)")
            t = self.duration
        self._started().integrate(_number("t", t), _interruptible())
        return self

    @property
    def t(self) -> float:
        """The time the bodies stand at (0 before the first integrate())."""
        return 0.0 if self._engine is None else self._engine.t

    @property
    def steps(self) -> int:
        """Steps taken so far."""
        return 0 if self._engine is None else self._engine.steps

    @property
    def particles(self) -> Particles:
        """The bodies now: masses, positions and velocities as arrays (copies)."""
        if self._engine is not None:
            return Particles(*self._engine.state())
        columns = zip(*self._bodies) if self._bodies else ((),) * 5
        return Particles(*(np.array(column, dtype=np.float64) for column in columns))

    @property
    def N(self) -> int:
        """The number of bodies."""
        return len(self._bodies)

    def delays(self) -> np.ndarray:
        """n x n: the delay (time units) with which body i (row) feels body j (column), as the
        last step found it; 0 under an instantaneous law, at c 0, and before the first step."""
        if self._engine is None:
            return np.zeros((self.N, self.N))
        return self._engine.delays()

    def analysis(self) -> dict[str, Any]:
        """The system now: "t", the totals "energy" (kinetic + pairwise -G m_i m_j / r_ij),
        "angular_momentum" (z, about the origin) and "momentum" (magnitude), None where two
        bodies coincide or a total is not finite; and "elements", arrays "a", "e", "varpi"
        (degrees), "period" and "h" (specific angular momentum) of each body after the first
        about the first (mu = G (m_0 + m_i)), NaN where the orbit has none (a and period of an
        unbound one). The same figures a run's report gives for its pair."""
        if self._engine is not None:
            return self._engine.analysis()
        m, x, y, vx, vy = (list(column) for column in zip(*self._bodies)) if self._bodies else ([],) * 5
        # Not integrated yet: the same computation on an engine that has taken no step.
        return _gravlag.Integration(m, x, y, vx, vy, self.c, self.dt, self.integrator,
                                    self.force_law, self.tolerance, self.prediction).analysis()

    def __repr__(self) -> str:
        return (f"<gravlag.System {self.N} bodies, t {self.t!r}, c {self.c!r}, "
                f"{self.integrator}/{self.force_law}>")

    def _repr_html_(self) -> str:
        from ._html import system_html
        return system_html(self)
