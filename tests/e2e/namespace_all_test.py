""""All" on real kernel devices: each case builds its network in namespaces
of its own (veth pairs, a bridge with ports, a tun VPN, devices stacked over
an uplink), runs the headless meter inside one of them, sends traffic, and
compares the meter's total with what the kernel counted on the interfaces
at that namespace's edge (/sys/class/net/*/statistics inside it). Needs
root; without it the test is skipped (exit 77)."""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import meter_process

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "netns_tools.py")
SKIPPED = 77
# Every namespace name carries this process's id, so parallel runs never
# meet and leftovers of a killed run can be told apart.
PREFIX = "velmar%d-" % os.getpid()


def ip(*args):
    out = subprocess.run(["ip", *args], capture_output=True, text=True)
    if out.returncode != 0:
        raise RuntimeError("ip %s: %s" % (" ".join(args), out.stderr.strip()))
    return out.stdout


def remove_leftovers():
    """Namespaces of earlier runs whose process is gone."""
    for line in ip("netns", "list").splitlines():
        m = re.match(r"velmar(\d+)-\S+", line)
        if m and not os.path.exists("/proc/" + m.group(1)):
            subprocess.run(["ip", "netns", "del", m.group(0)], capture_output=True)


class Network:
    """The namespaces and helper processes of one case; gone on exit."""

    def __init__(self, tag):
        self.tag = tag
        self.namespaces = []
        self.processes = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for p in self.processes:
            if p.poll() is None:
                p.kill()
            p.wait()
        for ns in self.namespaces:
            subprocess.run(["ip", "netns", "del", ns], capture_output=True)
        return False

    def namespace(self, name):
        ns = PREFIX + self.tag + "-" + name
        ip("netns", "add", ns)
        self.namespaces.append(ns)
        # No IPv6: its router solicitations and reports would add traffic
        # of their own at random moments.
        subprocess.run(["ip", "netns", "exec", ns, "sh", "-c",
                        "for c in all default; do "
                        "echo 1 > /proc/sys/net/ipv6/conf/$c/disable_ipv6; done"],
                       capture_output=True)
        ip("-n", ns, "link", "set", "lo", "up")
        return ns

    def run(self, ns, *command):
        out = subprocess.run(["ip", "netns", "exec", ns, *command], capture_output=True,
                             text=True, timeout=60)
        if out.returncode != 0:
            raise RuntimeError("%s in %s: %s" % (" ".join(command), ns, out.stderr.strip()))
        return out.stdout

    def start(self, ns, *command, env=None):
        p = subprocess.Popen(["ip", "netns", "exec", ns, *command], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.processes.append(p)
        return p

    def tool(self, ns, *args):
        """Starts a long-running traffic tool and waits until it is ready."""
        p = self.start(ns, sys.executable, TOOLS, *args)
        ready = p.stdout.readline()
        assert ready.strip() == "ready", (args, ready, p.stderr.read() if p.poll() else "")
        return p

    def send(self, ns, address, port, count, size):
        self.run(ns, sys.executable, TOOLS, "send", address, str(port), str(count), str(size))

    def bytes(self, ns, *names):
        """rx + tx bytes of each named interface, as the kernel counts them."""
        files = ["/sys/class/net/%s/statistics/%s_bytes" % (n, d) for n in names
                 for d in ("rx", "tx")]
        values = [int(v) for v in self.run(ns, "cat", *files).split()]
        return {n: values[2 * i] + values[2 * i + 1] for i, n in enumerate(names)}


class Meter:
    """velmar --headless inside a namespace, its lines read as they come."""

    def __init__(self, net, bin_dir, ns):
        self.net, self.bin_dir, self.ns = net, bin_dir, ns
        self.env = meter_process.environment(bin_dir)
        self.lines = []
        self.process = net.start(ns, os.path.join(bin_dir, "velmar"), "--headless", env=self.env)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.strip())

    def wait_lines(self, more):
        """Waits for `more` new lines (ticks); returns the last one parsed."""
        target = len(self.lines) + more
        deadline = time.monotonic() + 30
        while len(self.lines) < target:
            assert self.process.poll() is None, self.process.stderr.read()
            assert time.monotonic() < deadline, "the meter printed no line: %s" % self.lines
            time.sleep(0.05)
        m = meter_process.LINE.match(self.lines[-1])
        assert m, self.lines[-1]
        return m

    def total_bytes(self):
        return float(self.wait_lines(1).group(6)) * 1024

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        self.process.wait(timeout=10)

    def adapters(self):
        """The interfaces --list-adapters marks as counted by "All"."""
        out = self.net.run(self.ns, os.path.join(self.bin_dir, "velmar"), "--list-adapters")
        return sorted(l.partition(": ")[2][:-2] for l in out.splitlines() if l.endswith(" *"))


