"""Screenshots of the meter's window under Xvfb as people run it today: at a
device pixel ratio of 2 (QT_SCALE_FACTOR), in a dark theme and with a
system font half as large again (both given to Qt by qt6ct, as a desktop
without Plasma gives them), measuring loopback traffic.

    /usr/bin/python3 scripts/theme_screenshot.py <bin dir> <output dir>

Writes main-scale2.png, tab-main-scale2.png, main-dark.png,
tab-main-dark.png and main-large-font.png."""
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import screenshot  # noqa: E402
import xsession  # noqa: E402

QT6CT = """[Appearance]
color_scheme_path=/usr/share/qt6ct/colors/{scheme}.conf
custom_palette={custom}
style=Fusion

[Fonts]
general="DejaVu Sans,{points},-1,5,400,0,0,0,0,0,0,0,0,0,0,1"
fixed="DejaVu Sans Mono,{points},-1,5,400,0,0,0,0,0,0,0,0,0,0,1"
"""


def run(bin_dir, out_dir, name, extra_env, qt6ct=None):
    """Starts the meter on the loopback with `extra_env`, shows the
    Reporting tab and then the Main tab, and keeps both pictures."""
    x = xsession.XSession(1400, 1100)
    env, home = xsession.private_environment(bin_dir, "yes")
    stop = threading.Event()
    try:
        if qt6ct is not None:
            folder = os.path.join(env["XDG_CONFIG_HOME"], "qt6ct")
            os.makedirs(folder)
            with open(os.path.join(folder, "qt6ct.conf"), "w") as f:
                f.write(QT6CT.format(**qt6ct))
            extra_env = dict(extra_env, QT_QPA_PLATFORMTHEME="qt6ct")
        full_env = dict(x.env(), **env, **extra_env)
        screenshot.write_loopback_settings(bin_dir, env, full_env)
        threading.Thread(target=screenshot.traffic, args=(stop,), daemon=True).start()
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=full_env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = x.wait(lambda: x.find_window(screenshot.CAPTION), 15, "the window")
        x.move(window, 20, 20)
        time.sleep(6)  # the splash has gone and the averages have filled
        left, top, width, _ = x.geometry(window)
        x.screenshot(os.path.join(out_dir, "main-%s.png" % name), window)
        # The Main tab, where the window's layout (scaled for the ratio or
        # the font) puts it.
        scale = width / 281
        x.xdotool("mousemove", str(left + int(30 * scale)), str(top + int(17 * scale)))
        x.xdotool("click", "1")
        time.sleep(0.8)
        x.screenshot(os.path.join(out_dir, "tab-main-%s.png" % name), window)
        proc.terminate()  # as "&End" does, without the question
        proc.wait(timeout=15)
    finally:
        stop.set()
        x.close()
        xsession.cleanup(home)


def main(bin_dir, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    run(bin_dir, out_dir, "scale2", {"QT_SCALE_FACTOR": "2"})
    run(bin_dir, out_dir, "dark", {}, {"scheme": "darker", "custom": "true", "points": 9})
    run(bin_dir, out_dir, "large-font", {},
        {"scheme": "airy", "custom": "false", "points": 13.5})
    os.remove(os.path.join(out_dir, "tab-main-large-font.png"))
    print("screenshots in", out_dir)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
