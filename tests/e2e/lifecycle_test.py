"""The meter's window from start to end under a real X server with a tray:
a second start ends with the message and brings the first forward, the
close box hides, "&End" asks and ends without touching the settings file,
and the window placement survives a restart. Without a tray the close box
asks to end, and a tray that appears later takes the icon."""
import json
import os
import queue
import select
import subprocess
import sys
import threading
import time

import xsession

CAPTION = "Velmar 2000 Bandwidth Meter"
SERVICES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                        "desktop_services.py")
RUNNING = "Velmar is already running, please look for it in the system tray."
QUESTION = "This will end the Velmar program.  Exit now?"


def read_until_asked(proc, seconds=15):
    """What the program writes to stderr up to the question whether to end,
    which the scripted dialog prints as it answers."""
    fd, seen, end = proc.stderr.fileno(), "", time.monotonic() + seconds
    while QUESTION not in seen:
        left = end - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise AssertionError("not asked to end within %d s: %r" % (seconds, seen))
        chunk = os.read(fd, 65536)
        if not chunk:
            raise AssertionError("ended without asking: %r" % seen)
        seen += chunk.decode()
    return seen


def start(bin_dir, x, env):
    os.makedirs(env["VELMAR_APP_DIR"], exist_ok=True)
    proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    window = x.shown(CAPTION, 15)
    return proc, window


def end(proc, x, answer_yes_expected=True):
    x.tray_menu_key("e")
    proc.wait(timeout=15)
    return proc.communicate()


def test_second_instance_and_end(bin_dir, x):
    env, home = xsession.private_environment(bin_dir, "no,yes")
    try:
        first, window = start(bin_dir, x, env)
        settings = os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini")
        x.wait(lambda: os.path.exists(settings), 10, "the default settings file")
        with open(settings, "rb") as f:
            before = f.read()
        assert before.count(b"\r\n") == 44

        # The close box hides the window; the program and its icon stay.
        x.close_box(window)
        x.wait(lambda: not x.is_viewable(window), 10, "the window hidden")
        assert first.poll() is None

        # A second start says so, brings the first forward and ends.
        second = subprocess.run([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                                capture_output=True, text=True, timeout=20)
        assert second.returncode == 0, second
        assert "velmar-dialog: message: " + RUNNING in second.stderr, second.stderr
        x.wait(lambda: x.is_viewable(window), 10, "the first window brought forward")
        assert first.poll() is None

        # "&End", answered No: nothing happens.
        x.tray_menu_key("e")
        asked = read_until_asked(first)
        assert first.poll() is None, "No must not end the program"
        # Answered Yes: the program ends and the settings file is untouched.
        _, err = end(first, x)
        err = asked + err
        assert first.returncode == 0, err
        assert err.count("This will end the Velmar program.  Exit now?") == 2, err
        with open(settings, "rb") as f:
            assert f.read() == before
        print("second instance and end: ok")
    finally:
        xsession.cleanup(home)


def test_placement_survives_a_restart(bin_dir, x):
    env, home = xsession.private_environment(bin_dir, "yes,yes")
    try:
        proc, window = start(bin_dir, x, env)
        x.move(window, 150, 120)
        x.wait(lambda: x.geometry(window)[:2] == (150, 120), 5, "the window moved")
        end(proc, x)
        proc, window = start(bin_dir, x, env)
        left, top, width, height = x.geometry(window)
        assert (left, top) == (150, 120), (left, top)
        assert (width, height) == (281, 496), (width, height)
        end(proc, x)
        print("placement: ok")
    finally:
        xsession.cleanup(home)


def test_corrupt_store_is_reported_and_kept(bin_dir, x):
    env, home = xsession.private_environment(bin_dir, "yes")
    try:
        garbage = bytes(range(256)) * 64
        with open(env["VELMAR_REGISTRY"], "wb") as f:
            f.write(garbage)
        proc, window = start(bin_dir, x, env)
        _, err = end(proc, x)
        assert proc.returncode == 0, err
        assert "velmar-dialog: message: Error: " in err and "in program section 9" in err, err
        with open(env["VELMAR_REGISTRY"], "rb") as f:
            assert f.read() == garbage, "the store file must not be touched"
        print("corrupt store: ok")
    finally:
        xsession.cleanup(home)


def shown_dialog(x):
    """A shown window titled as the meter's dialogs are (Qt keeps hidden
    helper windows of that name too)."""
    for w in x.windows():
        try:
            if w.get_wm_name() == "Velmar 2000" and x.is_viewable(w):
                return w
        except Exception:
            pass
    return None


def test_a_signal_ends_the_program_behind_a_modal_dialog(bin_dir, x):
    """SIGTERM while a dialog waits for the user (the error report at
    start-up, a question while running) ends the program as "&End" does:
    at once, without saving the settings."""
    import signal
    env, home = xsession.private_environment(bin_dir, "")
    del env["VELMAR_TEST_ANSWERS"]  # real dialogs
    proc = None
    try:
        with open(env["VELMAR_REGISTRY"], "wb") as f:
            f.write(bytes(range(256)) * 64)
        os.makedirs(env["VELMAR_APP_DIR"], exist_ok=True)
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        x.wait(lambda: shown_dialog(x), 15, "the error report shown")
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=10)
        assert proc.returncode == 0, proc.communicate()

        # While running: the "&End" question is open when the signal comes.
        os.remove(env["VELMAR_REGISTRY"])
        settings = os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini")
        proc, window = start(bin_dir, x, env)
        x.wait(lambda: os.path.exists(settings), 10, "the default settings file")
        with open(settings, "rb") as f:
            before = f.read()
        x.tray_menu_key("e")
        x.wait(lambda: shown_dialog(x), 10, "the question shown")
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=10)
        assert proc.returncode == 0, proc.communicate()
        with open(settings, "rb") as f:
            assert f.read() == before, "a signal ends without saving"
        print("signal behind a modal dialog: ok")
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
            proc.wait()
        xsession.cleanup(home)


