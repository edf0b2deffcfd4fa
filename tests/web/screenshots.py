#!/usr/bin/python3
"""Screenshots of the web page for a person to look at (not a test: it checks nothing).

    tests/web/screenshots.py SITE_FOLDER OUT_FOLDER

SITE_FOLDER is what scripts/web builds (build-web/site). Writes into OUT_FOLDER, each from a
fresh page in Debian's headless chromium: two-black-holes.png (the page after a default
"2 BH's" run), mercury.png (after "Choice" and a default "Mercury" run) and delay-view.png
(a "2 BH's" run at c 300, the delay view paused on a frame with its ghosts and arrows, the
angles drawn ten times larger).
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_page_test  # noqa: E402  (the same browser and page driver as the tests)


def shoot(out, name, prepare):
    scratch = os.path.join(out, ".profile-" + name)
    page = web_page_test.Page(scratch)
    try:
        page.driver.set_window_size(1300, 1900)
        page.open()
        prepare(page)
        path = os.path.join(out, name + ".png")
        page.driver.save_screenshot(path)
        print(path)
    finally:
        page.close()
        shutil.rmtree(scratch, ignore_errors=True)


def two_black_holes(page):
    page.calculate()
    time.sleep(1.5)  # the delay view plays a while


def mercury(page):
    page.element("Tmethode").click()
    page.wait(lambda: page.box("Tmethode") == "Mercury", "Choice did not switch")
    page.calculate()
    time.sleep(1.5)


def delay_view(page):
    page.type("Tc", "300")
    page.calculate()
    page.wait(lambda: page.element("dv-play").text == "Pause", "the view does not play")
    time.sleep(2)  # some way into the orbit, with a trail
    page.element("dv-play").click()
    page.driver.execute_script("document.getElementById('dv-magnify').value = '10'")
    time.sleep(0.2)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: screenshots.py SITE_FOLDER OUT_FOLDER")
    web_page_test.SITE = os.path.abspath(sys.argv[1])
    out = os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    shoot(out, "two-black-holes", two_black_holes)
    shoot(out, "mercury", mercury)
    shoot(out, "delay-view", delay_view)


if __name__ == "__main__":
    main()
