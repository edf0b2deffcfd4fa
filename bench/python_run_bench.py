"""gravlag.run() against the batch runner's in-process run, and export arrays of 10^6 rows.

    PYTHONPATH=build/python python3 bench/python_run_bench.py build/bench/batch_run_bench

1. The default runs of "2 BH's" and "Mercury": gravlag.run() beside batch_run_bench
   (RunBatchReport and the --json line, in C++), in seven rounds taken in turn (so a load
   that comes and goes meets both alike), each round the median of five calls after one
   untimed call (the C++ side is timed warm too, as Google Benchmark repeats it); the medians
   of the rounds' CPU and wall-clock times, and the median of the rounds' ratios (target: at
   most 1.05).
2. A 10^6-row trajectory (--every 1): the time of the run with and without the array, the
   array's bytes, the process's peak memory, and how many Python objects the call left
   alive (a Python object per row would be a million).
"""

import gc
import json
import resource
import statistics
import subprocess
import sys
import time

import gravlag

ROUNDS, REPETITIONS = 7, 5
RUNS = (("two_bh", "2 BH's"), ("mercury", "Mercury"))


def python_medians(scenario):
    """CPU and wall-clock milliseconds of gravlag.run(scenario), medians of REPETITIONS."""
    cpu, wall = [], []
    gravlag.run(scenario)  # caches warm again after the other side's round
    for _ in range(REPETITIONS):
        c, w = time.process_time(), time.perf_counter()
        gravlag.run(scenario)
        cpu.append((time.process_time() - c) * 1e3)
        wall.append((time.perf_counter() - w) * 1e3)
    return statistics.median(cpu), statistics.median(wall)


def cpp_medians(bench, name):
    done = subprocess.run([bench, f"--benchmark_filter=/{name}$", f"--benchmark_repetitions={REPETITIONS}",
                           "--benchmark_format=json", "--benchmark_report_aggregates_only=true"],
                          capture_output=True, text=True, check=True)
    row = next(r for r in json.loads(done.stdout)["benchmarks"] if r["aggregate_name"] == "median")
    return row["cpu_time"], row["real_time"]


def main():
    print("run        gravlag.run() CPU (wall)   RunBatchReport CPU (wall)   ratio CPU (wall): median of rounds")
    for name, scenario in RUNS:
        rounds = [(python_medians(scenario), cpp_medians(sys.argv[1], name)) for _ in range(ROUNDS)]
        py = [statistics.median(r[0][i] for r in rounds) for i in (0, 1)]
        cpp = [statistics.median(r[1][i] for r in rounds) for i in (0, 1)]
        ratio = [statistics.median(r[0][i] / r[1][i] for r in rounds) for i in (0, 1)]
        print(f"{scenario:<9}  {py[0]:8.2f} ms ({py[1]:6.2f})     {cpp[0]:8.2f} ms ({cpp[1]:6.2f})"
              f"      {ratio[0]:.3f} ({ratio[1]:.3f})")

    passes = 10**6
    start = time.perf_counter()
    gravlag.run(iterations=passes - 1, every=1)
    plain = time.perf_counter() - start
    gc.collect()
    objects = len(gc.get_objects())
    blocks = sys.getallocatedblocks()
    start = time.perf_counter()
    result = gravlag.run(iterations=passes - 1, every=1, trajectory=True)
    with_array = time.perf_counter() - start
    gc.collect()
    rows = len(result.trajectory)
    print(f"\ntrajectory of {rows} rows: the run {plain:.3f} s, with the array {with_array:.3f} s, "
          f"{result.trajectory.nbytes / 1e6:.0f} MB of array, peak memory "
          f"{resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1e3:.0f} MB")
    print(f"Python objects tracked after the call: {len(gc.get_objects()) - objects:+d}, "
          f"memory blocks: {sys.getallocatedblocks() - blocks:+d}")


main()
