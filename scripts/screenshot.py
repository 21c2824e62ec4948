"""Screenshots of the meter's window under Xvfb with a real tray: every tab,
the tray menu and the sizer layouts, with loopback traffic on the displays.

    /usr/bin/python3 scripts/screenshot.py <bin dir> <output dir>"""
import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import xsession  # noqa: E402

CAPTION = "Velmar 2000 Bandwidth Meter"
TABS = {"main": 30, "settings": 93, "reporting": 172, "exit": 237}


def traffic(stop, rate=1_500_000):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.setblocking(False)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    data = b"v" * 8000
    begin, sent = time.monotonic(), 0
    while not stop.is_set():
        while sent < rate * (time.monotonic() - begin):
            sender.sendto(data, receiver.getsockname())
            sent += len(data)
            try:
                while True:
                    receiver.recv(65536)
            except BlockingIOError:
                pass
        time.sleep(0.005)


def loopback_row(bin_dir, env):
    out = subprocess.run([os.path.join(bin_dir, "velmar"), "--list-adapters"], env=env,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        number, _, name = line.partition(": ")
        if name == "lo":
            return number
    return "0"


def write_loopback_settings(bin_dir, env, full_env):
    """A settings file that starts measuring the loopback at once."""
    os.makedirs(env["VELMAR_APP_DIR"])
    lines = ["Velmar 2000 settings, please don't change this file! ", "0", "1", "http://"]
    lines += ["0"] * 4 + ["", ""] + ["0"] * 27 + ["1"] * 3 + ["Velmar reserved line"] + ["1"] * 3
    lines[11] = "1"
    lines[13] = loopback_row(bin_dir, full_env)
    with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))


def main(bin_dir, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    x = xsession.XSession(800, 600)
    env, home = xsession.private_environment(bin_dir, "yes")
    stop = threading.Event()
    sender = threading.Thread(target=traffic, args=(stop,), daemon=True)
    try:
        full_env = dict(x.env(), **env)
        write_loopback_settings(bin_dir, env, full_env)
        sender.start()
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=full_env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = x.wait(lambda: x.find_window(CAPTION), 15, "the window")
        x.move(window, 20, 20)
        time.sleep(6)  # the splash has gone and the averages have filled

        def click(dx, dy, button="1"):
            left, top, _, _ = x.geometry(window)
            x.xdotool("mousemove", str(left + dx), str(top + dy))
            x.xdotool("click", button)
            time.sleep(0.6)

        for name, dx in TABS.items():
            click(dx, 17)
            x.screenshot(os.path.join(out_dir, "tab-%s.png" % name), window)
        # NetStat, from the Reporting tab.
        click(TABS["reporting"], 17)
        click(246, 92)
        netstat = x.wait(lambda: x.find_window("NetStat"), 10, "the NetStat window")
        time.sleep(2.5)
        x.screenshot(os.path.join(out_dir, "netstat.png"), netstat)
        x.xdotool("key", "Escape")
        time.sleep(0.5)
        click(TABS["main"], 17)

        x.xdotool("mousemove", str(x.width - 12), str(x.height - 12))
        x.xdotool("click", "3")
        time.sleep(0.8)
        subprocess.run(["import", "-window", "root", "-crop", "260x230+%d+%d" % (x.width - 260, x.height - 230),
                        os.path.join(out_dir, "tray-menu.png")], env=x.env(), check=True)
        x.xdotool("key", "Escape")
        time.sleep(0.3)

        # Sizer: only the bottom, then only the top, then back by a tab change.
        click(226, 236 + 185)
        x.xdotool("key", "b")
        time.sleep(0.8)
        x.screenshot(os.path.join(out_dir, "sizer-bottom.png"), window)
        click(226, 25 + 185)
        x.xdotool("key", "t")
        time.sleep(0.8)
        x.screenshot(os.path.join(out_dir, "sizer-top.png"), window)
        click(TABS["reporting"], 17)
        x.screenshot(os.path.join(out_dir, "main.png"), window)

        x.tray_menu_key("e")
        proc.wait(timeout=15)
        print("screenshots in", out_dir)
    finally:
        stop.set()
        x.close()
        xsession.cleanup(home)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
