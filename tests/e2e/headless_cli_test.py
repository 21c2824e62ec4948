"""The meter's command line: adapter list, a missing agent, Ctrl-C, bad input,
JSON lines, and a headless process that loads no GUI library."""
import json
import os
import re
import signal
import sys

import meter_process
import metrics_support


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
    first = meter_process.wait_for_lines(meter, 3)
    meter.send_signal(signal.SIGINT)
    out, err = meter.communicate(timeout=10)
    out = first + out
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
    first = meter_process.wait_for_lines(meter, 2)
    meter.send_signal(signal.SIGINT)
    out, err = meter.communicate(timeout=10)
    out = first + out
    assert meter.returncode == 0, (meter.returncode, err)
    assert err == "", err
    for line in out.splitlines():
        assert meter_process.LINE.match(line), line


def test_bad_adapter_argument(bin_dir):
    env = meter_process.environment(bin_dir)
    for bad in ("-1", "x", "99999"):
        out = meter_process.run(bin_dir, "velmar", "--headless", "--adapter", bad, env=env)
        assert out.returncode == 2 and "--adapter" in out.stderr, (bad, out)
    # A number past the end of the list is no adapter: an error, not zeros.
    count = len(meter_process.run(bin_dir, "velmar", "--list-adapters", env=env).stdout.split("\n")) - 1
    out = meter_process.run(bin_dir, "velmar", "--headless", "--adapter", str(count), env=env)
    assert out.returncode == 2, out
    assert ("adapter %d is not in the list (0 to %d)" % (count, count - 1)) in out.stderr, out


def test_usage_errors_and_version(bin_dir):
    """The usual conventions: a one-line reason and status 2 for what cannot
    be followed, even where no window could be shown; --version prints it."""
    env = meter_process.environment(bin_dir)
    env.pop("DISPLAY", None)
    for args in (["--bogus"], ["--headless", "--bogus"], ["--headless", "stray"],
                 ["--list-adapters", "--format=xml"]):
        out = meter_process.run(bin_dir, "velmar", *args, env=env)
        assert out.returncode == 2, (args, out)
        lines = out.stderr.splitlines()
        assert len(lines) == 1 and lines[0].startswith("velmar: "), (args, out.stderr)
    out = meter_process.run(bin_dir, "velmar", "--version", env=env)
    assert out.returncode == 0 and out.stdout.startswith("velmar "), out
    assert out.stdout.split()[1][0].isdigit(), out.stdout


def test_settings_choose_kilobits_and_adapter(bin_dir):
    """Line 1 "1" makes a kilobit 1024 bits; line 13 picks the adapter."""
    env = meter_process.environment(bin_dir)
    lines = ["Velmar 2000 settings, please don't change this file! "] + ["0"] * 43
    lines[1] = "1"
    lines[13] = "77"  # no such row: no reading, zero rates
    with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
        f.write("\r\n".join(lines).encode() + b"\r\n")
    meter = meter_process.start_headless(bin_dir, env=env)
    first = meter_process.wait_for_lines(meter, 3)
    meter.send_signal(signal.SIGINT)
    out, _ = meter.communicate(timeout=10)
    out = first + out
    assert out.splitlines(), out
    for line in out.splitlines():
        assert meter_process.LINE.match(line).group(2) == "0.00", line


def test_json_lines(bin_dir):
    env = meter_process.environment(bin_dir)
    row = meter_process.loopback_row(bin_dir, env)
    meter = meter_process.start_headless(bin_dir, "--adapter", str(row), "--format", "json",
                                         env=env)
    first = meter_process.wait_for_lines(meter, 2)
    meter.send_signal(signal.SIGINT)
    out, err = meter.communicate(timeout=10)
    out = first + out
    assert meter.returncode == 0 and err == "", (meter.returncode, err)
    lines = out.splitlines()
    assert len(lines) >= 2, lines
    for line in lines:
        tick = json.loads(line)
        assert sorted(tick) == ["adapter", "avgdown_bps", "avgup_bps", "down_bps", "time",
                                "total_bytes", "up_bps"], tick
        assert tick["adapter"] == "lo", tick
        # ISO 8601 with milliseconds and the zone: Z or an offset.
        assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)",
                            tick["time"]), tick
        assert isinstance(tick["total_bytes"], int) and tick["down_bps"] >= 0, tick
    bad = meter_process.run(bin_dir, "velmar", "--headless", "--format", "xml", env=env)
    assert bad.returncode == 2 and "--format" in bad.stderr, bad


def test_lean_process_and_metrics_arguments(bin_dir):
    """`velmar --headless` becomes velmar-headless, which maps no Qt GUI,
    widget or network library; bad or taken addresses are refused."""
    env = meter_process.environment(bin_dir)
    meter = metrics_support.Meter(bin_dir, env)
    try:
        with open("/proc/%d/maps" % meter.proc.pid) as f:
            maps = f.read()
        with open("/proc/%d/comm" % meter.proc.pid) as f:
            assert f.read().strip() == "velmar-headless"
        assert "libQt6Core" in maps
        for library in ("libQt6Gui", "libQt6Widgets", "libQt6Network", "libGL", "libX11",
                        "libnetsnmp"):
            assert library not in maps, library
        status, headers, body = metrics_support.scrape(meter.port)
        assert status == 200 and "velmar_build_info" in body

        taken = meter_process.run(bin_dir, "velmar", "--headless", "--metrics",
                                  str(meter.port), env=env)
        assert taken.returncode == 1, taken
        assert "Cannot serve metrics on 127.0.0.1:%d: Address already in use" % meter.port \
            in taken.stderr, taken.stderr
    finally:
        assert meter.stop() == 0, meter.errors
    for bad in ("x", "70000", "10.1:80", "::1:80"):
        out = meter_process.run(bin_dir, "velmar", "--headless", "--metrics", bad, env=env)
        assert out.returncode == 2 and "is no metrics address" in out.stderr, (bad, out)


def test_metrics_interface_filters(bin_dir):
    """--metrics-include and --metrics-exclude choose interfaces by their
    whole name; the settings' line 54 does when neither is given; a bad
    expression is a usage error."""
    env = meter_process.environment(bin_dir)

    def shown(*args):
        meter = metrics_support.Meter(bin_dir, env, *args)
        try:
            body = metrics_support.wait_for(
                lambda: (lambda b: b if "velmar_interface_mtu_bytes" in b or
                         "velmar_last_tick" in b else None)(metrics_support.scrape(meter.port)[2]),
                20, "a scrape")
        finally:
            assert meter.stop() == 0, meter.errors
        return set(re.findall(r'velmar_interface_mtu_bytes\{interface="([^"]*)"', body))

    everything = shown()
    assert "lo" in everything, everything
    assert shown("--metrics-exclude", "l") == everything, "the whole name must match"
    assert shown("--metrics-exclude", "l.*") == {n for n in everything if not n.startswith("l")}
    assert shown("--metrics-include", "lo|nothing", "--metrics-exclude", "x") == {"lo"}
    settings = os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini")
    lines = ["Velmar 2000 settings, please don't change this file! "] + ["0"] * 43 + [""] * 11
    lines[54] = "lo\t"
    with open(settings, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")
    assert shown() == {"lo"}, "line 54 chooses when the options do not"
    assert shown("--metrics-exclude", "nothing") == everything, "an option replaces the line"
    os.remove(settings)
    out = meter_process.run(bin_dir, "velmar", "--headless", "--metrics", "0",
                            "--metrics-include", "eth[", env=env)
    assert out.returncode == 2 and '--metrics-include "eth[" is no regular expression' \
        in out.stderr, out


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
