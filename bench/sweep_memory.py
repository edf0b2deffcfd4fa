"""Peak memory of a sweep of 10^5 short runs, from Python and from gravlag-batch --sweep.

    PYTHONPATH=build/python python3 bench/sweep_memory.py build/app/gravlag-batch [POINTS]

The grid: "Mercury" of 100 passes over 1000 values of c and POINTS / 1000 of "vx base"
(POINTS a multiple of 1000)
(default 10^5 points in all), two points at a time. Each side runs in a process of its own
and reports its peak resident set (ru_maxrss): gravlag.sweep() holding every point's Result
(the report and the apsis rows, no pictures), then with pictures=True on a grid a thousandth
the size; gravlag-batch --sweep --json writing its lines to /dev/null. Also the peak of a
process that only imports gravlag, so that the growth per point can be read off.
"""

import subprocess
import sys
import time

C_VALUES = 1000


def grid(points):
    cs = min(points, C_VALUES)
    return {"c": [str(c) for c in range(cs)],
            "vx_base": [f"{i * 1e-6:.6f}" for i in range(max(1, points // cs))]}


def python_side(points, pictures):
    import gravlag
    start = time.perf_counter()
    results = gravlag.sweep(grid(points), scenario="Mercury", iterations=99, jobs=2,
                            pictures=pictures)
    seconds = time.perf_counter() - start
    assert len(results) == points and all(r.ended == "completed" for r in results)
    print(f"{seconds:.1f}")


def child_peak(arguments, stdout=subprocess.PIPE):
    """The child's peak resident set in MB (GNU time's %M) and its standard output."""
    done = subprocess.run(["/usr/bin/time", "-f", "%M", *arguments], stdout=stdout,
                          stderr=subprocess.PIPE, text=True, check=True)
    return int(done.stderr.strip().splitlines()[-1]) / 1e3, (done.stdout or "").strip()


def main():
    if sys.argv[1] == "--python":
        python_side(int(sys.argv[2]), sys.argv[3] == "1")
        return
    batch = sys.argv[1]
    points = int(sys.argv[2]) if len(sys.argv) > 2 else 10**5
    g = grid(points)
    axes = [f"--sweep=vx-base={';'.join(g['vx_base'])}", f"--sweep=c={';'.join(g['c'])}"]
    base, _ = child_peak([sys.executable, "-c", "import gravlag"])
    small = points // 1000
    pictured, t_pictured = child_peak([sys.executable, __file__, "--python", str(small), "1"])
    start = time.perf_counter()
    cli_peak, _ = child_peak([batch, "--scenario", "Mercury", "--iterations", "99", "--json",
                              "--jobs", "2", *axes], stdout=subprocess.DEVNULL)
    t_cli = time.perf_counter() - start
    py, t_py = child_peak([sys.executable, __file__, "--python", str(points), "0"])
    print(f"Python process that imports gravlag: {base:.0f} MB")
    print(f"gravlag.sweep(), {points} points:               peak {py:.0f} MB, "
          f"{(py - base) * 1e3 / points:.1f} KB a point, {t_py} s")
    print(f"gravlag.sweep(pictures=True), {small} points:     peak {pictured:.0f} MB, "
          f"{(pictured - base) * 1e3 / small:.1f} KB a point, {t_pictured} s")
    print(f"gravlag-batch --sweep --json, {points} points:  peak {cli_peak:.0f} MB, {t_cli:.1f} s")


main()
