#!/usr/bin/python3
"""The web page in a real browser (Debian's chromium, driven by chromedriver through
python3-selenium), against the batch runner: a person's clicks and typing in the page must
end with the same box texts and the same display pixels as gravlag-batch.

    tests/web/web_page_test.py SITE_FOLDER GRAVLAG_BATCH

SITE_FOLDER is what scripts/web builds (build-web/site). The page is served by Python's
http.server on 127.0.0.1, the browser runs headless with a fresh profile; screenshots, the
profile and the batch runner's files go into one temporary folder, removed at the end
(GRAVLAG_WEB_KEEP=1 keeps it and prints where).
"""

import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

SITE = BATCH = None
BOXES = ["Tn_object", "Tmass(0)", "Tmass(1)", "Tmass(2)", "Dx1", "Dx2", "Tvxbase", "Tvybase",
         "Tmethode", "Titer", "Titer1", "Tdt", "Tc", "Tpredsel", "Tti1j0", "Tti2j0",
         "Tcolor", "TPred", "Ta", "Tb"]

# The drawing area of a window as RGB rows, read from its canvas.
READ_CANVAS = """
var c = document.querySelector('#' + arguments[0] + ' canvas');
var d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
var rgb = new Array(c.width * c.height * 3);
for (var i = 0, j = 0; i < d.length; i += 4) { rgb[j++] = d[i]; rgb[j++] = d[i + 1]; rgb[j++] = d[i + 2]; }
return [c.width, c.height, rgb.join(',')];
"""


class Page:
    """One browser on one served copy of the page."""

    def __init__(self, scratch):
        handler = functools.partial(QuietHandler, directory=SITE)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        options = Options()
        for arg in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                    "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync",
                    "--user-data-dir=" + os.path.join(scratch, "profile"),
                    "--window-size=1300,1400", "--force-device-scale-factor=1"]:
            options.add_argument(arg)
        options.binary_location = "/usr/bin/chromium"
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.set_script_timeout(120)
        self.url = "http://127.0.0.1:%d/index.html" % self.server.server_address[1]

    def open(self):
        self.driver.get(self.url)
        self.wait(lambda: self.driver.execute_script("return document.body.dataset.ready"),
                  "the page never became ready")

    def close(self):
        self.driver.quit()
        self.server.shutdown()
        self.server.server_close()

    def wait(self, condition, what, timeout=120):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            value = condition()
            if value:
                return value
            time.sleep(0.02)
        raise AssertionError(what)

    def element(self, name):
        return self.driver.find_element(By.ID, name)

    def box(self, name):
        return self.element(name).get_attribute("value")

    def boxes(self):
        return {name: self.box(name) for name in BOXES}

    def type(self, name, text):
        box = self.element(name)
        box.clear()
        box.send_keys(text)

    def run_number(self):
        return self.driver.execute_script("return gravlag._gravlag_web_run_number()")

    def calculate(self):
        """Clicks "Calculate" and waits for the run to end; gives its time in ms as the
        page measured it, from the click to "End" back on the button."""
        return self.driver.execute_async_script("""
            var done = arguments[arguments.length - 1], g = window.gravlag;
            var before = g._gravlag_web_run_number(), t0 = performance.now();
            document.getElementById('CommandCalc').click();
            (function poll() {
              if (g._gravlag_web_run_number() !== before && !g._gravlag_web_run_going()
                  && document.getElementById('CommandEnd').textContent === 'End')
                done(performance.now() - t0);
              else
                setTimeout(poll, 1);
            })();""")

    def canvas(self, window):
        width, height, rgb = self.driver.execute_script(READ_CANVAS, window)
        return width, height, bytes(int(v) for v in rgb.split(","))


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def batch(scratch, name, *args):
    """The batch runner's JSON report and pictures for these options."""
    sim, plot = os.path.join(scratch, name + "-sim.png"), os.path.join(scratch, name + "-plot.png")
    out = subprocess.run([BATCH, "--json", "--sim-png", sim, "--plot-png", plot, *args],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out), sim, plot


class WebPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="gravlag-web-")
        cls.page = Page(cls.scratch)

    @classmethod
    def tearDownClass(cls):
        cls.page.close()
        if os.environ.get("GRAVLAG_WEB_KEEP") == "1":
            print("kept", cls.scratch)
        else:
            shutil.rmtree(cls.scratch)

    def setUp(self):
        self.page.open()

    def assertSamePixels(self, window, png):
        width, height, rgb = self.page.canvas(window)
        expected = Image.open(png).convert("RGB")
        self.assertEqual((width, height), expected.size, window)
        self.assertTrue(rgb == expected.tobytes(), window + " differs from " + png)

    def assertSameRun(self, report, sim, plot, name):
        page = self.page
        self.assertEqual(page.boxes(), {k: report["boxes"][k] for k in BOXES}, name)
        self.assertSamePixels("Form2", sim)
        self.assertSamePixels("Form3", plot)
        page.driver.save_screenshot(os.path.join(self.scratch, name + ".png"))

    def test_default_runs_of_both_scenarios_equal_the_batch_runner(self):
        page = self.page
        report, sim, plot = batch(self.scratch, "two-black-holes")
        # After the page's warm-up, whose runs are on a program of their own: nothing of
        # them may reach the page's.
        page.wait(lambda: page.driver.execute_script("return document.body.dataset.warmed"),
                  "the warm-up never ended")
        page.calculate()
        self.assertSameRun(report, sim, plot, "two-black-holes")
        # A new page: a run draws over what the runs before it left on the time evolution
        # display, and the batch runner starts from a blank one. "Choice" switches the
        # scenario and loads its parameters, as on the desktop.
        page.open()
        page.element("Tmethode").click()
        page.wait(lambda: page.box("Tmethode") == "Mercury", "Choice did not switch")
        report, sim, plot = batch(self.scratch, "mercury", "--scenario", "Mercury")
        page.calculate()
        self.assertSameRun(report, sim, plot, "mercury")
        self.assertGreater(report["apsisCount"], 100)
        # At c 0 the delay view's pulls point where the sources stood when the pass pulled:
        # no angle (a pass's own step once showed as 0.19 degrees), and the view's own
        # rounding (body 1's was -6.4e-15 degrees here) not shown as one.
        page.wait(lambda: page.driver.execute_script(
            "return document.getElementById('dv-orbit').dataset.angles || ''") not in ("", "[]"),
            "the delay view shows no pulls")
        angles = json.loads(page.driver.execute_script(
            "return document.getElementById('dv-orbit').dataset.angles"))
        self.assertEqual(len(angles), 3)
        self.assertTrue(all(a == 0 for a in angles), angles)

    def test_typed_and_clicked_boxes_reach_the_run(self):
        page = self.page
        # Clicks on "c" (0 offers 50000) and "Prediction" (0 becomes 1). The first comes at
        # once, from the page's own script (the driver's clicks take long): it ends the
        # page's warm-up for good, unless that had ended before.
        page.driver.execute_script("""
            document.addEventListener('click', function () {
              window.firstClickAt = window.firstClickAt || performance.now(); }, true);
            document.getElementById('Tc').click();""")
        page.element("Tpredsel").click()
        page.wait(lambda: page.box("Tpredsel") == "1" and page.box("Tc") == "50000",
                  "clicks on c and Prediction not taken")
        warm_up = page.wait(lambda: page.driver.execute_script(
            "var d = document.body.dataset; return d.warmUp || d.warmed"), "the warm-up goes on")
        if warm_up != "stopped":
            self.assertLess(float(warm_up), page.driver.execute_script("return firstClickAt"))
        # Typing: a decimal comma, a body count the panel clamps.
        page.type("Tn_object", "5")
        page.wait(lambda: page.box("Tn_object") == "3", "n object not clamped to 3")
        page.type("Dx1", "7,5")
        page.type("Titer", "60000")
        report, sim, plot = batch(self.scratch, "typed", "--as-typed", "--r2", "7,5", "--iterations", "60000",
                                  "--c", "50000", "--prediction", "1", "--bodies", "5")
        page.calculate()
        self.assertSameRun(report, sim, plot, "typed")

    def test_a_page_starting_late_leaves_its_warm_up_to_idle_time(self):
        # Part of the warm-up runs before the page says it has started, but only up to a
        # time after the navigation's start, so that a slow machine still starts in time.
        # Here the page's clock runs 600 ms late, past that time: no warm-up step may run
        # before the start, and the whole warm-up still runs, in idle time.
        page = self.page
        late = page.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
            var realNow = performance.now.bind(performance);
            performance.now = function () { return realNow() + 600; };"""})
        try:
            page.open()
        finally:
            page.driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument",
                                        {"identifier": late["identifier"]})
        self.assertEqual(page.driver.execute_script(
            "return [performance.now() >= 600, document.body.dataset.warmUpAtStart]"),
            [True, "0"])
        page.wait(lambda: page.driver.execute_script("return document.body.dataset.warmed"),
                  "the warm-up never ended")

    def test_model_menu_reaches_the_run(self):
        page = self.page
        page.type("Tc", "300")
        page.type("Titer", "60000")
        Select(page.element("dv-law")).select_by_value("instantaneous")
        page.wait(lambda: page.element("dv-model-note").text == 'for the next "Calculate"',
                  "the model was not taken")
        options = ("--c", "300", "--iterations", "60000")
        report, sim, plot = batch(self.scratch, "instantaneous", *options,
                                  "--force-law", "instantaneous")
        retarded, _, _ = batch(self.scratch, "retarded", *options)
        self.assertNotEqual(report["x"], retarded["x"]) # the law shows in the result
        page.calculate()
        self.assertSameRun(report, sim, plot, "instantaneous")

    def test_stop_ends_a_long_run_and_the_page_stays_alive(self):
        page = self.page
        page.type("Titer", "2000000000")
        page.element("CommandCalc").click()
        page.wait(lambda: page.element("CommandEnd").text == "Stop", "no Stop during the run")
        first = int(page.box("Titer1"))
        page.wait(lambda: int(page.box("Titer1")) > first, "the progress box never moved")
        page.element("CommandEnd").click()
        page.wait(lambda: page.element("CommandEnd").text == "End", "Stop not taken", 20)
        stopped_at = int(page.box("Titer1"))
        self.assertLess(stopped_at, 2000000000)
        time.sleep(0.3)
        self.assertEqual(int(page.box("Titer1")), stopped_at) # it stays stopped
        # "End" when idle ends the program.
        page.element("CommandEnd").click()
        page.wait(lambda: page.driver.find_elements(By.ID, "gravlag-ended"), "End not taken")
        self.assertFalse(page.element("Form1").is_displayed())

    def test_delay_view_records_the_engine_passes(self):
        page = self.page
        page.type("Tc", "300")
        report, _, _ = batch(self.scratch, "delay", "--c", "300")
        page.calculate()
        frames = page.driver.execute_script("""
            var g = gravlag, n = g._gravlag_web_frame_count(), per = g._gravlag_web_frame_doubles();
            var at = g._gravlag_web_frames() / 8, last = at + (n - 1) * per;
            return [n, g.HEAPF64[at], g.HEAPF64[last], Array.from(g.HEAPF64.subarray(last + 2, last + 8))];""")
        count, first_k, last_k, last_xy = frames
        self.assertEqual((count, first_k, last_k), (3201, 0, 320000))
        self.assertEqual(last_xy, report["x"] + report["y"]) # the run's own doubles
        # Paused on a frame with ghosts and arrows, ten times the angle: a screenshot to look at.
        page.wait(lambda: page.element("dv-play").text == "Pause", "the view does not play")
        page.element("dv-play").click()
        for _ in range(3):
            page.element("dv-step").click()
        page.driver.execute_script("document.getElementById('dv-magnify').value = '10'")
        status = page.element("dv-status").text
        self.assertRegex(status, r"^frame \d+ of 3201$")
        time.sleep(0.1)
        self.assertEqual(page.element("dv-status").text, status) # paused stays put
        page.driver.save_screenshot(os.path.join(self.scratch, "delay-view.png"))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: web_page_test.py SITE_FOLDER GRAVLAG_BATCH [unittest options]")
    SITE, BATCH = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