def test_without_a_tray_and_with_one_that_comes_later(bin_dir):
    """No tray: the close box asks as "&End" does and a second start does
    not speak of a tray. A tray that appears later docks the icon, and from
    then on the close box hides the window there."""
    bare = xsession.XSession(tray=False)
    env, home = xsession.private_environment(bin_dir, "no,yes")
    try:
        proc, window = start(bin_dir, bare, env)
        bare.close_box(window)  # answered No
        asked = read_until_asked(proc)
        assert proc.poll() is None and bare.is_viewable(window), "No keeps the window"
        second = subprocess.run([os.path.join(bin_dir, "velmar")], env=dict(bare.env(), **env),
                                capture_output=True, text=True, timeout=20)
        assert ("velmar-dialog: message: Velmar is already running; its window is brought "
                "to the front.") in second.stderr, second.stderr

        bare.start_tray()
        bare.wait(bare.icon_docked, 10, "the icon docked in the late tray")
        bare.close_box(window)
        bare.wait(lambda: not bare.is_viewable(window), 10, "the window hidden in the tray")
        assert proc.poll() is None
        _, err = end(proc, bare)  # "&End" from the tray menu, answered Yes
        err = asked + err
        assert proc.returncode == 0, err
        assert err.count("This will end the Velmar program.  Exit now?") == 2, err
        print("no tray, then a late tray: ok")
    finally:
        bare.close()
        xsession.cleanup(home)


def json_line(proc, wanted, seconds):
    """The first JSON line `proc` prints that `wanted` accepts."""
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(line) for line in proc.stdout], daemon=True).start()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            record = json.loads(lines.get(timeout=max(0.0, end - time.monotonic())))
        except queue.Empty:
            break
        if wanted(record):
            return record
    raise AssertionError("timed out waiting for a line")


def test_a_dbus_tray_that_comes_later_gets_the_icon(bin_dir):
    """X11 with no tray of either kind, then a D-Bus tray (a
    StatusNotifierWatcher with a host): the icon registers with it."""
    bare = xsession.XSession(tray=False)
    env, home = xsession.private_environment(bin_dir, "no,yes")
    bus = watcher = proc = None
    try:
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        proc, window = start(bin_dir, bare, env)
        watcher = subprocess.Popen(["/usr/bin/python3", SERVICES, "watcher"],
                                   env=dict(bare.env(), **env), stdout=subprocess.PIPE,
                                   text=True)
        call = json_line(watcher, lambda r: r.get("call") == "RegisterStatusNotifierItem", 20)
        assert call["service"], call
        # From then on the close box hides the window in that tray.
        bare.close_box(window)
        bare.wait(lambda: not bare.is_viewable(window), 10, "the window hidden in the tray")
        assert proc.poll() is None
        print("no tray, then a late D-Bus tray: registered as", call["service"])
    finally:
        for p in (proc, watcher, bus):
            if p is not None:
                p.terminate()
                p.wait(timeout=15)
        bare.close()
        xsession.cleanup(home)


if __name__ == "__main__":
    bin_dir = sys.argv[1]
    x = xsession.XSession()
    try:
        test_second_instance_and_end(bin_dir, x)
        test_placement_survives_a_restart(bin_dir, x)
        test_corrupt_store_is_reported_and_kept(bin_dir, x)
        test_a_signal_ends_the_program_behind_a_modal_dialog(bin_dir, x)
    finally:
        x.close()
    test_without_a_tray_and_with_one_that_comes_later(bin_dir)
    test_a_dbus_tray_that_comes_later_gets_the_icon(bin_dir)
