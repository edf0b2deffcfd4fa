import math
import subprocess
import sys
import textwrap

import pytest

import gravlag
from batch import batch

# Nine points, three of them refused ("Prediction" is not a number: typed as a person types,
# the run refuses it), in "Mercury" with the analysis, each typed over a common "Iteration".
GRID = {"c": [0, "20000", 5e4], "prediction": ["0", "1", "x"]}
COMMON = {"scenario": "Mercury", "iterations": 30000, "report": True, "as_typed": True}


@pytest.fixture(scope="module")
def sweep_lines():
    out, _ = batch("--scenario", "Mercury", "--iterations", "30000", "--report", "--as-typed",
                   "--sweep", "c=0;20000;50000", "--sweep", "prediction=0;1;x", status=2)
    return out.splitlines()


def test_a_threaded_sweep_is_the_batch_runners_sweep(sweep_lines):
    results = gravlag.sweep(GRID, jobs=2, **COMMON)
    assert [r.to_json() for r in results] == sweep_lines
    assert [r.ended for r in results].count("refused") == 3
    assert [r.point for r in results][5] == {"c": "20000", "prediction": "x"}
    with pytest.raises(ValueError) as raised:
        gravlag.sweep({"duration": ["1"]}, **COMMON)
    _, err = batch("--sweep", "duration=1", status=2)
    assert str(raised.value) == err.splitlines()[0].removeprefix("gravlag-batch: ")


def test_a_sweep_on_a_dask_cluster_is_the_batch_runners_sweep(sweep_lines, tmp_path):
    distributed = pytest.importorskip("distributed")
    # The workers' scratch space in the test's own folder, not the system's.
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None, local_directory=tmp_path) as cluster, distributed.Client(cluster) as client:
        results = gravlag.sweep(GRID, client=client, **COMMON)
    assert [r.to_json() for r in results] == sweep_lines


def test_a_grid_text_that_would_split_or_be_cut_is_refused():
    # Each would run other points than those asked for: 1000 and 2000 apart, or 1000 alone.
    with pytest.raises(ValueError, match="^--sweep c: text 2 holds ';', which separates the texts$"):
        gravlag.sweep({"c": ["0", "1000;2000"]}, iterations=10)
    with pytest.raises(ValueError, match="^--sweep: the text holds a NUL character$"):
        gravlag.sweep({"c": ["1000\x00", "2000", "3000"]}, iterations=10)
    with pytest.raises(ValueError, match="^c: nan is not a finite number$"):
        gravlag.sweep({"c": [0, math.nan]}, iterations=10)


# Sweeps of 200 threads whose rows outgrow the address space left above the interpreter's,
# under many limits, scalar and in lanes: where it runs out (a thread's start, its storage, a
# row, the lanes' set-up, a JSON value freed as a run unwinds) moves with the limit. The 20
# points' rows alone take 224 MB: no limit here leaves them room.
OUT_OF_MEMORY = textwrap.dedent("""
    import resource
    import gravlag
    in_use = next(int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmSize:"))
    _, hard = resource.getrlimit(resource.RLIMIT_AS)
    lanes_here = (1, 4) if " avx2" in open("/proc/cpuinfo").read() else (1,)
    for extra in range(4, 196, 3):
        limit = in_use * 1024 + extra * 2**20
        resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
        for lanes in lanes_here:
            try:
                gravlag.sweep({"c": [1000 + i for i in range(20)]}, jobs=200, lanes=lanes,
                              iterations=100000, trajectory=True, every=1)
            except MemoryError:
                print("MemoryError", flush=True)
        resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
""")


def test_a_sweep_out_of_memory_raises_memory_error():
    # The C library aborts the interpreter (status 127) when a thread's first use of
    # thread-local storage finds no memory.
    child = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY], capture_output=True, text=True,
                           timeout=600, check=False)
    lanes_here = 2 if " avx2" in open("/proc/cpuinfo").read() else 1
    assert (child.returncode, child.stdout) == (0, "MemoryError\n" * 64 * lanes_here), child.stderr
