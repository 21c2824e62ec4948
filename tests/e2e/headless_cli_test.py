"""The meter's command line: adapter list, a missing agent, Ctrl-C, bad input."""
import os
import signal
import sys
import time

import meter_process


def test_adapter_list(bin_dir):
    env = meter_process.environment(bin_dir)
    out = meter_process.run(bin_dir, "velmar", "--list-adapters", env=env)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    assert lines[0] == "0: All", lines
    entries = [l.partition(": ")[2] for l in lines[1:]]
    names = [e[:-2] if e.endswith(" *") else e for e in entries]
    assert sorted(names) == sorted(os.listdir("/sys/class/net")), names
    # " *" marks what "All" counts: on a machine with network cards, the cards.
    marked = sorted(e[:-2] for e in entries if e.endswith(" *"))
    cards = sorted(n for n in names if os.path.exists("/sys/class/net/%s/device" % n))
    if cards:
        assert marked == cards, (marked, cards)
    assert "lo" not in marked
    assert [l.partition(": ")[0] for l in lines] == [str(k) for k in range(len(lines))]


def test_missing_agent_still_measures_zero(bin_dir):
    env = meter_process.environment(bin_dir, VELMAR_AGENT_LIBRARY="/nonexistent/libmib2.so")
    meter = meter_process.start_headless(bin_dir, env=env)
    time.sleep(4.0)  # a sanitized build starts slower
    meter.send_signal(signal.SIGINT)
    out, err = meter.communicate(timeout=10)
    assert meter.returncode == 0, (meter.returncode, err)
    assert "SNMP extension agent library is not available." in err, err
    lines = out.splitlines()
    assert len(lines) >= 3, lines  # five ticks, the first only stamps the time
    for line in lines:
        m = meter_process.LINE.match(line)
        assert m and m.group(2) == "0.00" and m.group(3) == "0.00", line
    listing = meter_process.run(bin_dir, "velmar", "--list-adapters", env=env)
    assert listing.stdout.splitlines() == ["0: All"], listing.stdout


def test_ctrl_c_ends_cleanly(bin_dir):
    env = meter_process.environment(bin_dir)
    meter = meter_process.start_headless(bin_dir, "--adapter", "0", env=env)
    time.sleep(1.3)
    meter.send_signal(signal.SIGINT)
    out, err = meter.communicate(timeout=10)
    assert meter.returncode == 0, (meter.returncode, err)
    assert err == "", err
    for line in out.splitlines():
        assert meter_process.LINE.match(line), line


def test_bad_adapter_argument(bin_dir):
    env = meter_process.environment(bin_dir)
    for bad in ("-1", "x", "99999"):
        out = meter_process.run(bin_dir, "velmar", "--headless", "--adapter", bad, env=env)
        assert out.returncode == 2 and "--adapter" in out.stderr, (bad, out)


def test_settings_choose_kilobits_and_adapter(bin_dir):
    """Line 1 "1" makes a kilobit 1024 bits; line 13 picks the adapter."""
    env = meter_process.environment(bin_dir)
    lines = ["Velmar 2000 settings, please don't change this file! "] + ["0"] * 43
    lines[1] = "1"
    lines[13] = "77"  # no such row: no reading, zero rates
    with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
        f.write("\r\n".join(lines).encode() + b"\r\n")
    meter = meter_process.start_headless(bin_dir, env=env)
    time.sleep(3.0)
    meter.send_signal(signal.SIGINT)
    out, _ = meter.communicate(timeout=10)
    assert out.splitlines(), out
    for line in out.splitlines():
        assert meter_process.LINE.match(line).group(2) == "0.00", line


def test_history_of_an_empty_store(bin_dir):
    env = meter_process.environment(bin_dir)
    env["VELMAR_REGISTRY"] = os.path.join(env["VELMAR_APP_DIR"], "registry.db")
    out = meter_process.run(bin_dir, "velmar", "--history", env=env)
    assert out.returncode == 0 and out.stdout == "", out


if __name__ == "__main__":
    bin_dir = sys.argv[1]
    for name, fn in sorted(globals().items()):
        if name.startswith("test_"):
            fn(bin_dir)
            print(name, "ok")
