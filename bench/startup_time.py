"""Start-up time of the meter's window: from exec to the first shown main
window, under Xvfb with a tray, median of several fresh starts (each with
its own settings and key store, so every start is a first start).

    /usr/bin/python3 bench/startup_time.py build-release/bin [runs]"""
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import xsession  # noqa: E402

CAPTION = "Velmar 2000 Bandwidth Meter"


def main(bin_dir, runs):
    x = xsession.XSession()
    times = []
    try:
        for _ in range(runs):
            env, home = xsession.private_environment(bin_dir, "yes")
            os.makedirs(env["VELMAR_APP_DIR"])
            begin = time.monotonic()
            proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            window = None
            while time.monotonic() - begin < 20:
                window = window or x.find_window(CAPTION)
                if window is not None and x.is_viewable(window):
                    break
                time.sleep(0.002)
            times.append((time.monotonic() - begin) * 1000)
            proc.terminate()
            proc.wait(timeout=10)
            xsession.cleanup(home)
    finally:
        x.close()
    print("start-up to first shown window: median %.0f ms, min %.0f ms, max %.0f ms (%d runs)"
          % (statistics.median(times), min(times), max(times), len(times)))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 10)
