"""The HTML report in a real browser: Debian's chromium, headless. The
figures the page shows agree with the CSV of the same report, the page
loads nothing and logs no error, a hostile profile name stays text, and the
dark and print styles apply. Also the command line's usage errors.

    python3 report_browser_test.py <bin dir>

Exits 77 (skipped) when chromium is not installed."""
import csv
import io
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headless_chromium  # noqa: E402

SKIP = 77
NAME = 'Tom\'s <b onclick="x()">&amp; "report"'
UNITS = {"B": 1, "kB": 1e3, "MB": 1e6, "GB": 1e9, "TB": 1e12}


def figure(text):
    """"≈ 12.34 MB" -> (12.34e6, 0.005e6); speeds in bytes per second."""
    text = text.replace("\u2248", "").replace("\u202f", "").strip()
    m = re.fullmatch(r"([\d.]+) (B|kB|MB|GB|TB)", text)
    if m:
        scale = UNITS[m.group(2)]
        return float(m.group(1)) * scale, 0.005 * scale + 0.5
    m = re.fullmatch(r"([\d.]+) (k|M|G)bit/s", text)
    assert m, "not a figure: %r" % text
    scale = 1000 ** " kMG".index(m.group(2)) / 8
    return float(m.group(1)) * scale, 0.005 * scale + 0.5


def minutes(text):
    m = re.fullmatch(r"(?:(\d+) d )?(?:(\d+) h )?(?:(\d+) min)?(?: ?(\d+) h)?", text.strip())
    assert m, text
    d, h, mi, h2 = (int(g) if g else 0 for g in m.groups())
    return d * 1440 + (h + h2) * 60 + mi


def run(bin_dir, env, *args):
    return subprocess.run([os.path.join(bin_dir, "velmar"), *args], env=env, capture_output=True,
                          text=True, timeout=60)


def check_usage_errors(bin_dir, env):
    for args, words in [
        (["--report"], "needs a PROFILE"),
        (["--report", "--from", "2026-12-01"], "--from and --to go together"),
        (["--report", "--from", "2026-12-31", "--to", "2026-12-01"], "before it starts"),
        (["--report", "--from", "1.12.2026", "--to", "2026-12-31"], "--from needs a date"),
        (["--report", "--period", "today", "--group", "fortnight"], "--group is one of"),
        (["--report", "--period", "today", "--format", "pdf"], "--format: 'pdf' is not one of"),
        (["--report", "--period", "today", "--quota", "lots"], "is not a size"),
        (["--report", "--period", "today", "--bogus"], "unknown option '--bogus'"),
        (["--report", "a/b"], "path separator"),
        (["--report", "nobody"], "there is no report profile \"nobody\""),
        (["--report", "x", "y"], "one PROFILE at most"),
    ]:
        out = run(bin_dir, env, *args)
        assert out.returncode == 2, (args, out.returncode, out.stderr)
        assert out.stdout == "", (args, out.stdout)
        lines = out.stderr.splitlines()
        assert len(lines) == 1 and lines[0].startswith("velmar: ") and words in lines[0], \
            (args, out.stderr)


