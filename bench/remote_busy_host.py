"""How soon the meter reads a device whose connection table is large.

Starts a real snmpd on 127.0.0.1, fills the host's TCP table with N
connections in TIME_WAIT (loopback connections closed at once), then prints
the time `velmar --headless` needs for its first reading of the device, the
time `mib2walk` needs for tcpConnTable through the meter's remote agent
library, and the time snmpwalk needs for it.

    /usr/bin/python3 bench/remote_busy_host.py <bin dir> [N] [--library PATH]

--library runs the meter with another build of libmib2remote.so (to
compare two builds). Run it as root to have a network namespace of its
own, whose TCP table holds only these connections."""
import os
import shutil
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import meter_process  # noqa: E402
import snmpd_fixture  # noqa: E402

TCP_CONN = ".1.3.6.1.2.1.6.13"
ALONE = "VELMAR_BENCH_NAMESPACE"
LIMIT = 60  # seconds; TIME_WAIT lasts 60 s


def fill_time_wait(count):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)
    for _ in range(count):
        client = socket.create_connection(listener.getsockname())
        server, _ = listener.accept()
        client.close()  # the side that closes first waits in TIME_WAIT
        server.close()
    listener.close()


def first_reading(bin_dir, env, device, limit):
    """Seconds until the headless meter's first reading (or None), and
    from SIGTERM to its end (it stops its table fetch on the way)."""
    started = time.monotonic()
    meter = meter_process.start_headless(bin_dir, "--snmp", device.address(), "--snmp-secrets",
                                         device.secrets, env=env)
    timer = threading.Timer(limit, meter.terminate)
    timer.start()
    reading = None
    for line in meter.stdout:
        if meter_process.LINE.match(line.strip()):
            reading = time.monotonic() - started
            break
    timer.cancel()
    stopping = time.monotonic()
    meter.terminate()
    meter.wait(timeout=120)
    return reading, time.monotonic() - stopping


def main(argv):
    bin_dir = argv[1]
    count = int(argv[2]) if len(argv) > 2 and not argv[2].startswith("--") else 8000
    library = os.path.join(bin_dir, "libmib2remote.so")
    if "--library" in argv:
        library = os.path.abspath(argv[argv.index("--library") + 1])
    if os.environ.get(ALONE) is None and os.geteuid() == 0 and shutil.which("unshare"):
        return subprocess.run(["unshare", "--net", "--", sys.executable, *argv],
                              env=dict(os.environ, **{ALONE: "1"})).returncode
    if os.environ.get(ALONE) == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    reason = snmpd_fixture.skip_reason()
    if reason:
        print("skipped: " + reason)
        return 0
    env = meter_process.environment(bin_dir, VELMAR_REMOTE_AGENT_LIBRARY=library)
    device = snmpd_fixture.Snmpd()
    try:
        device.start()
        fill_time_wait(count)
        with open("/proc/net/tcp") as f:
            rows = sum(1 for _ in f) - 1
        print("connections in the host's TCP table: %d" % rows)
        reading, ending = first_reading(bin_dir, env, device, LIMIT)
        print("first reading of velmar --headless: %s; its end after SIGTERM: %.2f s" %
              ("%.2f s" % reading if reading is not None else "none within %d s" % LIMIT, ending))
        started = time.monotonic()
        ours = meter_process.run(bin_dir, "mib2walk", "--snmp", device.address(), "--snmp-secrets",
                                 device.secrets, TCP_CONN, env=env, timeout=300)
        print("mib2walk of tcpConnTable: %.2f s, %d objects%s" %
              (time.monotonic() - started, len(ours.stdout.splitlines()),
               "" if ours.returncode == 0 else " (failed: %s)" % ours.stderr.strip()))
        started = time.monotonic()
        walk = device.walk(TCP_CONN, timeout=120)
        print("snmpwalk of tcpConnTable: %.2f s, %d objects" %
              (time.monotonic() - started, len(walk.stdout.splitlines())))
    finally:
        device.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
