"""The running meter's CPU share (percent of one core, from the scheduler's
run time of its threads) and resident memory, measuring the loopback-free
"All" selection with the window shown and then hidden in the tray, under
Xvfb with a tray.

    /usr/bin/python3 bench/cpu_memory.py build-release/bin [seconds]"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import xsession  # noqa: E402
from headless_cpu_memory import cpu_seconds  # noqa: E402  (every thread's run time)

CAPTION = "Velmar 2000 Bandwidth Meter"


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0


def measure(pid, seconds):
    c0, t0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100 * (cpu_seconds(pid) - c0) / (time.monotonic() - t0), rss_mb(pid)


def main(bin_dir, seconds):
    x = xsession.XSession()
    env, home = xsession.private_environment(bin_dir, "yes")
    try:
        os.makedirs(env["VELMAR_APP_DIR"])
        lines = ["Velmar 2000 settings, please don't change this file! ", "0", "1", "http://"]
        lines += ["0"] * 4 + ["", ""] + ["0"] * 27 + ["1"] * 3 + ["Velmar reserved line"] + ["1"] * 3
        lines[11] = "1"  # start measuring at once
        with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = x.wait(lambda: x.find_window(CAPTION), 15, "the window")
        time.sleep(3)
        shown = measure(proc.pid, seconds)
        x.close_box(window)
        time.sleep(1)
        hidden = measure(proc.pid, seconds)
        print("window shown:  CPU %.3f %% of one core, RSS %.1f MB" % shown)
        print("window hidden: CPU %.3f %% of one core, RSS %.1f MB" % hidden)
        x.tray_menu_key("e")
        proc.wait(timeout=15)
    finally:
        x.close()
        xsession.cleanup(home)


if __name__ == "__main__":
    main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 60)