def main(bin_dir):
    home = tempfile.mkdtemp(prefix="velmar-report-")
    env = dict(os.environ, VELMAR_APP_DIR=home, VELMAR_REGISTRY=os.path.join(home, "registry.db"),
               TZ="Europe/Berlin")
    check_usage_errors(bin_dir, env)
    fixture = subprocess.run([os.path.join(bin_dir, "report_fixture"), env["VELMAR_REGISTRY"],
                              os.path.join(home, "Profiles"), NAME], env=env)
    assert fixture.returncode == 0

    out = run(bin_dir, env, "--report", NAME, "--format", "csv")
    assert out.returncode == 0, out.stderr
    rows = list(csv.DictReader(io.StringIO(out.stdout)))
    assert len(rows) == 7, out.stdout
    page = os.path.join(home, "page.html")
    out = run(bin_dir, env, "--report", NAME, "--format", "html", "--output", page)
    assert out.returncode == 0 and out.stdout == "", out

    # A profile file edited into nonsense: an error, not a usage error, and
    # no output file.
    with open(os.path.join(home, "Profiles", NAME, "profile.json"), "rb") as f:
        good = f.read()
    with open(os.path.join(home, "Profiles", NAME, "profile.json"), "w") as f:
        f.write('{"format": "velmar-report-profile", "version": 1, "period": 7}')
    out = run(bin_dir, env, "--report", NAME, "--output", os.path.join(home, "none.csv"))
    assert out.returncode == 1 and "\"period\" must be an object" in out.stderr, out
    assert not os.path.exists(os.path.join(home, "none.csv"))
    with open(os.path.join(home, "Profiles", NAME, "profile.json"), "wb") as f:
        f.write(good)

    if not headless_chromium.find():
        print("SKIP: chromium is not installed (Debian package chromium, see scripts/setup-deps)")
        return SKIP

    with headless_chromium.HeadlessChromium() as browser:
        browser.open("file://" + page)
        assert browser.evaluate("document.title") == "Velmar usage report: " + NAME
        assert browser.evaluate("document.querySelector('h1').children.length") == 0
        assert browser.evaluate("document.querySelectorAll('script, b, img, link').length") == 0

        heads = browser.evaluate(
            "[...document.querySelectorAll('#groups thead th')].map(th => th.innerText)")
        shown = browser.evaluate(
            "[...document.querySelectorAll('#groups tbody tr')]"
            ".map(tr => [...tr.cells].map(td => td.innerText))")
        foot = browser.evaluate(
            "[...document.querySelectorAll('#groups tfoot td')].map(td => td.innerText)")
        assert heads == ["Day", "Records", "Down", "Up", "Total", "Avg down", "Avg up", "Peak down",
                         "Peak up", "Measured", "Alarms"], heads
        assert len(shown) == len(rows), (shown, rows)
        columns = {"Down": "down_bytes", "Up": "up_bytes", "Total": "total_bytes",
                   "Avg down": "avg_down_bytes_per_s", "Avg up": "avg_up_bytes_per_s",
                   "Peak down": "peak_down_bytes_per_s", "Peak up": "peak_up_bytes_per_s"}
        for cells, row in zip(shown, rows):
            cell = dict(zip(heads, cells))
            day = re.match(r"\w+ (\d+) \w+ (\d+)", cell["Day"])
            assert day and int(row["start"][8:10]) == int(day.group(1)), (cell, row)
            assert int(cell["Records"]) == int(row["records"]), (cell, row)
            assert int(cell["Alarms"]) == int(row["alarm_events"]), (cell, row)
            for head, key in columns.items():
                value, tolerance = figure(cell[head])
                assert abs(value - int(row[key])) <= tolerance, (head, cell[head], row[key])
            assert abs(minutes(cell["Measured"]) * 60 - int(row["active_seconds"])) <= 30, cell
            assert cell["Down"].startswith("\u2248") == (int(row["estimated_records"]) > 0), cell
        total = dict(zip(heads, foot))
        for head in ("Down", "Up", "Total"):
            value, tolerance = figure(total[head])
            assert abs(value - sum(int(r[columns[head]]) for r in rows)) <= tolerance, total
        cards = dict(browser.evaluate(
            "[...document.querySelectorAll('.card')]"
            ".map(c => [c.id, c.querySelector('.figure').innerText])"))
        assert figure(cards["total-down"]) == figure(total["Down"]), (cards, total)
        assert cards["alarm-count"] == "2", cards
        assert browser.evaluate("document.querySelectorAll('#alarms tbody tr').length") == 2
        assert browser.evaluate("document.querySelectorAll('svg.chart rect.down').length") >= 3
        # The quota month starts on the 1st: the groups of this month.
        month = browser.evaluate("new Date().toISOString().slice(0, 7)")
        used, tolerance = figure(browser.evaluate(
            "document.getElementById('quota-used').innerText"))
        expected = sum(int(r["total_bytes"]) for r in rows if r["start"].startswith(month))
        assert abs(used - expected) <= tolerance, (used, expected)

        # A dark browser theme and the printed page.
        light = browser.evaluate("getComputedStyle(document.body).backgroundColor")
        browser.media(dark=True)
        dark = browser.evaluate("getComputedStyle(document.body).backgroundColor")
        browser.media(media="print", dark=True)
        printed = browser.evaluate("getComputedStyle(document.body).backgroundColor")
        bright = lambda rgb: sum(int(v) for v in re.findall(r"\d+", rgb)[:3])
        assert bright(light) > 600 and bright(dark) < 150 and printed == "rgb(255, 255, 255)", \
            (light, dark, printed)
        assert browser.pdf().startswith(b"%PDF")

        assert browser.problems() == [], browser.problems()
        outside = [u for u in browser.requests() if not u.startswith(("file:", "data:"))]
        assert outside == [], outside
    print("report browser test: %d groups checked against the CSV" % len(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