def check_total(meter, expected, label):
    # The line shows KBytes with two decimals: 0.005 KB is 5.12 bytes.
    total = meter.total_bytes()
    assert abs(total - expected) <= 6, "%s: meter %.0f bytes, kernel %d" % (label, total, expected)


def moved(before, after):
    return {n: after[n] - before[n] for n in after}


def test_containers_behind_a_bridge(bin_dir):
    """A host namespace with a bridge and a veth per container: "All" counts
    the ports, not the bridge; inside a container its only veth counts."""
    with Network("br") as net:
        host, ca, cb = net.namespace("host"), net.namespace("ca"), net.namespace("cb")
        ip("-n", host, "link", "add", "br0", "type", "bridge")
        ip("-n", host, "addr", "add", "10.77.0.1/24", "dev", "br0")
        ip("-n", host, "link", "set", "br0", "up")
        for port, peer, ns, address in (("hA", "cA", ca, "10.77.0.2/24"),
                                        ("hB", "cB", cb, "10.77.0.3/24")):
            ip("-n", host, "link", "add", port, "type", "veth", "peer", "name", peer, "netns", ns)
            ip("-n", host, "link", "set", port, "master", "br0", "up")
            ip("-n", ns, "addr", "add", address, "dev", peer)
            ip("-n", ns, "link", "set", peer, "up")
        net.tool(host, "sink", "9000")
        net.tool(cb, "sink", "9000")

        on_host = Meter(net, bin_dir, host)
        in_container = Meter(net, bin_dir, ca)
        assert on_host.adapters() == ["hA", "hB"]
        assert in_container.adapters() == ["cA"]
        on_host.wait_lines(1)
        in_container.wait_lines(1)
        host_before = net.bytes(host, "hA", "hB", "br0")
        ca_before = net.bytes(ca, "cA")

        net.send(ca, "10.77.0.1", 9000, 20, 1200)  # container to host
        net.send(ca, "10.77.0.3", 9000, 20, 1200)  # container to container, bridged
        net.send(cb, "10.77.0.1", 9000, 10, 800)
        on_host.wait_lines(3)
        in_container.wait_lines(3)
        host_moved = moved(host_before, net.bytes(host, "hA", "hB", "br0"))
        ca_moved = moved(ca_before, net.bytes(ca, "cA"))
        assert host_moved["br0"] > 20 * 1200, host_moved  # counting it would count twice

        check_total(on_host, host_moved["hA"] + host_moved["hB"], "host")
        check_total(in_container, ca_moved["cA"], "container")
        on_host.stop()
        in_container.stop()


def uplink(net, vpn, peer):
    """A veth from `vpn` (10.66.0.1) to `peer` (10.66.0.2)."""
    ip("-n", vpn, "link", "add", "up0", "type", "veth", "peer", "name", "down0", "netns", peer)
    ip("-n", vpn, "addr", "add", "10.66.0.1/24", "dev", "up0")
    ip("-n", vpn, "link", "set", "up0", "up")
    ip("-n", peer, "addr", "add", "10.66.0.2/24", "dev", "down0")
    ip("-n", peer, "link", "set", "down0", "up")


