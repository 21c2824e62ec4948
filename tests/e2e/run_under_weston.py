"""Runs a command in a private Wayland session: weston's headless backend
(drawing with pixman, so that a screenshot shows what is on the screen, on a
plain background with no panel) and a D-Bus session bus of its own:

    python3 run_under_weston.py <command> [args...]

The command finds WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR
and QT_QPA_PLATFORM=wayland set, and VELMAR_WESTON_BACKGROUND holding the
background's colour as #rrggbb. Exits 77 (skipped) where weston, Qt's
Wayland platform or dbus-daemon is missing."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

BACKGROUND = "203040"
SKIP = 77


def missing():
    for tool in ("weston", "weston-screenshooter", "dbus-daemon"):
        if shutil.which(tool) is None:
            return tool + " is not installed"
    if not glob.glob("/usr/lib/*/qt6/plugins/platforms/libqwayland-*.so"):
        return "Qt's Wayland platform (qt6-wayland) is not installed"
    return None


def start_weston(runtime):
    ini = os.path.join(runtime, "weston.ini")
    with open(ini, "w") as f:
        f.write("[core]\nidle-time=0\n[shell]\nbackground-color=0xff%s\npanel-position=none\n"
                % BACKGROUND)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    env.pop("WAYLAND_DISPLAY", None)
    env.pop("DISPLAY", None)
    # --debug lets weston-screenshooter take pictures.
    weston = subprocess.Popen(
        ["weston", "--backend=headless-backend.so", "--use-pixman", "--socket=velmar-test",
         "--width=1024", "--height=768", "--idle-time=0", "--debug", "--config=" + ini,
         "--log=" + os.path.join(runtime, "weston.log")],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    socket = os.path.join(runtime, "velmar-test")
    end = time.monotonic() + 15
    while not os.path.exists(socket):
        if weston.poll() is not None or time.monotonic() > end:
            raise RuntimeError("weston did not start")
        time.sleep(0.05)
    # The desktop shell's client paints the background a moment later.
    time.sleep(1.0)
    return weston


def start_bus():
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True)
    address = bus.stdout.readline().strip()
    if not address:
        raise RuntimeError("dbus-daemon gave no address")
    return bus, address


def stop(process):
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def main():
    reason = missing()
    if reason:
        print("skipped: " + reason)
        return SKIP
    runtime = tempfile.mkdtemp(prefix="velmar-wayland-")
    os.chmod(runtime, 0o700)
    weston = bus = None
    try:
        weston = start_weston(runtime)
        bus, address = start_bus()
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="velmar-test",
                   DBUS_SESSION_BUS_ADDRESS=address, QT_QPA_PLATFORM="wayland",
                   VELMAR_WESTON_BACKGROUND="#" + BACKGROUND)
        env.pop("DISPLAY", None)
        return subprocess.run(sys.argv[1:], env=env).returncode
    finally:
        for process in (bus, weston):
            if process is not None:
                stop(process)
        shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
