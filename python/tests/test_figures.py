import base64
import io
import json
import re
import subprocess
import sys

import numpy as np
import pytest
from PIL import Image

import gravlag
from gravlag import figures
from gravlag.figures.__main__ import main as figures_main
from batch import batch

# "Mercury" at c 1000 with "Prediction" 1: every pass looks beyond the 20-step history, so
# the report warns; short enough for seconds, long enough for a budget with errors.
RUN = {"scenario": "Mercury", "c": 1000, "prediction": 1, "iterations": 30000}
EXPORTS = {"apsis": "--apsis-csv", "elements": "--elements-csv", "trajectory": "--trajectory-csv",
           "distances": "--distance-csv"}


def figures_cli(*arguments):
    return subprocess.run([sys.executable, "-m", "gravlag.figures", *map(str, arguments)],
                          capture_output=True, text=True, check=False)


@pytest.fixture(scope="module")
def run_files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("run")
    files = {name: folder / f"{name}.csv" for name in EXPORTS}
    out, _ = batch("--json", "--budget", "--every", "50",
                   *(a for k, v in RUN.items() for a in (f"--{k}", str(v))),
                   *(a for name, path in files.items() for a in (EXPORTS[name], str(path))), status=0)
    (folder / "run.json").write_text(out)
    return folder / "run.json", list(files.values())


def test_the_command_draws_from_the_files_what_plot_draws_from_memory(run_files, tmp_path):
    run_json, csvs = run_files
    done = figures_cli(run_json, *csvs, "--out", tmp_path / "figures")
    assert done.returncode == 0, done.stderr
    names = ["orbit", "elements", "apsis", "distances", "budget"]
    assert done.stdout.splitlines() == [str(tmp_path / "figures" / f"{n}.png") for n in names]
    assert sorted(p.name for p in (tmp_path / "figures").iterdir()) == sorted(f"{n}.png" for n in names)
    result = gravlag.run(**RUN, budget=True, every=50, trajectory=True, elements=True, distances=True)
    drawn = result.plot()
    assert list(drawn) == names
    for name in names:
        data = (tmp_path / "figures" / f"{name}.png").read_bytes()
        assert Image.open(io.BytesIO(data)).size == figures.SIZE
        assert data == figures.png_bytes(drawn[name]), name


def test_the_fitted_lines_are_the_runs(run_files):
    result = gravlag.run(**RUN, report=True, every=50, elements=True)
    drawn = result.plot()
    # The apsis line is the display's: a + b (n - 1) ends on the run's last "prediction".
    line = drawn["apsis"].axes[0].lines[1].get_ydata()
    assert line[-1] == pytest.approx(result.apsis_events["predAngle"][-1], abs=1e-9)
    # Each element's line rises by the analysis' rate per orbit over the orbits the run took.
    orbits = result.analysis["orbits"]["t"] / result.analysis["elements"]["start"]["period"]
    for axes, key in zip(drawn["elements"].axes, ("daPerOrbit", "dePerOrbit", "dvarpiPerOrbit")):
        y = axes.lines[1].get_ydata()
        assert y[-1] - y[0] == pytest.approx(result.analysis["elements"]["rates"][key] * orbits, rel=0.01)
    # A widening pair's orbits lengthen: the line of its rate per orbit follows a through time.
    pair = gravlag.run(c=1000, iterations=200000, report=True, elements=True)
    a = pair.plot()["elements"].axes[0]
    samples, line = a.lines[0].get_ydata(), a.lines[1].get_ydata()
    assert np.max(np.abs(line - samples)) < 0.03 * (samples[-1] - samples[0])  # 12 % at a fixed period


def test_a_sweep_over_c_draws_its_rates_a_sweep_over_dt_is_refused(tmp_path):
    out, _ = batch("--bodies", "2", "--iterations", "20000", "--report", "--sweep", "c=0;2000;50000", status=0)
    (tmp_path / "sweep.json").write_text(out)
    done = figures_cli(tmp_path / "sweep.json", "--out", tmp_path)
    assert (done.returncode, done.stdout) == (0, f"{tmp_path / 'sweep.png'}\n"), done.stderr
    assert Image.open(tmp_path / "sweep.png").size == figures.SIZE
    axes = figures.sweep([json.loads(line) for line in out.splitlines()]).axes[0]
    assert list(axes.lines[-1].get_xdata()) == [2000, 50000]  # the theory
    # c 0 has no place on a log axis: neither a point nor its error bar.
    assert {x for line in axes.lines for x in line.get_xdata()} == {2000, 50000}
    out, _ = batch("--bodies", "2", "--iterations", "2000", "--report", "--sweep", "dt=0.001;0.002", status=0)
    (tmp_path / "dt.json").write_text(out)
    done = figures_cli(tmp_path / "dt.json", "--out", tmp_path / "none")
    assert done.returncode == 2 and "a sweep over c" in done.stderr
    assert not (tmp_path / "none").exists()


