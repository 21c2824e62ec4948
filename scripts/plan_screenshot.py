"""Screenshots of the data plan under Xvfb with a real tray: the window
with the plan in its status bar and the tray icon's tip, while loopback
traffic fills a plan of 1 GB counted on the loopback.

    /usr/bin/python3 scripts/plan_screenshot.py <bin dir> <output dir>"""
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import screenshot  # noqa: E402
import xsession  # noqa: E402


def main(bin_dir, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    x = xsession.XSession(800, 600)
    env, home = xsession.private_environment(bin_dir, "yes")
    env["VELMAR_HISTORY_PERIOD_MS"] = "1000"  # a record, and the plan, every second
    stop = threading.Event()
    sender = threading.Thread(target=screenshot.traffic, args=(stop, 60_000_000), daemon=True)
    try:
        full_env = dict(x.env(), **env)
        screenshot.write_loopback_settings(bin_dir, env, full_env)
        path = os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini")
        with open(path, encoding="latin-1", newline="") as f:
            lines = f.read().split("\r\n")[:-1]
        lines += [""] * (62 - len(lines))
        lines[56:61] = ["1 GB", "monthly 1", "down", "lo", "90,100"]
        with open(path, "w", encoding="latin-1", newline="") as f:
            f.write("\r\n".join(lines) + "\r\n")
        sender.start()
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=full_env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = x.wait(lambda: x.find_window(screenshot.CAPTION), 15, "the window")
        x.move(window, 20, 20)
        time.sleep(9)  # the splash has gone and the plan has filled
        stop.set()
        time.sleep(1.5)
        x.screenshot(os.path.join(out_dir, "plan-window.png"), window)
        x.xdotool("mousemove", str(x.width - 12), str(x.height - 12))
        time.sleep(2.5)  # the tray icon's tip shows
        subprocess.run(["import", "-window", "root", "-crop",
                        "420x140+%d+%d" % (x.width - 420, x.height - 140),
                        os.path.join(out_dir, "plan-tray-tip.png")], env=x.env(), check=True)
        x.tray_menu_key("e")
        proc.wait(timeout=15)
        print("screenshots in", out_dir)
    finally:
        stop.set()
        x.close()
        xsession.cleanup(home)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
