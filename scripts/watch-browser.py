#!/usr/bin/python3
"""The watch page in headless Chromium while kestrel-host flies the example
ascent, paced, into a folder that kestrel-records watch follows: checks what
a pilot would see, and keeps a picture of the page.

    scripts/watch-browser.py BUILD-BIN WORK-FOLDER SCREENSHOT.png

BUILD-BIN holds kestrel-records, kestrel-host and the plug-in; WORK-FOLDER
is made empty. Checks, in order:
  - the page lists the data file once the module has begun it;
  - its point count grows as the flight goes on;
  - a range dragged across the chart while it follows stays in view while
    lines keep coming, and Follow is no longer pressed;
  - the cursor put at a known time in that range reads out the exact line the module
    wrote there, with its number (read back from the file on disk);
  - nothing on the page reaches past the 800-pixel-wide window.
Prints "  ok    ..." or "  FAIL  ..." per check; exit 1 when a check failed,
2 when the programs or the browser could not be driven.

Chromium is driven through Selenium and ChromeDriver (Debian's
python3-selenium and chromium-driver), as scripts/guide-browser.py does.
"""
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from selenium.common.exceptions import WebDriverException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

from headless_chromium import start_browser

WIDTH = 800
HEIGHT = 900
PACE = "6"  # simulated seconds a wall second: the 190 s ascent in about 32 s

REPO = pathlib.Path(__file__).resolve().parent.parent


def wait_for(what, seconds, step=0.1):
    """what() until it gives something true, for at most `seconds`."""
    end = time.monotonic() + seconds
    while True:
        value = what()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


def line_at(record, moment):
    """The number and text of the record's first line whose span holds `moment`."""
    pattern = re.compile(r"^(-?[0-9.]+)=pitch\([^,]+, [^,]+, ([0-9.]+)\)$")
    for number, text in enumerate(record.read_text().splitlines(), 1):
        found = pattern.match(text)
        if found and float(found[1]) <= moment <= float(found[1]) + float(found[2]):
            return number, text
    return None, None


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    bin_folder = pathlib.Path(sys.argv[1]).resolve()
    work = pathlib.Path(sys.argv[2]).resolve()
    screenshot = pathlib.Path(sys.argv[3])
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    data = work / "KestrelScribeData"  # not there yet: watch waits for it

    failed = 0

    def check(good, text):
        nonlocal failed
        print(("  ok    " if good else "  FAIL  ") + text, flush=True)
        failed += 0 if good else 1

    # In the flight's root with no FOLDER: the default, KestrelScribeData there.
    watch = subprocess.Popen([str(bin_folder / "kestrel-records"), "watch", "--port", "0"], cwd=str(work),
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    host = None
    driver = None
    profile = tempfile.mkdtemp(prefix="watch-browser-")
    try:
        first = watch.stdout.readline()
        url = re.search(r"http://127\.0\.0\.1:[0-9]+/", first)
        if not url:
            print("  FAIL  kestrel-records watch printed no URL: %r %s" % (first, watch.stderr.read()[:300]))
            return 2
        driver = start_browser(profile, WIDTH, HEIGHT, exact_metrics=True)
        driver.get(url[0])
        check("Waiting for the folder" in driver.find_element(By.ID, "folder").text,
              "the page says it waits for the folder before the flight")
        host = subprocess.Popen([str(bin_folder / "kestrel-host"), "run", str(REPO / "examples/ascent/flight.json"),
                                 "--root", str(work), "--pace", PACE],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def listed():
            labels = driver.find_elements(By.CSS_SELECTOR, "#file-list label")
            return labels[0].text if labels else None
        label = wait_for(listed, 20)
        check(bool(label) and "Kestrel 1" in driver.find_element(By.ID, "file-list").text,
              "the data file appears on the page once the module begins it: %s" % label)

        def samples():
            return int(driver.find_element(By.ID, "status").get_attribute("data-samples") or 0)
        before = wait_for(lambda: samples() or None, 10) or 0
        after = wait_for(lambda: samples() > before and samples(), 10) or before
        check(after > before > 0, "its point count grows as the module writes: %d, then %d samples" % (before, after))

        # A range dragged across the chart while following, once the module
        # has written 40 s.
        wait_for(lambda: driver.execute_script(
            "const f = kestrelWatch.state.files.find(f => f.vessel === 'Kestrel 1'); return f && f.last > 40"), 20)
        over = driver.find_element(By.CSS_SELECTOR, "#chart .u-over")
        box = over.size
        ActionChains(driver).move_to_element_with_offset(over, int(-box["width"] * 0.2), 0).click_and_hold() \
            .move_by_offset(int(box["width"] * 0.3), 0).release().perform()
        zoomed = wait_for(lambda: driver.execute_script(
            "return kestrelWatch.state.follow ? null : kestrelWatch.visible()"), 5)
        lines_then = driver.execute_script("return kestrelWatch.state.files[0].lines")
        wait_for(lambda: driver.execute_script("return kestrelWatch.state.files[0].lines") > lines_then + 3, 10)
        time.sleep(0.5)
        still = driver.execute_script("return kestrelWatch.visible()")
        pressed = driver.find_element(By.ID, "follow").get_attribute("aria-pressed")
        check(bool(zoomed) and still == zoomed and pressed == "false",
              "zoomed while following, the range %s stays in view as lines arrive (now %s), Follow off (%s)" % (
                  zoomed, still, pressed))

        # The cursor at a time inside the zoomed range, which the module has
        # written past (while following, the time under a still pointer moves on).
        records = list(data.glob("Kestrel 1_*.txt"))
        moment = round((zoomed["from"] + zoomed["to"]) / 2, 2) if zoomed else 20.0
        driver.execute_script("kestrelWatch.cursorAt(arguments[0])", moment)
        number, text = line_at(records[0], moment) if records else (None, None)
        shown = wait_for(lambda: driver.execute_script(
            "const p = document.querySelector('#readout p[data-line]');"
            "return p && p.textContent.includes(' line ' + arguments[0] + ': ') ? p.dataset.text : null", number), 5)
        check(number is not None and shown == text,
              "the cursor at %.2f s reads out line %s exactly: %r (the file: %r)" % (moment, number, shown, text))

        wide = driver.execute_script(
            "return [...document.querySelectorAll('body *')].filter(e => e.getBoundingClientRect().right > "
            "document.documentElement.clientWidth + 0.5).map(e => e.tagName + '#' + e.id).slice(0, 5)")
        check(not wide, "nothing reaches past the %d px window%s" % (WIDTH, "" if not wide else ": %s" % wide))
        screenshot.write_bytes(driver.get_screenshot_as_png())
        check(screenshot.stat().st_size > 1000, "a picture of the page kept in %s" % screenshot)
    except (WebDriverException, OSError, ValueError, IndexError) as problem:
        print("  FAIL  the watch page in Chromium: %s" % str(problem).strip().splitlines()[0])
        return 2
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
        if host is not None and host.poll() is None:
            host.send_signal(signal.SIGINT)
            host.wait(30)
        watch.send_signal(signal.SIGINT)
        try:
            out, _ = watch.communicate(timeout=20)
            check(watch.returncode == 0 and out.strip().count("\n") == 0 and "watch ended" in out,
                  "Ctrl-C ends kestrel-records watch with one line: %r (exit %s)" % (out.strip(), watch.returncode))
        except subprocess.TimeoutExpired:
            watch.kill()
            check(False, "kestrel-records watch did not end within 20 s of Ctrl-C")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