def changed_cell(text, line, cell, change):
    lines = text.split("\n")
    cells = lines[line - 1].split(",")
    cells[cell] = change(cells[cell])
    lines[line - 1] = ",".join(cells)
    return "\n".join(lines)


def test_bad_input_exits_2_with_a_message_and_writes_nothing(run_files, tmp_path, capsys):
    run_json, csvs = run_files
    text = {p.stem: p.read_text() for p in csvs}
    bad = tmp_path / "bad"
    bad.mkdir()
    cases = {
        "cut.csv": (text["elements"][:-1], r"cut\.csv: the last line has no line feed"),
        "junk.csv": (changed_cell(text["apsis"], 3, 2, lambda c: c + "x"), r"junk\.csv line 3: apsisAngle is not a number: '[0-9.]+x'"),
        "comma.csv": (changed_cell(text["elements"], 4, 1, lambda c: c.replace(".", ",")), r"comma\.csv line 4: 8 cells, the header has 7"),
        "count.csv": (changed_cell(text["apsis"], 2, 1, lambda c: c + ".0"), r"count\.csv line 2: apsisCount is not a whole number: '1\.0'"),
        "header.csv": ("k,t,z\n1,2,3\n", r"header\.csv line 1: not a header"),
        "nan.json": (run_json.read_text().replace('"passes":', '"x0":NaN,"passes":'), r"nan\.json line 1: not a JSON object"),
        "refused.json": ('{"ended":"refused","message":"Mass zero"}\n', r"refused\.json line 1: no run was made: Mass zero"),
    }
    for name, (content, _) in cases.items():
        (bad / name).write_text(content)
    out = tmp_path / "out"
    for name, (_, message) in cases.items():
        given = [bad / name] if name.endswith(".json") else [run_json, bad / name]
        assert figures_main([*map(str, given), "--out", str(out)]) == 2, name
        assert re.fullmatch(f"gravlag.figures: {bad}/{message}.*\n", capsys.readouterr().err), name
    assert figures_main([str(run_json), str(csvs[0]), str(csvs[0]), "--out", str(out)]) == 2
    assert "a second apsis CSV" in capsys.readouterr().err
    assert not out.exists()
    # As a shell runs it: the status and the message.
    done = figures_cli(run_json, bad / "missing.csv", "--out", out)
    assert done.returncode == 2
    assert done.stderr == f"gravlag.figures: {bad / 'missing.csv'}: No such file or directory\n"


def test_the_notebook_table_shows_the_end_the_budget_the_warning_and_the_displays():
    result = gravlag.run(**RUN, budget=True)
    page = result._repr_html_()
    cells = re.findall(r"<t[hd][^>]*>([^<]*)</t[hd]>", page)
    assert cells[:2] == ["ended", "completed"]
    budget = result.budget
    for key, name in (("integrator", "integrator (2 bodies, c 0)"), ("total", "total (this run)")):
        value, error = budget[key]["value"], budget[key]["stdError"]
        assert cells[cells.index(name) + 1] == f"{value:.7g} ± {error:.2g}"
    assert cells[cells.index("outer body (3 less 2 bodies, c 0)") + 2] == \
        f"theory {budget['theory']['perturberPrecessionPerOrbit']:.7g}"
    warning = cells[cells.index("warning") + 1]
    assert warning.startswith(f"{result.analysis['delay']['passesBeyondHistory']} passes used a delay")
    images = [np.asarray(Image.open(io.BytesIO(base64.b64decode(d))).convert("RGB"))
              for d in re.findall(r"base64,([A-Za-z0-9+/=]+)", page)]
    assert len(images) == 2
    assert np.array_equal(images[0], result.simulation_image())
    assert np.array_equal(images[1], result.plot_image())
