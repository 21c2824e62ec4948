"""What a screen reader reads from the meter: the real window under Xvfb on a
private D-Bus session with its own AT-SPI bus, read through python3-pyatspi
while the meter measures known loopback traffic.

    /usr/bin/python3 tests/e2e/atspi_test.py <bin dir>

Exit 77 (skipped) where Xvfb, dbus-daemon, the AT-SPI bus launcher or
pyatspi is missing."""
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))

SPEEDS = ["Downstream speed", "Upstream speed", "Average downstream speed",
          "Average upstream speed"]
BARS = ["Downstream speed bar", "Average speed bar", "Upstream speed bar"]
READ_SECONDS = 6
RATE = 1_500_000  # bytes a second of UDP over the loopback: 12,000 kbit/s each way
TEXT = re.compile(r"^\d{1,3}(,\d{3})*\.\d\d (Kb|Mb|Gb)/s$")


def missing():
    for tool in ("Xvfb", "dbus-daemon", "dbus-send", "trayer"):
        if shutil.which(tool) is None:
            return tool
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        return "at-spi2-core"
    probe = subprocess.run(["/usr/bin/python3", "-c", "import pyatspi"], capture_output=True)
    return "python3-pyatspi" if probe.returncode else None


def lo_bytes():
    with open("/sys/class/net/lo/statistics/rx_bytes") as f:
        return int(f.read())


def reader():
    """Runs under pyatspi: finds the meter, samples its readouts for a few
    seconds, counts its value events, and prints what it saw as JSON."""
    import pyatspi
    from gi.repository import GLib

    def find_app():
        for _ in range(100):
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.name == "Velmar 2000":
                    return app
            time.sleep(0.2)
        raise SystemExit("the meter never showed on the AT-SPI bus")

    def by_name(app):
        found, buttons = {}, []
        def walk(node):
            for child in node:
                if child is None:
                    continue
                role = child.getRoleName()
                if role == "push button":
                    buttons.append(child.name)
                if child.name in SPEEDS + BARS + ["Total traffic"] and role != "push button":
                    found[child.name] = child
                walk(child)
        walk(app)
        return found, buttons

    app = find_app()
    # The splash gone (every readout there) and the speeds settled (the
    # downstream one near the traffic's rate) before sampling starts.
    deadline = time.monotonic() + 30
    while True:
        nodes, buttons = by_name(app)
        if len(nodes) == len(SPEEDS + BARS) + 1 and \
                nodes["Downstream speed"].queryValue().currentValue > 0.5 * RATE * 8 / 1000:
            break
        if time.monotonic() > deadline:
            raise SystemExit("the speeds never settled: %r" % sorted(nodes))
        time.sleep(0.2)
    out = {"buttons": buttons, "roles": {n: nodes[n].getRoleName() for n in nodes},
           "samples": [], "events": {}}

    def sample():
        row = {}
        for name, node in nodes.items():
            row[name] = {"text": node.queryText().getText(0, -1),
                         "value": node.queryValue().currentValue}
        out["samples"].append(row)
        return True

    def on_value(event):
        name = event.source.name if event.source is not None else ""
        out["events"][name] = out["events"].get(name, 0) + 1

    pyatspi.Registry.registerEventListener(on_value, "object:property-change:accessible-value")
    start_bytes, start = lo_bytes(), time.monotonic()
    GLib.timeout_add(500, sample)
    GLib.timeout_add(READ_SECONDS * 1000, lambda: pyatspi.Registry.stop())
    pyatspi.Registry.start()
    out["kernel_kbps"] = (lo_bytes() - start_bytes) * 8 / 1000 / (time.monotonic() - start)
    out["seconds"] = time.monotonic() - start
    print(json.dumps(out))


def traffic(stop):
    import screenshot
    screenshot.traffic(stop, RATE)


def main(bin_dir):
    import screenshot
    import xsession
    x = xsession.XSession(800, 600)
    env, home = xsession.private_environment(bin_dir, "yes")
    bus = proc = None
    stop = threading.Event()
    try:
        base = dict(x.env(), **env)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               env=base, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
        address = bus.stdout.readline().strip()
        full = dict(base, DBUS_SESSION_BUS_ADDRESS=address, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        # The accessibility bus first, so the meter finds it as it starts.
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.a11y.Bus.GetAddress"], env=full, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        screenshot.write_loopback_settings(bin_dir, env, full)
        threading.Thread(target=traffic, args=(stop,), daemon=True).start()
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=full,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        x.wait(lambda: x.find_window(screenshot.CAPTION), 15, "the window")
        read = subprocess.run(["/usr/bin/python3", os.path.abspath(__file__), "--reader"],
                              env=full, capture_output=True, text=True, timeout=90)
        assert read.returncode == 0, read.stderr[-2000:]
        seen = json.loads(read.stdout.strip().splitlines()[-1])
        check(seen)
        print("AT-SPI read-out:", json.dumps(seen["samples"][-1]["Downstream speed"]),
              "kernel %.0f kbit/s," % seen["kernel_kbps"],
              "value events of Downstream speed: %d in %.1f s"
              % (seen["events"].get("Downstream speed", 0), seen["seconds"]))
    finally:
        stop.set()
        if proc is not None:
            proc.terminate()  # SIGTERM ends the meter as "&End" does
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
    for name in SPEEDS + ["Total traffic"]:
        assert seen["roles"].get(name) == "label", (name, seen["roles"])
    for name in BARS:
        assert seen["roles"].get(name) == "progress bar", (name, seen["roles"])
    samples = seen["samples"]
    assert len(samples) >= READ_SECONDS, samples
    for row in samples:
        for name in SPEEDS:
            text, value = row[name]["text"], row[name]["value"]
            assert TEXT.match(text), (name, text)
            number = float(text.split()[0].replace(",", ""))
            assert abs(number - value) < 0.006, (name, text, value)
        for name in BARS:
            assert 0 <= row[name]["value"] <= 100, (name, row[name])
        assert row["Total traffic"]["text"].endswith(" KBytes"), row["Total traffic"]
    # The loopback carries each datagram in and out: both speeds near the
    # kernel's count (in Kb/s, the unit for a dozen Mbit/s).
    kernel = seen["kernel_kbps"]
    assert kernel > 0.5 * RATE * 8 / 1000, kernel
    downs = sorted(row["Downstream speed"]["value"] for row in samples)
    median = downs[len(downs) // 2]
    assert samples[-1]["Downstream speed"]["text"].endswith("Kb/s"), samples[-1]
    assert abs(median - kernel) < 0.25 * kernel, (median, kernel, downs)
    assert samples[-1]["Upstream speed"]["value"] > 0.5 * kernel, samples[-1]
    assert samples[-1]["Total traffic"]["value"] > samples[0]["Total traffic"]["value"]
    # Told as they change, but at most once a second.
    told = seen["events"].get("Downstream speed", 0)
    assert 2 <= told <= seen["seconds"] + 1, (told, seen["seconds"])
    # Every button has a name; none is just "...".
    unnamed = [b for b in seen["buttons"] if not b.strip(". ")]
    assert not unnamed, seen["buttons"]
    for row_name in ("Set alarms", "Generate Report", "Restore saved History"):
        assert row_name in seen["buttons"], seen["buttons"]


if __name__ == "__main__":
    if sys.argv[1] == "--reader":
        reader()
        sys.exit(0)
    lack = missing()
    if lack:
        print("skipped: %s is not installed" % lack)
        sys.exit(77)
    main(sys.argv[1])
