"""Debian's Chromium, headless, driven by Selenium through Debian's
ChromeDriver: the one way both browser checks (guide-browser.py and
watch-browser.py) start it."""

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


def start_browser(profile, width, height, timeout=60, exact_metrics=False):
    """One headless Chromium with a private, empty profile and a window of
    width x height; exact_metrics also fixes the page's own viewport at that
    size (one CSS pixel a device pixel), as a narrow screen would have it."""
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--hide-scrollbars", "--user-data-dir=" + profile, "--window-size=%d,%d" % (width, height)):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(timeout)
    driver.set_script_timeout(timeout)
    if exact_metrics:
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
    return driver
