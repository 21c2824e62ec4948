"""The meter and mib2walk reading a real snmpd on 127.0.0.1 through the
remote agent library: the same interfaces as the local agent, the same
loopback traffic, the same walk as snmpwalk; and the faults: a device that
stops and comes back, one that is off when the meter starts, wrong secrets,
a port where nothing listens."""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import meter_process
import snmpd_fixture
from snmpd_fixture import AUTH, COMMUNITY, PRIV

SECRETS = (COMMUNITY, AUTH, PRIV)
IN_NAMESPACE = "VELMAR_SNMP_TEST_NAMESPACE"
COUNTING = ("Counter32", "Counter64", "Gauge32", "Timeticks")


def remote_args(device, v3=False):
    args = ["--snmp", device.address(), "--snmp-secrets", device.secrets]
    if v3:
        args += ["--snmp-version", "3", "--snmp-user", snmpd_fixture.USER]
    return args


def assert_no_secret(*texts):
    for text in texts:
        for secret in SECRETS:
            assert secret not in text, "a secret was printed: %r" % text


def objects(lines):
    """(name, type, value) of each walk line; counting values vary between
    two walks and compare by type only."""
    result = []
    for line in lines:
        name, _, value = line.partition(" = ")
        kind = value.split(":", 1)[0] if ":" in value else value
        result.append((name, kind, None if kind in COUNTING else value))
    return result


def check_walk(bin_dir, env, device, v3):
    for root in snmpd_fixture.ROOTS:
        ours = meter_process.run(bin_dir, "mib2walk", *remote_args(device, v3), root, env=env)
        assert ours.returncode == 0, (root, ours.returncode, ours.stderr)
        theirs = device.walk(root, v3=v3)
        assert theirs.returncode == 0, theirs.stderr
        # snmpwalk says so when a subtree is empty; mib2walk prints nothing.
        expected = [l for l in theirs.stdout.splitlines()
                    if "No Such Object" not in l and "No Such Instance" not in l]
        assert objects(ours.stdout.splitlines()) == objects(expected), (root, ours.stdout,
                                                                        expected)
        assert_no_secret(ours.stdout, ours.stderr)
    print("walk (%s): as snmpwalk" % ("v3 authPriv" if v3 else "v2c"))


def adapters(bin_dir, env, *args):
    out = meter_process.run(bin_dir, "velmar", "--list-adapters", *args, env=env)
    assert out.returncode == 0, out.stderr
    return [l.split(": ", 1)[1].rstrip(" *") for l in out.stdout.splitlines()]


class Meter:
    """velmar --headless with its lines and messages collected as they come."""

    def __init__(self, bin_dir, env, *args):
        self.process = meter_process.start_headless(bin_dir, *args, env=env)
        self.lines = []
        self.messages = []
        self.readers = [
            threading.Thread(target=self._read, args=(self.process.stdout, self.lines),
                             daemon=True),
            threading.Thread(target=self._read, args=(self.process.stderr, self.messages),
                             daemon=True)]
        for r in self.readers:
            r.start()

    @staticmethod
    def _read(stream, into):
        for line in stream:
            into.append((time.monotonic(), line.rstrip("\n")))

    def totals(self):
        return [float(meter_process.LINE.match(l).group(6)) for _, l in self.lines
                if meter_process.LINE.match(l)]

    def wait_for_message(self, pattern, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for _, m in self.messages:
                if re.search(pattern, m):
                    return m
            time.sleep(0.1)
        raise AssertionError("no message %r in %r" % (pattern, self.messages))

    def wait_for_ticks(self, count, since=0.0, seconds=20):
        """Until `count` lines came after the monotonic time `since`."""
        deadline = time.monotonic() + seconds
        while len([t for t, _ in self.lines if t > since]) < count:
            assert time.monotonic() < deadline, ("%d ticks" % count, self.lines[-3:])
            time.sleep(0.05)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=10)
        for r in self.readers:
            r.join(timeout=5)


