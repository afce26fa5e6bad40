#!/usr/bin/env python3
"""Opens the pilot's guide in headless Chromium, as a reader's browser shows
it 800 pixels wide, and checks what a reader would see: every picture loaded
with a size above zero, no element reaching past the window's right edge (or
its left), the page's title and the headings of its sections. Keeps a
picture of the whole page.

    scripts/guide-browser.py GUIDE.html SCREENSHOT.png TITLE HEADING...

Prints "  ok    ..." or "  FAIL  ..." per check (package-test.sh counts
them); exit 1 when a check failed, 2 when the browser could not be driven.

Chromium is driven through its DevTools protocol on a pipe
(--remote-debugging-pipe: JSON messages ended by a NUL byte, commands on
file descriptor 3, answers on 4), so nothing beyond Python's own library is
needed, and nothing listens on the network.
"""
import base64
import json
import os
import pathlib
import select
import shutil
import subprocess
import sys
import tempfile
import time

WIDTH = 800
HEIGHT = 600
TIMEOUT = 60.0

# Runs in the page once it has loaded: what the checks need, as JSON.
MEASURE = r"""
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
  return JSON.stringify({
    width: width,
    innerWidth: window.innerWidth,
    scrollWidth: document.documentElement.scrollWidth,
    height: document.documentElement.scrollHeight,
    title: words(document.querySelector('h1.title')),
    headings: [...document.querySelectorAll('h1:not(.title), h2, h3')].map(words),
    pictures: pictures,
    wide: wide,
  });
})()
"""


class Browser:
    """One headless Chromium with a private profile, driven over a pipe."""

    def __init__(self, profile):
        chromium = shutil.which("chromium") or "/usr/bin/chromium"
        commands_read, self.commands = os.pipe()
        self.answers, answers_write = os.pipe()

        def on_pipe_fds():
            # Through fresh copies: a pipe may already be 3 or 4 itself,
            # and dup2 onto itself would leave it closed at exec.
            commands_copy, answers_copy = os.dup(commands_read), os.dup(answers_write)
            os.dup2(commands_copy, 3)
            os.dup2(answers_copy, 4)

        self.process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--hide-scrollbars", "--user-data-dir=" + profile, "--remote-debugging-pipe",
             "--window-size=%d,%d" % (WIDTH, HEIGHT), "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=on_pipe_fds, close_fds=False)
        os.close(commands_read)
        os.close(answers_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def _message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.answers], [], [], left)[0]:
                raise RuntimeError("Chromium did not answer within %d s" % TIMEOUT)
            chunk = os.read(self.answers, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed its end of the pipe (exit code %s)" % self.process.poll())
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, **params):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params}
        if session:
            command["sessionId"] = session
        os.write(self.commands, json.dumps(command).encode() + b"\0")
        deadline = time.monotonic() + TIMEOUT
        while True:
            message = self._message(deadline)
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"].get("message")))
                return message.get("result", {})
            self.events.append(message)

    def wait_for(self, method):
        deadline = time.monotonic() + TIMEOUT
        while True:
            for event in self.events:
                if event.get("method") == method:
                    self.events.remove(event)
                    return event
            self.events.append(self._message(deadline))

    def close(self):
        try:
            self.call("Browser.close")
        except (RuntimeError, OSError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    guide = pathlib.Path(sys.argv[1]).resolve()
    screenshot = pathlib.Path(sys.argv[2])
    title = sys.argv[3]
    headings = sys.argv[4:]

    failed = 0

    def check(good, text):
        nonlocal failed
        print(("  ok    " if good else "  FAIL  ") + text)
        failed += 0 if good else 1

    profile = tempfile.mkdtemp(prefix="guide-browser-")
    browser = Browser(profile)
    try:
        target = browser.call("Target.createTarget", url="about:blank")["targetId"]
        session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        browser.call("Emulation.setDeviceMetricsOverride", session, width=WIDTH, height=HEIGHT,
                     deviceScaleFactor=1, mobile=False)
        browser.call("Page.enable", session)
        browser.call("Page.navigate", session, url=guide.as_uri())
        browser.wait_for("Page.loadEventFired")
        result = browser.call("Runtime.evaluate", session, expression=MEASURE, awaitPromise=True,
                              returnByValue=True)
        if "exceptionDetails" in result:
            raise RuntimeError("the measuring script failed: %s" % result["exceptionDetails"].get("text"))
        page = json.loads(result["result"]["value"])
        shot = browser.call("Page.captureScreenshot", session, format="png", captureBeyondViewport=True,
                            clip={"x": 0, "y": 0, "width": WIDTH, "height": page["height"], "scale": 1})
        screenshot.write_bytes(base64.b64decode(shot["data"]))
    except (RuntimeError, OSError, KeyError, ValueError) as problem:
        print("  FAIL  the guide in Chromium: %s" % problem)
        return 2
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)

    check(page["width"] == WIDTH and page["innerWidth"] == WIDTH,
          "Chromium shows the guide %d px wide (window %d px)" % (page["width"], page["innerWidth"]))
    pictures = page["pictures"]
    bad = [p for p in pictures
           if not p["complete"] or min(p["natural"]) <= 0 or min(p["shown"]) <= 0]
    check(pictures and not bad,
          "%d pictures loaded, each with a size above zero (%s)" % (
              len(pictures), ", ".join("%dx%d" % tuple(round(v) for v in p["shown"]) for p in pictures))
          if not bad and pictures else
          "pictures not loaded or of no size: %s" % (bad or "the page has none"))
    check(not page["wide"] and page["scrollWidth"] <= WIDTH,
          "no element reaches past the %d px window (the page is %d px wide)" % (WIDTH, page["scrollWidth"])
          if not page["wide"] else
          "%d elements reach past the %d px window: %s" % (len(page["wide"]), WIDTH, "; ".join(page["wide"][:5])))
    check(page["title"] == title, "the page's title is \"%s\"%s" % (
        title, "" if page["title"] == title else ", not \"%s\"" % page["title"]))
    missing = [h for h in headings if h not in page["headings"]]
    check(not missing, "the page has the %d headings of its sections" % len(headings) if not missing else
          "headings missing from the page: %s (it has: %s)" % (missing, page["headings"]))
    check(screenshot.stat().st_size > 0, "a picture of the whole page (%d x %d px) kept in %s" % (
        WIDTH, page["height"], screenshot))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
