"""What the worked validations share: gravlag-batch runs of a system file (--system) or of a
scenario, read from their JSON reports, and the tables and tolerances they end in."""
import json
import math
import subprocess
import tempfile
from pathlib import Path


def circle_pair(m1, m2, d, c):
    """Two bodies on a circular orbit of separation d about their centre of mass at rest,
    counter-clockwise, G = 1."""
    v = math.sqrt((m1 + m2) / d)  # relative speed
    return {"c": c, "bodies": [
        {"m": m1, "x": -d * m2 / (m1 + m2), "y": 0, "vx": 0, "vy": -v * m2 / (m1 + m2)},
        {"m": m2, "x": d * m1 / (m1 + m2), "y": 0, "vx": 0, "vy": v * m1 / (m1 + m2)}]}


def kepler_pair(m1, m2, a, e, c):
    """Body 2 at the pericentre of an orbit of semi-major axis a and eccentricity e about
    body 1, on the +x side, counter-clockwise; their centre of mass at rest at the origin,
    G = 1."""
    r = a * (1 - e)
    v = math.sqrt((m1 + m2) * (1 + e) / r)  # relative speed
    f1, f2 = m2 / (m1 + m2), m1 / (m1 + m2)
    return {"c": c, "bodies": [{"m": m1, "x": -r * f1, "y": 0, "vx": 0, "vy": -v * f1},
                               {"m": m2, "x": r * f2, "y": 0, "vx": 0, "vy": v * f2}]}


def period(m1, m2, a):
    return 2 * math.pi * math.sqrt(a**3 / (m1 + m2))


def run_system(batch, system, *args):
    """The JSON report of one --system run (--report --json), written in a folder of its own
    that is removed afterwards."""
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "system.json"
        path.write_text(json.dumps(system))
        out = subprocess.run([batch, "--system", str(path), "--report", "--json", *args], check=True,
                             capture_output=True, text=True, env={"LC_ALL": "C"}).stdout
    report = json.loads(out)
    assert report["ended"] == "completed", report
    return report


def run_scenario(batch, *args):
    out = subprocess.run([batch, "--json", *args], check=True, capture_output=True, text=True,
                         env={"LC_ALL": "C"}).stdout
    points = [json.loads(line) for line in out.splitlines()]
    for p in points:
        assert p["ended"] == "completed", p
    return points


def g(value, digits=4):
    return f"{value:.{digits}g}"


def table(header, rows):
    return "\n".join(["| " + " | ".join(header) + " |", "|" + "---|" * len(header),
                      *("| " + " | ".join(str(cell) for cell in row) + " |" for row in rows)])


def finish(out, name, text, failures):
    """Writes NAME.md, prints it and the failures; the exit status."""
    (out / f"{name}.md").write_text(text)
    print(text, end="")
    for f in failures:
        print("FAIL:", f, file=__import__("sys").stderr)
    return 1 if failures else 0