def check_vpn(net, bin_dir, vpn, tunnel, address):
    """Traffic into `tunnel` counts once, as the uplink's bytes."""
    meter = Meter(net, bin_dir, vpn)
    assert meter.adapters() == ["up0"], meter.adapters()
    meter.wait_lines(1)
    before = net.bytes(vpn, "up0", tunnel)
    net.send(vpn, address, 5555, 30, 1000)  # into the tunnel
    meter.wait_lines(3)
    after = moved(before, net.bytes(vpn, "up0", tunnel))
    assert after[tunnel] >= 30 * 1000 and after["up0"] > after[tunnel], after
    check_total(meter, after["up0"], tunnel)
    meter.stop()


def test_vpn_over_an_uplink(bin_dir):
    """A tun VPN whose packets a user-space program sends on over the veth
    uplink, and a WireGuard tunnel where the kernel and wireguard-tools have
    it: the uplink counts, the tunnel's bytes are not counted twice."""
    with Network("tun") as net:
        vpn, peer = net.namespace("vpn"), net.namespace("peer")
        uplink(net, vpn, peer)
        ip("-n", vpn, "tuntap", "add", "tun0", "mode", "tun")
        ip("-n", vpn, "addr", "add", "10.99.0.1/24", "dev", "tun0")
        ip("-n", vpn, "link", "set", "tun0", "up")
        net.tool(peer, "sink", "5555")
        net.tool(vpn, "tunnel", "tun0", "10.66.0.2", "5555")
        check_vpn(net, bin_dir, vpn, "tun0", "10.99.0.2")

    with Network("wg") as net:
        vpn, peer = net.namespace("vpn"), net.namespace("peer")
        uplink(net, vpn, peer)
        try:
            ip("-n", vpn, "link", "add", "wg0", "type", "wireguard")
            ip("-n", peer, "link", "add", "wg0", "type", "wireguard")
        except RuntimeError as e:
            print("SKIP WireGuard over a veth: this kernel cannot make one (%s)" % e)
            return
        if shutil.which("wg") is None:
            print("SKIP WireGuard over a veth: wireguard-tools (wg) is not installed")
            return
        keys = {}
        for ns in (vpn, peer):
            private = subprocess.run(["wg", "genkey"], capture_output=True, text=True,
                                     check=True).stdout
            public = subprocess.run(["wg", "pubkey"], input=private, capture_output=True,
                                    text=True, check=True).stdout.strip()
            key_file = tempfile.NamedTemporaryFile("w", delete=False)
            key_file.write(private)
            key_file.close()
            keys[ns] = (key_file.name, public)
        for ns, other, mine, theirs in ((vpn, peer, "10.98.0.1", "10.66.0.2"),
                                        (peer, vpn, "10.98.0.2", "10.66.0.1")):
            net.run(ns, "wg", "set", "wg0", "private-key", keys[ns][0], "listen-port", "51820",
                    "peer", keys[other][1], "endpoint", theirs + ":51820",
                    "allowed-ips", "10.98.0.0/24")
            ip("-n", ns, "addr", "add", mine + "/24", "dev", "wg0")
            ip("-n", ns, "link", "set", "wg0", "up")
            os.unlink(keys[ns][0])
        net.tool(peer, "sink", "5555")
        check_vpn(net, bin_dir, vpn, "wg0", "10.98.0.2")


def test_a_dummy_device_beside_the_uplink(bin_dir):
    """Bytes sent into a dummy device go nowhere else: it counts with the
    veth, each once."""
    with Network("dummy") as net:
        near, far = net.namespace("near"), net.namespace("far")
        uplink(net, near, far)
        try:
            ip("-n", near, "link", "add", "dummy0", "type", "dummy")
        except RuntimeError as e:
            print("SKIP a dummy device: this kernel cannot make one (%s)" % e)
            return
        ip("-n", near, "addr", "add", "10.33.0.1/24", "dev", "dummy0")
        ip("-n", near, "link", "set", "dummy0", "up")
        net.tool(far, "sink", "5555")
        meter = Meter(net, bin_dir, near)
        assert meter.adapters() == ["dummy0", "up0"], meter.adapters()
        meter.wait_lines(1)
        before = net.bytes(near, "up0", "dummy0")
        net.send(near, "10.33.0.2", 5555, 10, 900)
        net.send(near, "10.66.0.2", 5555, 10, 900)
        meter.wait_lines(3)
        after = moved(before, net.bytes(near, "up0", "dummy0"))
        assert after["dummy0"] >= 10 * 900, after
        check_total(meter, after["up0"] + after["dummy0"], "dummy")
        meter.stop()