def send_loopback(total, rate):
    """Sends `total` payload bytes over a loopback TCP connection at about
    `rate` bytes per second; returns when all has arrived."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    received = [0]

    def drain():
        c, _ = server.accept()
        while True:
            data = c.recv(1 << 16)
            if not data:
                break
            received[0] += len(data)
        c.close()

    t = threading.Thread(target=drain)
    t.start()
    client = socket.create_connection(server.getsockname())
    chunk = b"s" * 16384
    start = time.monotonic()
    sent = 0
    while sent < total:
        while sent < total and sent < rate * (time.monotonic() - start):
            client.sendall(chunk)
            sent += len(chunk)
        time.sleep(0.002)
    client.close()
    t.join()
    server.close()
    return received[0]


def check_rates(bin_dir, env, device):
    row = meter_process.loopback_row(bin_dir, env)
    remote_list = adapters(bin_dir, env, *remote_args(device))
    assert remote_list[row] == "lo", remote_list
    remote = Meter(bin_dir, env, "--adapter", str(row), *remote_args(device))
    local = Meter(bin_dir, env, "--adapter", str(row))
    for meter in (remote, local):
        meter.wait_for_ticks(4)
    before = (remote.totals()[-1], local.totals()[-1])
    payload = send_loopback(24_000_000, 6_000_000)
    # The remote meter reads the snapshot of the tick before.
    sent_at = time.monotonic()
    for meter in (remote, local):
        meter.wait_for_ticks(4, sent_at)
    after = (remote.totals()[-1], local.totals()[-1])
    remote.stop()
    local.stop()
    moved_remote = (after[0] - before[0]) * 1024
    moved_local = (after[1] - before[1]) * 1024
    # Both directions of the loopback carried the payload (and a little more:
    # headers, the polls themselves).
    print("loopback: %d payload bytes each way; counted remote %.0f, local %.0f"
          % (payload, moved_remote / 2, moved_local / 2))
    assert abs(moved_remote - moved_local) <= 0.02 * moved_local, (moved_remote, moved_local)
    assert 2 * payload <= moved_remote <= 1.02 * 2 * payload, (moved_remote, payload)
    assert_no_secret(*(m for _, m in remote.messages))


def check_stop_and_return(bin_dir, env, device):
    row = meter_process.loopback_row(bin_dir, env)
    meter = Meter(bin_dir, env, "--adapter", str(row), *remote_args(device))
    meter.wait_for_ticks(4)
    device.stop()
    report = meter.wait_for_message(r"No data from 127\.0\.0\.1:\d+ for \d+ ms", 10)
    reported_at = time.monotonic()
    # While the device is away, a burst crosses the loopback...
    send_loopback(40_000_000, 400_000_000)
    # ...and the meter goes on ticking: its tick reads the snapshot, never
    # the network, so it is not held by the requests that go unanswered
    # (one second each). A tick that waited for them would space the lines
    # a second or more apart.
    deadline = time.monotonic() + 20
    while len([t for t, _ in meter.lines if t > reported_at]) < 7 and time.monotonic() < deadline:
        time.sleep(0.1)
    stamps = [t for t, _ in meter.lines if t > reported_at][:7]
    assert len(stamps) == 7, meter.lines[-5:]
    gaps = sorted(b - a for a, b in zip(stamps, stamps[1:]))
    assert gaps[len(gaps) // 2] < 0.9, gaps
    device.start()
    back_at = time.monotonic()
    meter.wait_for_message(r"readings resumed", 15)
    meter.wait_for_ticks(4, time.monotonic())
    meter.stop()
    # The burst happened while no reading was taken: it never shows as one
    # tick's rate when readings resume.
    after = [float(meter_process.LINE.match(l).group(2)) for t, l in meter.lines
             if t > back_at and meter_process.LINE.match(l)]
    assert after and max(after) < 40_000, after  # kbit/s; the burst would be ~600 000
    print("device stopped: %r; resumed without a spike (max %.1f kbit/s)" % (report, max(after)))
    assert_no_secret(*(m for _, m in meter.messages))


def check_faults(bin_dir, env, device):
    bad = os.path.join(device.dir, "bad-secrets")
    fd = os.open(bad, os.O_WRONLY | os.O_CREAT, 0o600)
    os.write(fd, b"community=not-the-community\nauth=not-the-password\npriv=" +
             PRIV.encode() + b"\n")
    os.close(fd)
    root = ".1.3.6.1.2.1.2.2.1.2"
    cases = [
        (["--snmp", device.address(), "--snmp-secrets", bad],
         r"No answer from 127\.0\.0\.1:\d+ within \d+ ms: .*does not accept this community"),
        (["--snmp", device.address(), "--snmp-secrets", bad, "--snmp-version", "3",
          "--snmp-user", snmpd_fixture.USER], r"Authentication failure"),
        (["--snmp", device.address(), "--snmp-secrets", device.secrets, "--snmp-version", "3",
          "--snmp-user", "nobody"], r"Unknown user name"),
        (["--snmp", "127.0.0.1:%d" % snmpd_fixture.free_udp_port(), "--snmp-secrets",
          device.secrets], r"Nothing listens for SNMP at 127\.0\.0\.1:\d+"),
    ]
    for args, cause in cases:
        out = meter_process.run(bin_dir, "mib2walk", *args, root, env=env)
        assert out.returncode == 1, (args, out)
        assert re.search(cause, out.stderr), (cause, out.stderr)
        assert_no_secret(out.stdout, out.stderr)
        for word in (b"not-the-community", b"not-the-password"):
            assert word.decode() not in out.stderr
        print("fault: %s" % out.stderr.strip())
    # A secrets file others may read is refused before anything is sent.
    os.chmod(bad, 0o644)
    out = meter_process.run(bin_dir, "mib2walk", "--snmp", device.address(), "--snmp-secrets",
                            bad, env=env)
    assert out.returncode == 2 and "mode 0600" in out.stderr, out
    out = meter_process.run(bin_dir, "velmar", "--headless", "--snmp", device.address(),
                            "--snmp-secrets", bad, env=env)
    assert out.returncode == 2 and "mode 0600" in out.stderr, out


def check_away_at_start(bin_dir, env, device):
    """A router still off when the meter starts (as at boot) is waited for:
    the adapter chosen by number is kept, and readings begin once it
    answers."""
    row = meter_process.loopback_row(bin_dir, env)
    device.stop()
    meter = Meter(bin_dir, env, "--adapter", str(row), *remote_args(device))
    meter.wait_for_message(r"Nothing listens for SNMP at 127\.0\.0\.1:\d+", 10)
    device.start()
    meter.wait_for_message(r"readings resumed", 20)
    meter.stop()
    assert meter.process.returncode == 0, meter.messages
    print("away at the start: waited for, then read")


def main(bin_dir):
    reason = snmpd_fixture.skip_reason()
    if reason:
        print("skipped: " + reason)
        return 77
    # Other programs' loopback traffic would blur the known traffic: where
    # it can, the test runs in a network namespace of its own, whose
    # loopback carries only what the test sends (and the polls).
    if os.environ.get(IN_NAMESPACE) is None and os.geteuid() == 0 and shutil.which("unshare"):
        return subprocess.run(["unshare", "--net", "--", sys.executable, os.path.abspath(__file__),
                               bin_dir], env=dict(os.environ, **{IN_NAMESPACE: "1"})).returncode
    alone = os.environ.get(IN_NAMESPACE) == "1"
    if alone:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    env = meter_process.environment(
        bin_dir, VELMAR_REMOTE_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2remote.so"),
        VELMAR_REGISTRY=os.path.join(tempfile.mkdtemp(), "registry.db"))
    device = snmpd_fixture.Snmpd()
    try:
        device.start()
        local = adapters(bin_dir, env)
        remote = adapters(bin_dir, env, *remote_args(device))
        remote3 = adapters(bin_dir, env, *remote_args(device, v3=True))
        assert remote == local and remote3 == local, (remote, remote3, local)
        print("adapters: %s, as the local agent" % remote)
        check_walk(bin_dir, env, device, v3=False)
        check_walk(bin_dir, env, device, v3=True)
        check_faults(bin_dir, env, device)
        if alone:
            check_rates(bin_dir, env, device)
        else:
            print("rates: not compared (needs root for a network namespace of its own)")
        check_stop_and_return(bin_dir, env, device)
        check_away_at_start(bin_dir, env, device)
    finally:
        device.close()
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
