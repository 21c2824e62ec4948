"""A real run's history by program: `velmar --headless --programs
--record-history` (a record every second) in the programs test's network
while a client downloads a known amount from nginx at 2 Mbit/s; `velmar
--report --group program` then names the client's program within 5 % of
what it received, the rows adding up to the total within 1 %. Needs root
(else exit 77)."""
import datetime
import json
import os
import shutil
import signal
import sys
import tempfile

import meter_process
from namespace_all_test import Network, remove_leftovers
from programs_test import SERVER, SKIPPED, ProgramMeter, build_network, row

SIZE = 1000 * 1000
# Prints what it received, then holds its socket open: the meter reads
# sockets, and one gone before the next reading leaves its last bytes
# unattributed.
CLIENT = """
import signal, socket, sys
s = socket.create_connection((sys.argv[1], 8080))
s.sendall(b"GET /fast HTTP/1.1\\r\\nHost: x\\r\\nRange: bytes=0-%d\\r\\n\\r\\n" % (int(sys.argv[2]) - 1))
data = b""
while b"\\r\\n\\r\\n" not in data:
    data += s.recv(65536)
moved, body = len(data), len(data.split(b"\\r\\n\\r\\n", 1)[1])
while body < int(sys.argv[2]):
    chunk = s.recv(65536)
    moved, body = moved + len(chunk), body + len(chunk)
print(moved, flush=True)
signal.pause()
"""


def main(bin_dir):
    if os.geteuid() != 0:
        print("skipped: network namespaces need root")
        return SKIPPED
    assert shutil.which("nginx") and shutil.which("curl"), "scripts/setup-deps installs them"
    remove_leftovers()
    tmp = tempfile.mkdtemp(prefix="velmar-program-history-")
    os.chmod(tmp, 0o755)
    # The meter's store, a record every second, a capture helper of its own.
    os.environ.update(VELMAR_REGISTRY=os.path.join(tmp, "registry.db"),
                      VELMAR_HISTORY_PERIOD_MS="1000", XDG_RUNTIME_DIR=tmp)
    program = os.path.realpath(sys.executable)
    try:
        with Network("proghist") as net:
            ns = build_network(net, tmp)
            meter = ProgramMeter(net, bin_dir, ns, "--record-history")
            # As root the meter starts its capture helper; a change of mode
            # starts the counts anew, so the client waits for it.
            meter.wait(lambda r: r["precise"], 30, "the capture helper's counts")
            client = net.start(ns, sys.executable, "-c", CLIENT, SERVER, str(SIZE))
            moved = int(client.stdout.readline())
            meter.wait(lambda r: row(r, program) and row(r, program)["received_bytes"] >= moved,
                       30, "the client's bytes read")
            # Stopping writes the last record, with the latest reading.
            meter.process.send_signal(signal.SIGINT)
            assert meter.process.wait(30) == 0, meter.process.stderr.read()
        today = datetime.date.today()
        report = meter_process.run(bin_dir, "velmar", "--report", "--from",
                                   str(today - datetime.timedelta(days=1)), "--to", str(today),
                                   "--group", "program", "--format", "json", env=dict(os.environ))
        assert report.returncode == 0, report.stderr
        data = json.loads(report.stdout)
        rows = {r["program"]: r for r in data["programs"]}
        assert program in rows, data["programs"]
        down = rows[program]["down"]
        assert abs(down - moved) <= 0.05 * moved, (down, moved, data["programs"])
        print("%s: %d bytes in the history of %d received" % (program, down, moved))
        total = data["totals"]["total"]
        summed = sum(r["total"] for r in data["programs"])
        assert abs(summed - total) <= 0.01 * total, (summed, total, data["programs"])
        print("rows add up to %d of the report's %d bytes (%d records)" %
              (summed, total, data["totals"]["records"]))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
