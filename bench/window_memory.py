"""The meter's window against the least Qt window of its shape (a tab widget
and a tray icon, bench/minimal_window.cpp), both on the same Xvfb display
with a tray, one after the other: resident memory (VmRSS), PSS and the
mappings of shared libraries, and the ratio of the two RSS figures (the
target: at most 1.1). The meter measures this computer (no device), with
its own settings and key store.

    /usr/bin/python3 bench/window_memory.py build-release/bin [rounds]"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import xsession  # noqa: E402
from headless_cpu_memory import memory_mb  # noqa: E402

SETTLE_SECONDS = 5  # start-up's passing allocations given back, caches warm


def libraries(pid):
    with open("/proc/%d/maps" % pid) as f:
        return {line.split()[-1] for line in f if ".so" in line.split()[-1]}


def measure(x, args, env, caption):
    proc = subprocess.Popen(args, env=dict(x.env(), **env), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        x.shown(caption, 20)
        time.sleep(SETTLE_SECONDS)
        return dict(memory_mb(proc.pid), libraries=libraries(proc.pid))
    finally:
        proc.terminate()
        proc.wait(timeout=15)


def order_coverage(bin_dir):
    """How many of the start-up order file's functions the window still
    defines: renamed ones lose their place, and the start's code spreads
    out again (scripts/startup_order.py writes the file anew)."""
    path = os.path.join(os.path.dirname(__file__), "..", "src", "app", "velmar.order")
    with open(path) as f:
        listed = {line.strip() for line in f if line.strip()}
    symbols = subprocess.run(["nm", "--defined-only", os.path.join(bin_dir, "velmar")],
                             capture_output=True, text=True, check=True).stdout
    defined = {line.split()[-1] for line in symbols.splitlines()}
    return len(listed & defined), len(listed)


def main(bin_dir, rounds):
    x = xsession.XSession()
    results = {"meter": [], "minimal": []}
    try:
        for _ in range(rounds):
            env, home = xsession.private_environment(bin_dir, "yes")
            os.makedirs(env["VELMAR_APP_DIR"])
            try:
                results["meter"].append(measure(x, [os.path.join(bin_dir, "velmar")], env,
                                                "Velmar 2000 Bandwidth Meter"))
            finally:
                xsession.cleanup(home)
            results["minimal"].append(measure(x, [os.path.join(bin_dir, "minimal_window")], {},
                                              "Minimal Qt window"))
    finally:
        x.close()
    figures = {}
    for name, rows in results.items():
        figures[name] = {k: statistics.median(r[k] for r in rows) for k in ("rss", "pss",
                                                                           "private")}
        print("%s: RSS %.1f MB, PSS %.1f MB, private %.1f MB, %d shared libraries "
              "(medians of %d)" % ("window" if name == "meter" else "minimal Qt window",
                                   figures[name]["rss"], figures[name]["pss"],
                                   figures[name]["private"], len(rows[-1]["libraries"]), rounds))
    extra = sorted(os.path.basename(p) for p in
                   results["meter"][-1]["libraries"] - results["minimal"][-1]["libraries"])
    print("libraries only the window maps: %s" % (", ".join(extra) or "none"))
    print("start-up order: %d of %d listed functions found in the window" % order_coverage(bin_dir))
    print("window / minimal Qt window: RSS %.2f x (target 1.1), PSS %.2f x"
          % (figures["meter"]["rss"] / figures["minimal"]["rss"],
             figures["meter"]["pss"] / figures["minimal"]["pss"]))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 3)
