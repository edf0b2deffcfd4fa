import csv
import json
import math
import os
import pickle
import re
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from PIL import Image

import gravlag
from batch import batch

MERCURY_FILE = {"scenario": "Mercury", "Tc": "20000", "Titer": "30000", "Tpredsel": "1"}


@pytest.mark.parametrize("keywords, arguments", [
    ({}, []),
    ({"scenario": "Mercury"}, ["--scenario", "Mercury"]),
    ({"scenario": "Mercury", "c": 50000, "prediction": 1, "dt": 0.001, "report": True, "budget": True},
     ["--scenario", "Mercury", "--c", "50000", "--prediction", "1", "--dt", "0.001", "--report", "--budget"]),
    ({"params": MERCURY_FILE, "bodies": "2", "vx_base": "-0,5", "stop_at": 1000, "as_typed": True},
     ["--params", "{file}", "--bodies", "2", "--vx-base", "-0,5", "--stop-at", "1000", "--as-typed"]),
    ({"scenario": "Mercury", "iterations": 30000, "c": 1000, "report": True, "converge": True},
     ["--scenario", "Mercury", "--iterations", "30000", "--c", "1000", "--report", "--converge"]),
    ({"scenario": "Mercury", "integrator": "reference", "force_law": "aberration-free", "tolerance": 1e-10,
      "c": 20000, "iterations": 3000},
     ["--scenario", "Mercury", "--integrator", "reference", "--force-law", "aberration-free",
      "--tolerance", "1e-10", "--c", "20000", "--iterations", "3000"]),
], ids=["2 BH's", "Mercury", "Mercury delayed, budget", "parameters as a dict, stopped", "converged",
        "a model"])
def test_a_run_is_the_batch_runners_json_line(keywords, arguments, tmp_path):
    file = tmp_path / "mercury.json"
    file.write_text(json.dumps(MERCURY_FILE))
    out, _ = batch("--json", *(a.format(file=file) for a in arguments), status=0)
    result = gravlag.run(**keywords)
    assert result.to_json() + "\n" == out
    report = json.loads(out)
    assert (result.ended, result.passes, result.last_pass) == (report["ended"], report["passes"], report["lastPass"])
    assert result.ended == ("stopped" if "stop_at" in keywords else "completed")
    for name in ("x", "y", "vx", "vy"):
        assert getattr(result.state, name).tolist() == report[name]
    assert result.boxes == report["boxes"]
    assert (result.analysis, result.budget) == (report.get("analysis"), report.get("budget"))
    assert (result.budget is not None) == ("budget" in keywords)
    assert ("limit" in (result.analysis or {}).get("precession", {})) == ("converge" in keywords)
    assert result.model == report["model"]
    assert result.model["tolerance"] == keywords.get("tolerance")


def read_csv(path, like):
    """A CSV export as a structured array of `like`'s columns, every cell read as a double
    (an empty one as NaN) or as a whole number."""
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    assert tuple(rows[0]) == like.dtype.names
    table = np.empty(len(rows) - 1, dtype=like.dtype)
    for name, column in zip(rows[0], zip(*rows[1:])):
        kind = like.dtype[name]
        table[name] = [int(v) if kind == np.int64 else float(v) if v else np.nan for v in column]
    return table


@pytest.mark.parametrize("scenario, boxes", [
    ("Mercury", ["--c", "20000", "--iterations", "40000"]),
    ("2 BH's", ["--bodies", "2", "--iterations", "30000", "--c", "50000"]),
])
def test_arrays_are_the_csv_exports_and_the_pictures(scenario, boxes, tmp_path):
    files = {name: tmp_path / f"{name}.csv" for name in ("apsis", "distance", "trajectory", "elements")}
    pictures = {name: tmp_path / f"{name}.png" for name in ("sim", "plot")}
    batch("--scenario", scenario, *boxes, "--every", "7",
          *(a for name, path in files.items() for a in (f"--{name}-csv", str(path))),
          *(a for name, path in pictures.items() for a in (f"--{name}-png", str(path))), status=0)
    keywords = {boxes[i][2:]: boxes[i + 1] for i in range(0, len(boxes), 2)}
    result = gravlag.run(scenario, every=7, trajectory=True, distances=True, elements=True, **keywords)
    arrays = {"apsis": result.apsis_events, "distance": result.distances,
              "trajectory": result.trajectory, "elements": result.elements}
    for name, array in arrays.items():
        assert array.tobytes() == read_csv(files[name], array).tobytes(), name
    assert len(result.trajectory) > 1000 and np.isnan(result.distances["r2"]).all() == (scenario != "Mercury")
    assert (len(result.apsis_events) > 0) == (scenario == "Mercury")
    # A pickled Result (a Dask worker's) carries the pictures as the original shows them.
    copy = pickle.loads(pickle.dumps(result))
    for got in (copy, result):
        for image, path in ((got.simulation_image(), pictures["sim"]), (got.plot_image(), pictures["plot"])):
            assert np.array_equal(image, np.asarray(Image.open(path).convert("RGB")))


