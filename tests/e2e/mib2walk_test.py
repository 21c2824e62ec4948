"""mib2walk lists the tables of this machine in the numeric format of the
usual SNMP tools."""
import os
import re
import sys

import meter_process

VALUE = re.compile(
    r'^(\.\d+)+ = (INTEGER: -?\d+|STRING: ".*"|Counter32: \d+|Counter64: \d+|Gauge32: \d+|'
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

    # The extended interface table: a name, 64-bit counters and whether a
    # device stands behind it, for every interface.
    ifx = meter_process.run(bin_dir, "mib2walk", ".1.3.6.1.2.1.31.1.1.1", env=env)
    assert ifx.returncode == 0, ifx.stderr
    xlines = ifx.stdout.splitlines()
    assert xlines and all(l.startswith(".1.3.6.1.2.1.31.1.1.1.") for l in xlines), xlines
    by_column = {}
    for l in xlines:
        oid, _, value = l.partition(" = ")
        column, index = oid.split(".")[11:13]
        by_column.setdefault(int(column), {})[int(index)] = value
    assert sorted(by_column) == [1, 6, 10, 15, 17, 18], sorted(by_column)
    for index, value in by_column[1].items():
        name = value[len('STRING: "'):-1]
        assert by_column[6][index].startswith("Counter64: "), by_column[6][index]
        device = os.path.exists("/sys/class/net/%s/device" % name)
        assert by_column[17][index] == "INTEGER: %d" % (1 if device else 2), (name, by_column[17])
    assert sorted(v[len('STRING: "'):-1] for v in by_column[1].values()) == names
    assert any(l.startswith(".1.3.6.1.2.1.31.1.2.1.3.") for l in lines), "the stack table"

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
