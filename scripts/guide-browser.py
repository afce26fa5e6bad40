#!/usr/bin/python3
"""Opens the pilot's guide in headless Chromium, as a reader's browser shows
it 800 pixels wide, and checks what a reader would see: every picture loaded
with a size above zero, no element reaching past the window's right edge (or
its left), the page's title and the headings of its sections. Keeps a
picture of the whole page.

    scripts/guide-browser.py [--no-pictures] PAGE.html SCREENSHOT.png TITLE HEADING...

--no-pictures: a page that holds none (the flight-file reference); any
picture there is then a fault.

Prints "  ok    ..." or "  FAIL  ..." per check (package-test.sh counts
them); exit 1 when a check failed, 2 when the browser could not be driven.

Chromium is driven through Selenium and ChromeDriver (Debian's
python3-selenium and chromium-driver, which scripts/install-deps.sh package
installs), so this runs with Debian's own Python, /usr/bin/python3.
ChromeDriver listens on the loopback interface only, for this script.
"""
import base64
import pathlib
import shutil
import struct
import sys
import tempfile

from selenium.common.exceptions import WebDriverException

from headless_chromium import start_browser

WIDTH = 800
HEIGHT = 600
TIMEOUT = 60


# Runs in the page once it has loaded; hands what the checks need to
# Selenium's callback, the script's last argument.
MEASURE = r"""
const done = arguments[arguments.length - 1];
(async () => {
  const images = [...document.images];
  await Promise.all(images.map(i => i.decode().catch(() => null)));
  const name = e => e.tagName.toLowerCase() + (e.id ? '#' + e.id : '') +
    (e.className && typeof e.className === 'string' ? '.' + e.className.split(' ').join('.') : '');
  const pictures = images.map(i => {
    const box = i.getBoundingClientRect();
    return {what: 'img "' + (i.alt || '').slice(0, 50) + '"', complete: i.complete,
            natural: [i.naturalWidth, i.naturalHeight], shown: [box.width, box.height]};
  });
  // Pictures written into the page itself: the outermost svg elements.
  for (const s of document.querySelectorAll('svg')) {
    if (s.parentElement.closest('svg')) continue;
    const box = s.getBoundingClientRect();
    pictures.push({what: 'svg', complete: true, natural: [box.width, box.height], shown: [box.width, box.height]});
  }
  const words = e => e ? e.textContent.replace(/\s+/g, ' ').trim() : '';
  const width = document.documentElement.clientWidth;
  const wide = [];
  for (const e of document.querySelectorAll('body, body *')) {
    const box = e.getBoundingClientRect();
    if (box.width === 0 && box.height === 0) continue;
    if (box.right > width + 0.5 || box.left < -0.5) {
      wide.push(name(e) + ' from ' + Math.round(box.left) + ' to ' + Math.round(box.right) + ' px: "' +
                (e.textContent || '').trim().slice(0, 40) + '"');
    }
  }
  return {
    width: width,
    innerWidth: window.innerWidth,
    scrollWidth: document.documentElement.scrollWidth,
    height: document.documentElement.scrollHeight,
    title: words(document.querySelector('h1.title')),
    headings: [...document.querySelectorAll('h1:not(.title), h2, h3')].map(words),
    pictures: pictures,
    wide: wide,
  };
})().then(done, problem => done({problem: String(problem)}));
"""


def main():
    arguments = sys.argv[1:]
    with_pictures = arguments[:1] != ["--no-pictures"]
    if not with_pictures:
        arguments = arguments[1:]
    if len(arguments) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    guide = pathlib.Path(arguments[0]).resolve()
    screenshot = pathlib.Path(arguments[1])
    title = arguments[2]
    headings = arguments[3:]
    if not guide.is_file():
        print("  FAIL  %s: no such file to open in Chromium" % guide)
        return 2

    failed = 0

    def check(good, text):
        nonlocal failed
        print(("  ok    " if good else "  FAIL  ") + text)
        failed += 0 if good else 1

    profile = tempfile.mkdtemp(prefix="guide-browser-")
    driver = None
    try:
        driver = start_browser(profile, WIDTH, HEIGHT, TIMEOUT)
        # The viewport itself 800 pixels wide, whatever the window's frame
        # takes: the page is laid out as on a screen that wide.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
        driver.get(guide.as_uri())  # returns once the page has loaded
        page = driver.execute_async_script(MEASURE)
        if not isinstance(page, dict) or "problem" in page:
            raise RuntimeError("the measuring script failed: %s" % (page or {}).get("problem", page))
        shot = driver.execute_cdp_cmd("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": WIDTH, "height": page["height"], "scale": 1}})
        screenshot.write_bytes(base64.b64decode(shot["data"]))
    except (WebDriverException, RuntimeError, OSError, KeyError, ValueError) as problem:
        print("  FAIL  %s in Chromium: %s" % (guide.name, str(problem).strip().splitlines()[0]))
        return 2
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)

    check(page["width"] == WIDTH and page["innerWidth"] == WIDTH,
          "Chromium shows the page %d px wide (window %d px)" % (page["width"], page["innerWidth"]))
    pictures = page["pictures"]
    if with_pictures:
        bad = [p for p in pictures
               if not p["complete"] or min(p["natural"]) <= 0 or min(p["shown"]) <= 0]
        check(pictures and not bad,
              "%d pictures loaded, each with a size above zero (%s)" % (
                  len(pictures), ", ".join("%dx%d" % tuple(round(v) for v in p["shown"]) for p in pictures))
              if not bad and pictures else
              "pictures not loaded or of no size: %s" % (bad or "the page has none"))
    else:
        check(not pictures, "the page holds no pictures" if not pictures else
              "the page should hold no pictures, but has: %s" % pictures)
    check(not page["wide"] and page["scrollWidth"] <= WIDTH,
          "no element reaches past the %d px window (the page is %d px wide)" % (WIDTH, page["scrollWidth"])
          if not page["wide"] else
          "%d elements reach past the %d px window: %s" % (len(page["wide"]), WIDTH, "; ".join(page["wide"][:5])))
    check(page["title"] == title, "the page's title is \"%s\"%s" % (
        title, "" if page["title"] == title else ", not \"%s\"" % page["title"]))
    missing = [h for h in headings if h not in page["headings"]]
    check(not missing, "the page has the %d headings of its sections" % len(headings) if not missing else
          "headings missing from the page: %s (it has: %s)" % (missing, page["headings"]))
    # A PNG file's size stands in its header, the IHDR chunk right after the
    # 8-byte signature.
    png = screenshot.read_bytes()
    size = struct.unpack(">II", png[16:24]) if png[:8] == b"\x89PNG\r\n\x1a\n" and len(png) >= 24 else None
    check(size == (WIDTH, page["height"]), "a picture of the whole page (%d x %d px) kept in %s" % (
        WIDTH, page["height"], screenshot) if size == (WIDTH, page["height"]) else
          "the picture of the page in %s is %s, not a PNG of %d x %d px" % (
              screenshot, "%d x %d px" % size if size else "no PNG", WIDTH, page["height"]))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
