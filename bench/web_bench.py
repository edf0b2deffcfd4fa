#!/usr/bin/python3
"""The web page's speed in a real browser beside the native batch runner.

    bench/web_bench.py SITE_FOLDER GRAVLAG_BATCH [--rounds N] [--js-flags FLAGS]
                       [--slowdown RATE]

SITE_FOLDER is what scripts/web builds (build-web/site), served by `python3 -m http.server`
in a process of its own, as a person would serve it. Each round opens the page four times in
Debian's chromium (headless, through chromedriver), each time in a fresh browser with a
fresh profile, so that nothing compiled before is cached: for the default "2 BH's" run and,
after "Choice", for the default "Mercury" run, each once clicked at once and once clicked
after the page's warm-up (page.js: short runs that get the browser to optimise the main
loops, the first before the program says it has started, bounded by time, the rest in idle
time; the first click stops it). For each page: the time from the navigation's
start to the program started (the page is interactive) and, for the second kind, to the
warm-up's end; the first run's time (the click on "Calculate" to "End" back on the button,
as the page measures it) and the fastest of the two runs after it. Taken in turn with each
scenario: `GRAVLAG_BATCH --json` of the same run, wall-clock, the median of five, as a
script starts it. Printed: the medians over the rounds and the ratios page / batch runner
(the targets: interactive within 1 s, a run at most 2 times the batch runner's). --js-flags
passes V8 flags to the browser, to find out where the time goes (not what a visitor's
browser does). --slowdown RATE has the browser run the page's main thread RATE times
slower (DevTools' CPU throttling; its compiler threads run at full speed), to see how the
page starts on a slower machine.
"""

import argparse
import os
import shutil
import socket
import statistics
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service

CALCULATE = """
var done = arguments[arguments.length - 1], g = window.gravlag;
var before = g._gravlag_web_run_number(), t0 = performance.now();
document.getElementById('CommandCalc').click();
(function poll() {
  if (g._gravlag_web_run_number() !== before && !g._gravlag_web_run_going()
      && document.getElementById('CommandEnd').textContent === 'End')
    done(performance.now() - t0);
  else
    setTimeout(poll, 1);
})();"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait(condition, what, timeout=120):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.005)
    raise SystemExit("web_bench: " + what)


def page_times(url, scenario, js_flags, slowdown, after_warm_up):
    """Interactive, warmed (None when not waited for), first run and fastest later run, in
    seconds, in a fresh browser."""
    profile = tempfile.mkdtemp(prefix="gravlag-web-bench-")
    options = Options()
    for arg in ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                "--disable-background-networking", "--disable-component-update",
                "--disable-sync", "--user-data-dir=" + profile, "--window-size=1300,1400"]:
        options.add_argument(arg)
    if js_flags:
        options.add_argument("--js-flags=" + js_flags)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.set_script_timeout(300)
        if slowdown != 1:
            driver.execute_cdp_cmd("Emulation.setCPUThrottlingRate", {"rate": slowdown})
        driver.get(url)
        ready = wait(lambda: driver.execute_script("return document.body.dataset.ready"),
                     "the page never became ready")
        warmed = None
        if after_warm_up:
            state = wait(lambda: driver.execute_script(
                "var d = document.body.dataset; return d.warmed || d.warmUp"),
                "the warm-up never ended")
            if state == "stopped":
                raise SystemExit("web_bench: the warm-up stopped with no click")
            warmed = float(state) / 1e3
        if scenario == "Mercury":
            # From the page's own script: the driver's clicks wait for the page's warm-up
            # to end (a person's click, as the browser's input, does not).
            driver.execute_script("document.getElementById('Tmethode').click()")
            wait(lambda: driver.find_element("id", "Tmethode").get_attribute("value") == "Mercury",
                 "Choice did not switch")
        runs = [driver.execute_async_script(CALCULATE) for _ in range(3)]
        return float(ready) / 1e3, warmed, runs[0] / 1e3, min(runs[1:]) / 1e3
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def batch_time(batch, scenario):
    """Median wall-clock seconds of five `gravlag-batch --json` runs."""
    times = []
    for _ in range(5):
        start = time.perf_counter()
        subprocess.run([batch, "--json", "--scenario", scenario], check=True,
                       stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("site")
    parser.add_argument("batch")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--js-flags", default="")
    parser.add_argument("--slowdown", type=float, default=1)
    args = parser.parse_args()
    batch = os.path.abspath(args.batch)
    port = free_port()
    server = subprocess.Popen(["/usr/bin/python3", "-m", "http.server", str(port), "--bind",
                               "127.0.0.1", "-d", os.path.abspath(args.site)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    url = "http://127.0.0.1:%d/index.html" % port
    try:
        wait(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, "no server")
        keys = ["ready", "warmed", "at once", "after warm-up", "later", "batch"]
        rows = {s: {k: [] for k in keys} for s in ("2 BH's", "Mercury")}
        loads = [os.getloadavg()[0]]
        for r in range(args.rounds):
            for scenario, row in rows.items():
                ready, _, at_once, later = page_times(url, scenario, args.js_flags, args.slowdown,
                                                      False)
                ready2, warmed, after, later2 = page_times(url, scenario, args.js_flags,
                                                             args.slowdown, True)
                native = batch_time(batch, scenario)
                for key, value in (("ready", ready), ("ready", ready2), ("warmed", warmed),
                                   ("at once", at_once), ("after warm-up", after),
                                   ("later", later), ("later", later2), ("batch", native)):
                    row[key].append(value)
                print("round %d %-8s interactive %.3f/%.3f s, warmed %.3f s; first run at once "
                      "%.3f s, after the warm-up %.3f s; later %.3f/%.3f s; batch %.3f s"
                      % (r + 1, scenario, ready, ready2, warmed, at_once, after, later, later2,
                         native), flush=True)
            loads.append(os.getloadavg()[0])
    finally:
        server.terminate()
        server.wait()
    version = subprocess.run(["/usr/bin/chromium", "--version"], capture_output=True,
                             text=True).stdout.strip()
    print("%s; %d rounds; load (1-minute average) %.1f to %.1f on %d processors%s"
          % (version, args.rounds, min(loads), max(loads), os.cpu_count(),
             "; main thread %g times slower" % args.slowdown if args.slowdown != 1 else ""))
    print("medians (times the batch runner's in brackets):")
    for scenario, row in rows.items():
        m = {k: statistics.median(v) for k, v in row.items()}
        print("  %-8s interactive %.3f s, warmed up %.3f s; batch runner %.3f s; first run "
              "clicked at once %.3f s (%.2f), after the warm-up %.3f s (%.2f); later runs %.3f s "
              "(%.2f)" % (scenario, m["ready"], m["warmed"], m["batch"], m["at once"],
                          m["at once"] / m["batch"], m["after warm-up"],
                          m["after warm-up"] / m["batch"], m["later"], m["later"] / m["batch"]))
    sizes = {name: os.path.getsize(os.path.join(args.site, name))
             for name in sorted(os.listdir(args.site))}
    print("site: " + ", ".join("%s %d bytes" % kv for kv in sizes.items()))


if __name__ == "__main__":
    main()
