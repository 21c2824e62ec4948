"""mib2walk lists the three tables of this machine in the numeric format of
the usual SNMP tools."""
import os
import re
import sys

import meter_process

VALUE = re.compile(
    r'^(\.\d+)+ = (INTEGER: -?\d+|STRING: ".*"|Counter32: \d+|Gauge32: \d+|'
    r'Timeticks: \(\d+\) (\d+ days?, )?\d+:\d\d:\d\d\.\d\d|IpAddress: \d+\.\d+\.\d+\.\d+|'
    r'Hex-STRING: ([0-9A-F]{2} )+|""|OID: (\.\d+)+)$')


def main(bin_dir):
    env = meter_process.environment(bin_dir)
    out = meter_process.run(bin_dir, "mib2walk", env=env)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    for line in lines:
        assert VALUE.match(line), "unexpected format: %r" % line

    names = sorted(os.listdir("/sys/class/net"))
    descr = sorted(re.match(r'.* = STRING: "(.*)"', l).group(1)
                   for l in lines if l.startswith(".1.3.6.1.2.1.2.2.1.2."))
    assert descr == names, (descr, names)
    columns = {int(l.split(".")[10]) for l in lines if l.startswith(".1.3.6.1.2.1.2.2.1.")}
    assert columns == set(range(1, 23)), columns
    lo = ".1.3.6.1.2.1.2.2.1.2.1 = STRING: \"lo\""
    assert lo in lines
    assert ".1.3.6.1.2.1.2.2.1.3.1 = INTEGER: 24" in lines
    # Tables in order: interfaces, routes, TCP connections.
    first = [next(i for i, l in enumerate(lines) if l.startswith(p))
             for p in (".1.3.6.1.2.1.2.2.1.", ".1.3.6.1.2.1.4.21.1.")]
    assert first == sorted(first)
    if any(l.startswith(".1.3.6.1.2.1.6.13.1.") for l in lines):
        assert max(i for i, l in enumerate(lines) if l.startswith(".1.3.6.1.2.1.4.21.")) < \
            min(i for i, l in enumerate(lines) if l.startswith(".1.3.6.1.2.1.6.13."))

    # A single subtree, and bad arguments.
    one = meter_process.run(bin_dir, "mib2walk", ".1.3.6.1.2.1.2.2.1.2", env=env)
    assert one.stdout.splitlines() == [l for l in lines if l.startswith(".1.3.6.1.2.1.2.2.1.2.")]
    bad = meter_process.run(bin_dir, "mib2walk", "1..3", env=env)
    assert bad.returncode == 2
    missing = meter_process.run(bin_dir, "mib2walk", "--agent", "/nonexistent.so", env=env)
    assert missing.returncode == 1 and missing.stderr
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1])
