"""Takes the README's picture of a report: the page in headless chromium,
1100 pixels wide, the whole page or its first HEIGHT pixels.

    /usr/bin/python3 scripts/report_screenshot.py <report.html> <out.png> [HEIGHT]"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import headless_chromium  # noqa: E402

if __name__ == "__main__":
    page, png = os.path.abspath(sys.argv[1]), sys.argv[2]
    with headless_chromium.HeadlessChromium() as browser:
        browser.open("file://" + page)
        browser.screenshot(png, height=int(sys.argv[3]) if len(sys.argv) > 3 else None)
        problems = browser.problems()
    if problems:
        sys.exit("the page logged: %s" % problems)