def test_bad_input_raises_the_batch_runners_message(tmp_path):
    def message(*arguments):
        _, err = batch(*arguments, status=2)
        return err.splitlines()[0].removeprefix("gravlag-batch: ")

    cases = [
        ({"iterations": "abc"}, ["--iterations", "abc"]),
        ({"every": 0}, ["--every", "0"]),
        ({"scenario": "Venus"}, ["--scenario", "Venus"]),
        ({"duration": 1e300, "dt": "1e-300"}, ["--duration", "1e300", "--dt", "1e-300"]),
        ({"params": tmp_path}, ["--params", str(tmp_path)]),
        ({"mass1": 0, "mass2": 0, "mass3": 0}, ["--mass1", "0", "--mass2", "0", "--mass3", "0"]),
    ]
    for keywords, arguments in cases:
        with pytest.raises(ValueError) as raised:
            gravlag.run(**keywords)
        assert str(raised.value) == message(*arguments), keywords
    # A batch runner option that is no box option is unknown to run(), as foo is: the
    # TypeError Python raises for a keyword a function does not take.
    for name in ("foo", "sim_png"):
        with pytest.raises(TypeError, match=f"^run\\(\\) got an unexpected keyword argument '{name}' \\(box options: bodies, c, "):
            gravlag.run(**{name: 1})
    with pytest.raises(ValueError, match=r'^--params: key "Tc" must be a string or a number$'):
        gravlag.run(params={"Tc": [5]})
    with pytest.raises(TypeError):
        gravlag.run(c=True)


def test_texts_that_would_be_cut_or_read_as_0_are_refused(tmp_path):
    # A NUL ends the text where the batch runner reads it: "10\x0000" would run 10 passes.
    good = tmp_path / "good.json"
    good.write_text("{}")
    for keywords, option in (({"iterations": "10\x0000"}, "--iterations"), ({"c": 1e3, "dt": ".001\x00"}, "--dt"),
                             ({"params": f"{good}\x00.x"}, "--params")):
        with pytest.raises(ValueError, match=f"^{option}: the text holds a NUL character$"):
            gravlag.run(**keywords)
    with pytest.raises(ValueError, match='^--params: key "Tc": the text holds a NUL character$'):
        gravlag.run(params={"Tc": "1000\x00"})
    # nan and the infinities have texts ("nan", "inf") that the boxes read as 0.
    for value in (math.nan, math.inf, -math.inf, np.float32("nan")):
        for name, said in (("mass1", "mass1"), ("vx_base", "vx_base"), ("c", "c"), ("dt", "dt"),
                           ("duration", "duration"), ("every", "every"), ("stop_at", "stop-at")):
            with pytest.raises(ValueError, match=f"^{said}: {re.escape(repr(float(value)))} is not a finite number$"):
                gravlag.run(**{name: value})


def test_a_fault_is_a_result():
    out, _ = batch("--json", "--dt", "1e300", "--iterations", "1000", status=3)
    result = gravlag.run(dt=1e300, iterations=1000)
    assert (result.ended, result.to_json() + "\n") == ("fault", out)
    assert result.message == json.loads(out)["message"]


CHILD = textwrap.dedent("""
    import os, signal, sys, time
    import gravlag
    print("running", flush=True)
    try:
        gravlag.run(iterations=10**12)
    except KeyboardInterrupt as stopped:
        result = stopped.results[0]
        print(result.to_json() if result.signal == "SIGINT" else f"signal {result.signal!r}", flush=True)
    print(gravlag.run(iterations=1000).ended, flush=True)
    try:
        os.kill(os.getpid(), signal.SIGINT)
        time.sleep(5)
    except KeyboardInterrupt:
        print("Python's handler is back", flush=True)
""")


def test_ctrl_c_stops_the_run_then_raises_keyboard_interrupt():
    child = subprocess.Popen([sys.executable, "-c", CHILD], stdout=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "running\n"
    import time
    time.sleep(0.5)
    child.send_signal(signal.SIGINT)
    out, _ = child.communicate(timeout=60)
    stopped, after, handler = out.splitlines()
    report = json.loads(stopped)
    assert (report["ended"], report["signal"]) == ("stopped", "SIGINT")
    assert 0 < report["lastPass"] < 10**12 and report["lastPass"] % 100 == 0
    assert (after, handler, child.returncode) == ("completed", "Python's handler is back", 0)


def test_texts_are_wholly_numbers_and_keywords_are_named_as_python_names_them():
    # What the panel would read in part, or not at all, is refused as the batch runner
    # refuses it; as_typed=True reads it as the panel does.
    for keywords, said in (({"c": "abc"}, '--c: "abc"'), ({"c": "50,000"}, '--c: "50,000"'),
                           ({"dt": "1e-3s"}, '--dt: "1e-3s"'), ({"params": {"c": "5OOO"}}, '--params: key "c": "5OOO"')):
        with pytest.raises(ValueError, match=f"^{re.escape(said)} is not a number "):
            gravlag.run(**keywords)
    assert gravlag.run(c="50,000", as_typed=True, iterations=100).inputs["c"] == {"value": 50.0, "unit": "length/time"}
    with pytest.raises(TypeError, match="^run\\(\\) got an unexpected keyword argument 'cc' "):
        gravlag.run(cc=1)
    with pytest.raises(TypeError, match="^sweep\\(\\) got an unexpected keyword argument 'cc' "):
        gravlag.sweep({"c": [1]}, cc=1)
    with pytest.raises(TypeError, match=re.escape("grid['c']: give a list of values ([5000] for one), not one value")):
        gravlag.sweep({"c": 5000})
    # A parameter file's option names are its box names.
    by_option = gravlag.run(params={"scenario": "Mercury", "c": 5000, "r3": 40}, iterations=300)
    by_box = gravlag.run(params={"scenario": "Mercury", "Tc": "5000", "Dx2": "40"}, iterations=300)
    assert by_option.to_json() == by_box.to_json()
    assert (by_option.inputs["c"]["value"], by_option.inputs["r3"]["value"]) == (5000.0, 40.0)
