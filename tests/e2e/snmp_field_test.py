"""The meter against recordings of the kinds of device the field has,
served by the SNMP simulator: sparse tables, a 64-bit ifInOctets, a slow
agent, thousands of interfaces, virtual interfaces that claim a connector,
a forwarding device with default routes, and an interface that goes away
before the chosen one. Each port's counters grow at a known rate; the
meter must read it within 2 %.

Slow (about a minute and a half): each case starts a real meter against
the simulator, which answers one request at a time, and reads several
0.5 s ticks; the slow agent takes most of a second a request and the big
devices thousands of rows a walk."""
import json
import os
import re
import signal
import subprocess
import sys
import threading
import time

import meter_process
import snmpsim_fixture
from snmpsim_fixture import Port, recording

MBIT = 1_000_000 / 8  # bytes per second


class Meter:
    """velmar --headless --format json, its lines and messages as they come."""

    def __init__(self, bin_dir, env, *args):
        self.process = meter_process.start_headless(bin_dir, "--format", "json", *args, env=env)
        self.lines, self.messages = [], []
        for stream, into in ((self.process.stdout, self.lines),
                             (self.process.stderr, self.messages)):
            threading.Thread(target=self._read, args=(stream, into), daemon=True).start()

    @staticmethod
    def _read(stream, into):
        for line in stream:
            into.append(line.rstrip("\n"))

    def wait_for_message(self, pattern, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            found = [m for m in self.messages if re.search(pattern, m)]
            if found:
                return found[0]
            time.sleep(0.1)
        raise AssertionError("no message %r in %r" % (pattern, self.messages))

    def readings(self, count, seconds, settle=1):
        """The next `count` ticks, `settle` ticks after the first that moved."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            rows = [json.loads(l) for l in self.lines if l.startswith("{")]
            moving = [i for i, r in enumerate(rows) if r["down_bps"] or r["up_bps"]]
            if moving and len(rows) >= moving[0] + settle + count:
                moving[0] += settle - 1
                if os.environ.get("VELMAR_FIELD_DEBUG"):
                    print([(r["time"][-9:], r["down_bps"]) for r in rows], self.messages)
                return rows[moving[0] + 1:moving[0] + 1 + count]
            time.sleep(0.2)
        raise AssertionError("too few readings: %r %r" % (self.lines[-5:], self.messages))

    def rows_after(self, seen, count, seconds):
        """The `count` JSON lines that follow the first `seen` lines, once
        they have come."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            rows = [json.loads(l) for l in self.lines[seen:] if l.startswith("{")]
            if len(rows) >= count:
                return rows[:count]
            time.sleep(0.1)
        raise AssertionError("too few lines: %r %r" % (self.lines[-5:], self.messages))

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=10)


def within(value, expected, tolerance=0.02):
    return abs(value - expected) <= tolerance * expected if expected else value == 0


def check_rates(rows, down, up, what):
    downs = [r["down_bps"] for r in rows]
    ups = [r["up_bps"] for r in rows]
    assert all(within(d, down * 8) for d in downs), (what, "down", down * 8, downs)
    assert all(within(u, up * 8) for u in ups), (what, "up", up * 8, ups)
    worst = max(abs(v - e * 8) / (e * 8) for vs, e in ((downs, down), (ups, up)) if e
                for v in vs)
    print("%s: %d ticks, down %.0f bit/s, up %.0f bit/s, worst %.2f %% off"
          % (what, len(rows), down * 8, up * 8, 100 * worst))


def listing(bin_dir, env, sim, community):
    out = meter_process.run(bin_dir, "velmar", "--list-adapters", "--snmp", sim.address(),
                            "--snmp-secrets", sim.secrets(community), env=env, timeout=120)
    assert out.returncode == 0, (community, out.stdout, out.stderr)
    # The rule "All" followed is told on stderr; the list stays as it was.
    rule = [l for l in out.stderr.splitlines() if '"All" (*) counts' in l]
    assert len(rule) == 1, out.stderr
    return rule + out.stdout.splitlines()[1:]


def measure(bin_dir, env, sim, community, adapter, ticks=8, seconds=60, settle=1):
    meter = Meter(bin_dir, env, "--adapter", adapter, "--snmp", sim.address(), "--snmp-secrets",
                  sim.secrets(community))
    try:
        return meter.readings(ticks, seconds, settle), meter
    finally:
        meter.stop()


def case_sparse(bin_dir, env, sim):
    # A firewall's ifTable without four columns, its last row ending early;
    # packet counters the old position reading took for octets.
    ports = [Port(1, "loopback", type=24, connector=2, gaps=(11, 12, 17, 18)),
             Port(2, "ethernet1/1", name="e1/1", alias="to core", rate_in=1 * MBIT,
                  rate_out=2 * MBIT, gaps=(11, 12, 17, 18)),
             Port(3, "ethernet1/2", name="e1/2", gaps=(11, 12, 17, 18, 19, 20, 21, 22))]
    sim.write("sparse", recording(ports))
    # A 64-bit ifInOctets and no ifXTable, as a firewall sends it.
    sim.write("wide", recording([Port(1, "lo", type=24, connector=0, hc=False),
                                 Port(7, "port7", hc=False, in_as_counter64=True,
                                      rate_in=3 * MBIT, rate_out=MBIT / 2)]))
    lines = listing(bin_dir, env, sim, "sparse")
    assert lines[2] == "2: e1/1 (to core) *" and lines[3] == "3: e1/2 *", lines
    assert "with a connector" in lines[0], lines
    rows, _ = measure(bin_dir, env, sim, "sparse", "e1/1")
    check_rates(rows, 1 * MBIT, 2 * MBIT, "sparse ifTable, by name")
    assert all(r["adapter"] == "e1/1" for r in rows), rows
    rows, _ = measure(bin_dir, env, sim, "wide", "2")
    check_rates(rows, 3 * MBIT, MBIT / 2, "Counter64 ifInOctets")


def case_slow(bin_dir, env, sim):
    # Answers delayed 0.3 to 0.9 s (within the request time-out of 1 s):
    # ticks (every 0.5 s) find no new reading more often than not, and keep
    # the last rate rather than reading 0 and then twice the rate.
    sim.write("slow", recording([Port(1, "Gi1/1", rate_in=10 * MBIT, rate_out=2 * MBIT)],
                                slow_ms=600))
    # The first readings of a new choice are asked apart from the polls;
    # on a simulator that answers one request at a time they disagree at
    # first (a known flaw, see docs/design.md).
    rows, _ = measure(bin_dir, env, sim, "slow", "1", ticks=16, seconds=90, settle=6)
    check_rates(rows, 10 * MBIT, 2 * MBIT, "slow agent (0.3-0.9 s)")


def case_many(bin_dir, env, sim):
    ports = [Port(i, "GigabitEthernet%d/%d" % (i // 48, i % 48), connector=1,
                  gaps=(11, 12, 13, 14, 15, 17, 18, 19, 20)) for i in range(1, 3001)]
    ports[2998].rate_in, ports[2998].rate_out = 2 * MBIT, 3 * MBIT
    sim.write("many", recording(ports))
    name = ports[2998].descr
    # The walk that found the set asks for the next fetch of the tables
    # (tens of thousands of objects), which the simulator sends between the
    # polls: single readings then stray by up to about 4 % (a known flaw,
    # see docs/design.md); their mean is held to 2 %, each to 5 %.
    rows, meter = measure(bin_dir, env, sim, "many", name, ticks=6, seconds=180, settle=4)
    mean = {k: sum(r[k] for r in rows) / len(rows) for k in ("down_bps", "up_bps")}
    check_rates([mean], 2 * MBIT, 3 * MBIT, "3,000 interfaces, the 2,999th, mean of 6")
    assert all(within(r["down_bps"], 16 * MBIT, 0.05) for r in rows), rows
    assert all(within(r["up_bps"], 24 * MBIT, 0.05) for r in rows), rows
    assert any("has 3000 interfaces: waiting for its first answer" in m
               for m in meter.messages), meter.messages


def case_virtual(bin_dir, env, sim):
    # A Linux-based access point: VLANs, bridges, a tunnel and a bond all
    # claim a connector; their bytes also cross eth0 or ath0.
    ports = [Port(1, "lo", type=24, connector=2),
             Port(2, "eth0", rate_in=2 * MBIT, rate_out=MBIT),
             Port(3, "eth0.40", type=135, rate_in=2 * MBIT, rate_out=MBIT),
             Port(4, "ath0", type=71, rate_in=MBIT, rate_out=MBIT / 2),
             Port(5, "ath0.40", type=135, rate_in=MBIT, rate_out=MBIT / 2),
             Port(6, "br0", type=209, rate_in=3 * MBIT, rate_out=1.5 * MBIT),
             Port(7, "tun0", type=131, rate_in=MBIT),
             Port(8, "bond0", type=161, rate_in=MBIT)]
    sim.write("virtual", recording(ports))
    lines = listing(bin_dir, env, sim, "virtual")
    assert "with a connector" in lines[0], lines
    assert [l for l in lines if l.endswith(" *")] == ["2: eth0 *", "4: ath0 *"], lines
    rows, _ = measure(bin_dir, env, sim, "virtual", "0")
    check_rates(rows, 3 * MBIT, 1.5 * MBIT, "All over virtual interfaces")


def case_forwarding(bin_dir, env, sim):
    # A router: what it forwards crosses a LAN port and an uplink. Its
    # IPv4 default route leaves by wan1 (ipRouteTable), its IPv6 one by
    # wan2 (inetCidrRouteTable); a /24 route leaves by a LAN port.
    ports = [Port(1, "wan1", rate_in=4 * MBIT, rate_out=MBIT),
             Port(2, "wan2", rate_in=2 * MBIT, rate_out=MBIT),
             Port(3, "lan1", rate_in=2 * MBIT, rate_out=6 * MBIT),
             Port(4, "lan2", rate_out=MBIT / 2)]
    v6 = "2.16" + ".0" * 16 + ".0.2.0.0.2.16.254.128" + ".0" * 13 + ".1"
    extra = [("1.3.6.1.2.1.4.21.1.2.0.0.0.0", "2|1"),
             ("1.3.6.1.2.1.4.21.1.11.0.0.0.0", "64|0.0.0.0"),
             ("1.3.6.1.2.1.4.21.1.2.192.168.1.0", "2|3"),
             ("1.3.6.1.2.1.4.21.1.11.192.168.1.0", "64|255.255.255.0"),
             ("1.3.6.1.2.1.4.24.7.1.7.1.4.192.168.1.0.24.2.0.0.1.4.0.0.0.0", "2|3"),
             ("1.3.6.1.2.1.4.24.7.1.7." + v6, "2|2")]
    sim.write("router", recording(ports, extra, forwarding=True))
    lines = listing(bin_dir, env, sim, "router")
    assert "the uplink" in lines[0], lines
    assert [l for l in lines if l.endswith(" *")] == ["1: wan1 *", "2: wan2 *"], lines
    rows, _ = measure(bin_dir, env, sim, "router", "0")
    check_rates(rows, 6 * MBIT, 2 * MBIT, "All on a forwarding device: the uplinks")


def case_vanishing(bin_dir, env, sim):
    # Gi0/1 is chosen as adapter 3; a tunnel before it goes away, then
    # Gi0/1 itself.
    tunnel = Port(2, "Tunnel0", type=131, connector=2)
    chosen = Port(3, "Gi0/1", rate_in=MBIT, rate_out=MBIT / 4)
    other = Port(4, "Gi0/2", rate_in=4 * MBIT, rate_out=4 * MBIT)
    lo = Port(1, "lo", type=24, connector=2)
    sim.write("edge", recording([lo, tunnel, chosen, other]))
    sim.start("edge")
    meter = Meter(bin_dir, env, "--adapter", "3", "--snmp", sim.address(), "--snmp-secrets",
                  sim.secrets("edge"))
    try:
        check_rates(meter.readings(4, 60), MBIT, MBIT / 4, "Gi0/1 as adapter 3")
        sim.stop()
        sim.write("edge", recording([lo, chosen, other]))
        sim.start("edge")
        # Eight ticks for the meter to notice the set changed and walk again
        # (nothing it prints tells when), then six read after it.
        rows = meter.rows_after(len(meter.lines) + 8, 6, 30)
        check_rates([r for r in rows if r["down_bps"]], MBIT, MBIT / 4,
                    "Gi0/1 after the tunnel before it went away")
        assert rows and all(r["adapter"] == "Gi0/1" for r in rows), rows
        sim.stop()
        sim.write("edge", recording([lo, other]))
        sim.start("edge")
        told = meter.wait_for_message(r'The adapter "Gi0/1" is not in the list now', 20)
        # Past the tick that told it, then four ticks of zeros.
        rows = meter.rows_after(len(meter.lines) + 2, 4, 30)
        assert rows and all(r["down_bps"] == 0 and r["up_bps"] == 0 for r in rows), rows
        assert len([m for m in meter.messages if "not in the list" in m]) == 1, meter.messages
        print("vanished adapter: %r, zeros after it" % told)
    finally:
        meter.stop()
        sim.stop()


def case_errors(bin_dir, env, sim):
    bare = os.path.join(sim.dir, "empty.secrets")
    fd = os.open(bare, os.O_WRONLY | os.O_CREAT, 0o600)
    os.close(fd)
    for args in (["--list-adapters"], ["--headless"]):
        out = meter_process.run(bin_dir, "velmar", *args, "--snmp", sim.address(),
                                "--snmp-secrets", bare, env=env)
        assert out.returncode == 1, out
        lines = out.stderr.strip().splitlines()
        assert len(lines) == 1 and sim.address() in lines[0] and "community=" in lines[0] \
            and "Error: Error" not in lines[0], out.stderr
    print("no community: %s" % lines[0])
    # A subtree the tables do not mirror, strings with quotes: as snmpwalk.
    ours = meter_process.run(bin_dir, "mib2walk", "--snmp", sim.address(), "--snmp-secrets",
                             sim.secrets("sparse"), ".1.3.6.1.2.1.1", env=env)
    theirs = subprocess.run(["snmpwalk", "-v2c", "-c", "sparse", "-On", sim.address(),
                             ".1.3.6.1.2.1.1"], capture_output=True, text=True)
    assert ours.returncode == 0 and ours.stdout == theirs.stdout, (ours, theirs.stdout)
    assert '\\"as recorded\\"' in ours.stdout, ours.stdout
    print("mib2walk of the system group: as snmpwalk")


def main(bin_dir):
    reason = snmpsim_fixture.skip_reason()
    if reason:
        print("skipped: " + reason)
        return 77
    env = snmpsim_fixture.meter_environment(bin_dir)
    only = sys.argv[2:]
    # One simulator per kind of case: it answers one request at a time, so
    # a slow or a big device would hold the others back.
    for cases, prepared in (([case_sparse, case_virtual, case_forwarding, case_errors], True),
                            ([case_slow], True), ([case_many], True), ([case_vanishing], False)):
        cases = [c for c in cases if not only or c.__name__ in only]
        if not cases:
            continue
        sim = snmpsim_fixture.Simulator()
        try:
            if prepared:
                # The recordings first: the simulator indexes them when it starts.
                prepare(sim, cases)
                sim.start()
            for c in cases:
                c(bin_dir, env, sim)
        finally:
            sim.close()
    print("ok")
    return 0


def prepare(sim, cases):
    """Writes every recording a group of cases needs before the simulator
    starts (it indexes its data files when it starts)."""
    for c in cases:
        if c in (case_sparse, case_virtual, case_forwarding, case_slow, case_many):
            recorder = _Recorder(sim)
            try:
                c(None, None, recorder)
            except _Recorded:
                pass


class _Recorded(Exception):
    pass


class _Recorder:
    """A stand-in simulator that only takes the recordings a case writes."""

    def __init__(self, sim):
        self.sim = sim

    def write(self, community, lines):
        self.sim.write(community, lines)

    def __getattr__(self, name):
        raise _Recorded()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
