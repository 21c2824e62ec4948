"""A screenshot of the meter under Xvfb while a TCP transfer runs over the
loopback as fast as this machine carries it (several Gbit/s), so the
displays show their larger units.

    /usr/bin/python3 scripts/gigabit_screenshot.py <bin dir> <output png>"""
import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import screenshot  # noqa: E402
import xsession  # noqa: E402


def blast(stop):
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    sender = socket.create_connection(server.getsockname())
    receiver, _ = server.accept()

    def drain():
        while not stop.is_set():
            if not receiver.recv(1 << 20):
                return

    threading.Thread(target=drain, daemon=True).start()
    chunk = b"\0" * (1 << 20)
    while not stop.is_set():
        sender.sendall(chunk)
    sender.close()


def main(bin_dir, out_png):
    x = xsession.XSession(800, 600)
    env, home = xsession.private_environment(bin_dir, "yes")
    stop = threading.Event()
    try:
        full_env = dict(x.env(), **env)
        screenshot.write_loopback_settings(bin_dir, env, full_env)
        threading.Thread(target=blast, args=(stop,), daemon=True).start()
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=full_env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = x.wait(lambda: x.find_window(screenshot.CAPTION), 15, "the window")
        x.move(window, 20, 20)
        time.sleep(8)  # the splash has gone and the averages have filled
        x.screenshot(out_png, window)
        stop.set()
        x.tray_menu_key("e")
        proc.wait(timeout=15)
        print("screenshot in", out_png)
    finally:
        stop.set()
        x.close()
        xsession.cleanup(home)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