def test_a_forwarding_router_counts_its_uplink(bin_dir):
    """A Linux router (ip_forward=1) between a LAN and its uplink: every
    forwarded byte crosses both veths, so "All" counts the interface its
    default route leaves by, and each byte once."""
    with Network("fwd") as net:
        lan, router, wan = net.namespace("lan"), net.namespace("router"), net.namespace("wan")
        ip("-n", router, "link", "add", "lan0", "type", "veth", "peer", "name", "eth0",
           "netns", lan)
        ip("-n", router, "link", "add", "wan0", "type", "veth", "peer", "name", "isp0",
           "netns", wan)
        for ns, dev, address in ((router, "lan0", "10.55.1.1/24"), (lan, "eth0", "10.55.1.2/24"),
                                 (router, "wan0", "10.55.2.1/24"), (wan, "isp0", "10.55.2.2/24")):
            ip("-n", ns, "addr", "add", address, "dev", dev)
            ip("-n", ns, "link", "set", dev, "up")
        ip("-n", router, "route", "add", "default", "via", "10.55.2.2")
        ip("-n", lan, "route", "add", "default", "via", "10.55.1.1")
        ip("-n", wan, "route", "add", "10.55.1.0/24", "via", "10.55.2.1")
        net.run(router, "sh", "-c", "echo 1 > /proc/sys/net/ipv4/ip_forward")
        net.tool(wan, "sink", "7000")
        meter = Meter(net, bin_dir, router)
        assert meter.adapters() == ["wan0"], meter.adapters()
        listing = subprocess.run(["ip", "netns", "exec", router, os.path.join(bin_dir, "velmar"),
                                  "--list-adapters"], capture_output=True, text=True, timeout=60)
        assert "counts the uplink" in listing.stderr, listing.stderr
        meter.wait_lines(1)
        before = net.bytes(router, "lan0", "wan0")
        net.send(lan, "10.55.2.2", 7000, 40, 1200)  # forwarded: crosses lan0, then wan0
        meter.wait_lines(3)
        after = moved(before, net.bytes(router, "lan0", "wan0"))
        assert after["lan0"] >= 40 * 1200 and after["wan0"] >= 40 * 1200, after
        check_total(meter, after["wan0"], "router")
        print("router: counted %d bytes, the kernel's wan0 %d, lan0 %d (not added)"
              % (meter.total_bytes(), after["wan0"], after["lan0"]))
        meter.stop()


# Devices stacked over a veth uplink: how to make the upper one here and
# what the far end needs to receive its frames.
STACKED = {
    "macvlan": (["link", "add", "up1", "link", "up0", "type", "macvlan", "mode", "bridge"], None),
    "vlan": (["link", "add", "link", "up0", "name", "up1", "type", "vlan", "id", "5"],
             ["link", "add", "link", "down0", "name", "down1", "type", "vlan", "id", "5"]),
    "bond": (["link", "add", "up1", "type", "bond"], None),
}


def test_devices_stacked_over_an_uplink(bin_dir):
    """A macvlan, a VLAN and a bond over a veth: only the veth counts. Kinds
    this kernel cannot make are skipped with the kernel's reason."""
    for kind, (make, far) in STACKED.items():
        with Network(kind[:4]) as net:
            near, far_ns = net.namespace("near"), net.namespace("far")
            ip("-n", near, "link", "add", "up0", "type", "veth", "peer", "name", "down0",
               "netns", far_ns)
            try:
                ip("-n", near, *make)
                if far:
                    ip("-n", far_ns, *far)
            except RuntimeError as e:
                print("SKIP %s over a veth: this kernel cannot make one (%s)" % (kind, e))
                continue
            if kind == "bond":
                ip("-n", near, "link", "set", "up0", "master", "up1")
            far_if = "down1" if far else "down0"
            ip("-n", near, "link", "set", "up0", "up")
            ip("-n", near, "addr", "add", "10.55.0.1/24", "dev", "up1")
            ip("-n", near, "link", "set", "up1", "up")
            ip("-n", far_ns, "link", "set", "down0", "up")
            if far:
                ip("-n", far_ns, "link", "set", far_if, "up")
            ip("-n", far_ns, "addr", "add", "10.55.0.2/24", "dev", far_if)
            net.tool(far_ns, "sink", "6000")

            meter = Meter(net, bin_dir, near)
            assert meter.adapters() == ["up0"], (kind, meter.adapters())
            meter.wait_lines(1)
            before = net.bytes(near, "up0", "up1")
            net.send(near, "10.55.0.2", 6000, 25, 1100)
            meter.wait_lines(3)
            after = moved(before, net.bytes(near, "up0", "up1"))
            assert after["up1"] >= 25 * 1100, (kind, after)
            check_total(meter, after["up0"], kind)
            meter.stop()
            print("%s over a veth ok" % kind)


