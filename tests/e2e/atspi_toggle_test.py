"""A screen reader works the meter's paired buttons: the real window under
Xvfb on a private D-Bus session with its own AT-SPI bus, driven through
python3-pyatspi. ACTIVE, SLEEP, Spy and Generate offer only "Toggle"; each
must leave one button of its pair pressed and run its command, as a click
does (measuring shows as Spy and Generate becoming usable).

    /usr/bin/python3 tests/e2e/atspi_toggle_test.py <bin dir>

Exit 77 (skipped) where Xvfb, dbus-daemon, the AT-SPI bus launcher or
pyatspi is missing."""
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))

PAIRS = ["ACTIVE", "SLEEP", "Spy", "Generate"]


def driver():
    """Runs under pyatspi: toggles the buttons and prints, after each toggle,
    the states it settled in, as JSON."""
    import pyatspi

    def until(what, probe, seconds=20):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            value = probe()
            if value:
                return value
            time.sleep(0.05)
        raise SystemExit("timed out: " + what)

    def find_buttons():
        for app in pyatspi.Registry.getDesktop(0):
            if app is None or app.name != "Velmar 2000":
                continue
            found = {}

            def walk(node):
                for child in node:
                    if child is None:
                        continue
                    if child.name in PAIRS:
                        found[child.name] = child
                    walk(child)
            walk(app)
            if len(found) == len(PAIRS):
                return found
        return None

    buttons = until("the paired buttons on the AT-SPI bus", find_buttons)
    window = buttons["ACTIVE"]
    while window.parent is not None and window.parent.getRoleName() != "application":
        window = window.parent

    def state(name):
        states = buttons[name].getState()
        return {"pressed": states.contains(pyatspi.STATE_CHECKED)
                or states.contains(pyatspi.STATE_PRESSED),
                "enabled": states.contains(pyatspi.STATE_SENSITIVE)}

    def snapshot():
        return {name: state(name) for name in PAIRS}

    def toggle(name):
        action = buttons[name].queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        assert "Toggle" in names, (name, names)
        action.doAction(names.index("Toggle"))

    out = {"start": snapshot(), "steps": [], "window": [window.name, window.getRoleName()]}
    # Each step: the button toggled and the pressed one of each pair after.
    plan = [("ACTIVE", "ACTIVE", "Spy", True), ("Generate", "ACTIVE", "Generate", True),
            ("Spy", "ACTIVE", "Spy", True), ("SLEEP", "SLEEP", "Spy", False),
            ("SLEEP", "SLEEP", "Spy", False), ("ACTIVE", "ACTIVE", "Spy", True)]
    for name, analysis, mode, measuring in plan:
        toggle(name)
        expected = {"ACTIVE": analysis == "ACTIVE", "SLEEP": analysis == "SLEEP",
                    "Spy": mode == "Spy", "Generate": mode == "Generate"}

        def settled():
            now = snapshot()
            pressed = {n: now[n]["pressed"] for n in PAIRS}
            return now if pressed == expected and now["Spy"]["enabled"] == measuring else None
        try:
            now = until("%s toggled" % name, settled, 10)
        except SystemExit:
            now = snapshot()
        out["steps"].append({"toggled": name, "expected": expected, "measuring": measuring,
                             "seen": now})
    print(json.dumps(out))


def stopped_settings(env):
    """A settings file that starts the window without measuring."""
    os.makedirs(env["VELMAR_APP_DIR"])
    lines = ["Velmar 2000 settings, please don't change this file! ", "0", "1", "http://"]
    lines += ["0"] * 4 + ["", ""] + ["0"] * 27 + ["1"] * 3 + ["Velmar reserved line"] + ["1"] * 3
    lines[3] = "http://127.0.0.1:9/"  # Generate refuses the bare scheme; this one only fails
    with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))


def main(bin_dir):
    import screenshot
    import xsession
    x = xsession.XSession(800, 600)
    env, home = xsession.private_environment(bin_dir, "yes")
    bus = proc = None
    try:
        base = dict(x.env(), **env)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               env=base, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
        address = bus.stdout.readline().strip()
        full = dict(base, DBUS_SESSION_BUS_ADDRESS=address, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=full, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        stopped_settings(env)
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=full,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        x.wait(lambda: x.find_window(screenshot.CAPTION), 15, "the window")
        run = subprocess.run(["/usr/bin/python3", os.path.abspath(__file__), "--driver"],
                             env=full, capture_output=True, text=True, timeout=120)
        assert run.returncode == 0, run.stderr[-2000:]
        seen = json.loads(run.stdout.strip().splitlines()[-1])
        check(seen)
        print("toggled through AT-SPI:", ", ".join(s["toggled"] for s in seen["steps"]))
    finally:
        if proc is not None:
            proc.terminate()
            try:
                proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                proc.kill()
        if bus is not None:
            bus.terminate()
            bus.wait(timeout=5)
        x.close()
        xsession.cleanup(home)


def check(seen):
    assert seen["window"] == ["Velmar 2000 Bandwidth Meter", "frame"], seen["window"]
    start = seen["start"]
    assert start["SLEEP"]["pressed"] and not start["ACTIVE"]["pressed"], start
    assert not start["Spy"]["enabled"], start
    for step in seen["steps"]:
        pressed = {n: step["seen"][n]["pressed"] for n in PAIRS}
        assert pressed == step["expected"], step
        assert step["seen"]["Spy"]["enabled"] == step["measuring"], step


if __name__ == "__main__":
    if sys.argv[1] == "--driver":
        driver()
        sys.exit(0)
    import atspi_test
    lack = atspi_test.missing()
    if lack:
        print("skipped: %s is not installed" % lack)
        sys.exit(77)
    main(sys.argv[1])