def test_an_interface_that_comes_and_goes(bin_dir):
    """A veth pair that already carried traffic elsewhere moves into the
    meter's namespace, carries some more and is deleted, while the meter
    runs: no tick shows more than what moved while it was there."""
    with Network("move") as net:
        meter_ns, q, z, z2 = (net.namespace(n) for n in ("meter", "q", "z", "z2"))
        ip("-n", meter_ns, "link", "add", "m0", "type", "veth", "peer", "name", "q0", "netns", q)
        ip("-n", meter_ns, "link", "set", "m0", "up")
        ip("-n", q, "link", "set", "q0", "up")
        ip("-n", z, "link", "add", "x1", "type", "veth", "peer", "name", "x2", "netns", z2)
        ip("-n", z, "addr", "add", "10.44.0.1/24", "dev", "x1")
        ip("-n", z, "link", "set", "x1", "up")
        ip("-n", z2, "addr", "add", "10.44.0.2/24", "dev", "x2")
        ip("-n", z2, "link", "set", "x2", "up")
        net.tool(z2, "sink", "4444")
        net.send(z, "10.44.0.2", 4444, 2000, 1400)  # history the meter never saw
        earlier = net.bytes(z, "x1")["x1"]

        meter = Meter(net, bin_dir, meter_ns)
        meter.wait_lines(2)
        ip("-n", z, "link", "set", "x1", "netns", meter_ns)
        ip("-n", meter_ns, "addr", "add", "10.44.0.1/24", "dev", "x1")
        ip("-n", meter_ns, "link", "set", "x1", "up")
        meter.wait_lines(3)  # its first reading, then a quiet tick
        before = net.bytes(meter_ns, "x1")
        assert before["x1"] >= earlier >= 2000 * 1400
        net.send(meter_ns, "10.44.0.2", 4444, 30, 1000)
        meter.wait_lines(3)
        sent = moved(before, net.bytes(meter_ns, "x1"))["x1"]
        ip("-n", meter_ns, "link", "del", "x1")
        meter.wait_lines(3)
        check_total(meter, sent, "moved veth")
        assert 30 * 1000 <= sent < earlier
        # A tick lasts at least half a second, so rate * 0.5 s is at most
        # what it moved; the 2.8 MB of history would show far above `sent`.
        for line in meter.lines:
            m = meter_process.LINE.match(line)
            least = (float(m.group(2)) + float(m.group(3))) * 1000 / 8 * 0.5
            assert least <= sent + 100, (line, sent)
        meter.stop()


def main(bin_dir):
    # A time-out's SIGTERM unwinds like an error, so every namespace goes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    if os.geteuid() != 0:
        print("SKIP: network namespaces need root (run as root to test \"All\" on real devices)")
        sys.exit(SKIPPED)
    try:
        remove_leftovers()
        with Network("probe") as net:
            net.namespace("probe")
    except (RuntimeError, OSError) as e:
        print("SKIP: cannot make network namespaces here: %s" % e)
        sys.exit(SKIPPED)
    for name, fn in sorted(globals().items()):
        if name.startswith("test_"):
            fn(bin_dir)
            print(name, "ok", flush=True)


if __name__ == "__main__":
    main(sys.argv[1])
