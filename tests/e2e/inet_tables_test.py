"""The address-family-neutral tables of the local agent against net-snmp's
snmpd walking the same kernel tables, in a network namespace of the test's
own: IPv4 and IPv6 addresses and routes, a dual-stack listener with
connections of both families, UDP sockets, neighbours of every kind, and
interfaces named in UTF-8 and in bytes that are no UTF-8 at all. The same
namespace then serves the meter's adapter list, its /metrics and the NetStat
pages. Needs root (skipped otherwise, exit 77)."""
import os
import re
import shutil
import socket
import subprocess
import sys
import time
import urllib.request

import meter_process
import snmpd_fixture

SKIPPED = 77
INSIDE = "--inside"
PREFIX = "velmar%d-inet-" % os.getpid()
# An interface named in UTF-8, and one whose name is not UTF-8 at all.
UTF8_NAME = "ünï"
RAW_NAME = b"v\xffx"
HELPER = r'''
import socket, sys, time
def tcp(family, address, v6only=None):
    s = socket.socket(family, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if v6only is not None:
        s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, v6only)
    s.bind(address)
    return s
dual = tcp(socket.AF_INET6, ("::", 0), 0); dual.listen()
port = dual.getsockname()[1]
v4 = socket.create_connection(("127.0.0.1", port)); a4 = dual.accept()[0]
v6 = socket.create_connection(("::1", port)); a6 = dual.accept()[0]
only4 = tcp(socket.AF_INET, ("127.0.0.1", 0)); only4.listen()
only6 = tcp(socket.AF_INET6, ("2001:db8:9::1", 0), 1); only6.listen()
far = socket.create_connection(("2001:db8:9::1", only6.getsockname()[1])); near = only6.accept()[0]
bound = tcp(socket.AF_INET, ("127.0.0.1", 0))  # bound, neither listening nor connected
gone = socket.create_connection(("127.0.0.1", port)); dual.accept()[0].close(); gone.close()
udp = []
for family, address, peer in [(socket.AF_INET, ("0.0.0.0", 0), None),
                              (socket.AF_INET6, ("::1", 0), None),
                              (socket.AF_INET, ("127.0.0.1", 0), ("127.0.0.1", 9)),
                              (socket.AF_INET6, ("::", 0), ("2001:db8:9::2", 9))]:
    u = socket.socket(family, socket.SOCK_DGRAM); u.bind(address)
    if peer: u.connect(peer)
    udp.append(u)
print("ready", port, flush=True)
sys.stdin.read()
'''


def run(*command, check=True):
    out = subprocess.run(command, capture_output=True, text=True, timeout=60)
    if check and out.returncode != 0:
        raise RuntimeError("%s: %s" % (" ".join(command), out.stderr.strip()))
    return out.stdout


def walk_lines(text):
    """name -> (type, value) of each walk line."""
    objects = {}
    for line in text.splitlines():
        name, _, value = line.partition(" = ")
        kind = value.split(":", 1)[0] if ":" in value else value
        objects[name] = (kind, None if kind in ("Timeticks", "Counter32") else value)
    return objects


ROOTS = {  # table: (root, the process column or None)
    "tcpConnectionTable": (".1.3.6.1.2.1.6.19", 8),
    "tcpListenerTable": (".1.3.6.1.2.1.6.20", 4),
    "udpEndpointTable": (".1.3.6.1.2.1.7.7", 8),
    "inetCidrRouteTable": (".1.3.6.1.2.1.4.24.7", None),
    "ipAddressTable": (".1.3.6.1.2.1.4.34", None),
    "ipNetToPhysicalTable": (".1.3.6.1.2.1.4.35", None),
}


def split_name(root, name):
    """(column, index) of an object under the table's entry."""
    rest = name[len(root) + len(".1."):].split(".")
    return int(rest[0]), ".".join(rest[1:])


def route_index_without_policy(index):
    """An inetCidrRouteTable index with its policy left out: snmpd numbers
    IPv6 routes by their place in its list, the agent by their interface."""
    n = [int(x) for x in index.split(".")]
    at = 2 + n[1] + 1  # past the destination's type, length, octets and the prefix length
    kept = n[:at] + n[at + 1 + n[at]:]
    return ".".join(map(str, kept)) if n[0] == 2 else index


def is_ipv4_route_of_another_table(index):
    n = [int(x) for x in index.split(".")]
    return n[0] == 1 and n[2 + n[1] + 1] == 4


def table_rows(root, process_column, text, foreign_pids):
    """Column -> index -> (type, value), without the rows of processes that
    are not the same in two walks (the agents and their clients)."""
    rows = {}
    for name, value in walk_lines(text).items():
        column, index = split_name(root, name)
        if root.endswith("4.24.7"):
            # snmpd reads IPv4 routes of the main table alone (the agent
            # names another table in the policy) and calls every route's
            # protocol local (column 9).
            if column == 9 or is_ipv4_route_of_another_table(index):
                continue
            index = route_index_without_policy(index)
        rows.setdefault(column, {})[index] = value
    if process_column is not None:
        foreign = {i for i, (_, v) in rows.get(process_column, {}).items()
                   if int(v.split(": ")[1]) in foreign_pids}
        rows = {c: {i: v for i, v in r.items() if i not in foreign} for c, r in rows.items()}
    return rows


def both_walks(bin_dir, env, device, root, process_column):
    ours = meter_process.run(bin_dir, "mib2walk", root, env=env)
    assert ours.returncode == 0, ours.stderr
    theirs = subprocess.Popen(
        ["snmpwalk", "-m", "", "-v2c", "-c", snmpd_fixture.COMMUNITY, "-On", "-Oe", "-t", "5",
         "-r", "0", device.address(), root], stdout=subprocess.PIPE, text=True)
    expected, _ = theirs.communicate(timeout=60)
    foreign = {device.process.pid, theirs.pid}
    return (table_rows(root, process_column, ours.stdout, foreign),
            table_rows(root, process_column, expected, foreign))


def compare_with_snmpd(bin_dir, env, device):
    counts = {}
    for table, (root, process_column) in ROOTS.items():
        # The two walks are a moment apart; a neighbour the kernel is
        # confirming meanwhile (DELAY, PROBE) may change its state in
        # between, so a table that differs is walked again, a little later.
        for attempt in range(5):
            a, b = both_walks(bin_dir, env, device, root, process_column)
            if a == b:
                break
            time.sleep(1)
        assert a == b, "%s differs from snmpd's:\nours %r\nsnmpd %r" % (table, a, b)
        rows = len(next(iter(a.values()), {}))
        assert rows > 0, table
        counts[table] = rows
    print("equal to snmpd's walk: " + ", ".join("%s %d rows" % kv for kv in counts.items()))
    return counts


def check_process_table(bin_dir, env, helper_pid):
    out = meter_process.run(bin_dir, "mib2walk", ".1.3.6.1.4.1.32473.1.1", env=env).stdout
    names = dict(re.findall(r'^\.1\.3\.6\.1\.4\.1\.32473\.1\.1\.1\.2\.(\d+) = STRING: "(.*)"$',
                            out, re.M))
    assert names.get(str(helper_pid)) == "python3", (helper_pid, out)
    for pid, name in names.items():
        with open("/proc/%s/comm" % pid) as f:
            assert f.read().strip() == name, (pid, name)
    print("process table: %d owners, python3 holds the helper's sockets" % len(names))


def free_tcp_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def check_names(bin_dir, env):
    """Interface names in UTF-8 read as such in the adapter list and the
    metrics labels; a name that is not UTF-8 shows its bytes escaped."""
    out = meter_process.run(bin_dir, "velmar", "--list-adapters", env=env)
    assert out.returncode == 0, out.stderr
    names = [l.split(": ", 1)[1].rstrip(" *") for l in out.stdout.splitlines()]
    assert UTF8_NAME in names and "v\\xffx" in names, names
    port = free_tcp_port()
    meter = meter_process.start_headless(bin_dir, "--metrics", str(port), env=env)
    try:
        deadline = time.monotonic() + 15
        text = ""
        while time.monotonic() < deadline and 'interface="%s"' % UTF8_NAME not in text:
            time.sleep(0.5)
            try:
                with urllib.request.urlopen("http://127.0.0.1:%d/metrics" % port, timeout=5) as r:
                    text = r.read().decode("utf-8")
            except OSError:
                pass
    finally:
        meter.terminate()
        meter.communicate(timeout=10)
    assert 'velmar_interface_receive_bytes_total{interface="%s",ifindex="' % UTF8_NAME in text, text
    assert 'interface="v\\\\xffx"' in text, text
    print("names: %s and %r in the adapter list and /metrics" % (UTF8_NAME, RAW_NAME))


def setup_network(peer):
    with open("/proc/sys/net/ipv6/conf/all/accept_dad", "w") as f:
        f.write("0")
    with open("/proc/sys/net/ipv6/conf/default/accept_dad", "w") as f:
        f.write("0")
    run("ip", "link", "set", "lo", "up")
    run("ip", "link", "add", UTF8_NAME, "type", "veth", "peer", "name", "p0", "netns", peer)
    subprocess.run([b"ip", b"link", b"add", RAW_NAME, b"type", b"veth", b"peer", b"name", b"p1",
                    b"netns", peer.encode()], check=True, capture_output=True)
    for family in ("ipv4", "ipv6"):
        # Neighbours stay reachable for the length of the test.
        with open("/proc/sys/net/%s/neigh/%s/base_reachable_time_ms" % (family, UTF8_NAME),
                  "w") as f:
            f.write("600000")
    host = [("addr", "add", "10.9.0.1/24", "dev", UTF8_NAME),
            ("addr", "add", "2001:db8:9::1/64", "dev", UTF8_NAME),
            ("addr", "add", "10.9.0.7/24", "dev", UTF8_NAME),
            ("link", "set", UTF8_NAME, "up"),
            ("route", "add", "10.77.0.0/16", "via", "10.9.0.2"),
            ("route", "add", "default", "via", "10.9.0.2", "metric", "100"),
            ("-6", "route", "add", "2001:db8:77::/48", "via", "2001:db8:9::2"),
            ("-6", "route", "add", "default", "via", "2001:db8:9::2", "metric", "300"),
            ("neigh", "add", "10.9.0.5", "lladdr", "02:00:00:00:00:05", "dev", UTF8_NAME),
            ("-6", "neigh", "add", "2001:db8:9::5", "lladdr", "02:00:00:00:00:06", "dev", UTF8_NAME),
            ("neigh", "add", "10.9.0.6", "lladdr", "02:00:00:00:00:07", "dev", UTF8_NAME, "nud",
             "stale")]
    for args in host:
        run("ip", *args)
    subprocess.run([b"ip", b"link", b"set", RAW_NAME, b"up"], check=True)
    # No link-local address on the peer: its router solicitations would
    # make it a neighbour whose state snmpd learns late (it keeps the table
    # for seconds and hears of some changes only).
    run("ip", "netns", "exec", peer, "sh", "-c",
        "for f in all/accept_dad default/accept_dad p0/accept_dad; do "
        "echo 0 > /proc/sys/net/ipv6/conf/$f; done; "
        "echo 1 > /proc/sys/net/ipv6/conf/p0/addr_gen_mode")
    for args in [("addr", "add", "10.9.0.2/24", "dev", "p0"),
                 ("addr", "add", "2001:db8:9::2/64", "dev", "p0"), ("link", "set", "p0", "up"),
                 ("link", "set", "lo", "up")]:
        run("ip", "-n", peer, *args)
    # Learnt neighbours: the peer (reachable) and an address nobody has
    # (incomplete, then failed).
    for address in ("10.9.0.2", "2001:db8:9::2", "10.9.0.99"):
        family = socket.AF_INET6 if ":" in address else socket.AF_INET
        socket.socket(family, socket.SOCK_DGRAM).sendto(b"x", (address, 9))
    # Resolution takes the kernel's probes (about 3 s for the failed one).
    def state(address):
        shown = subprocess.run(["ip", "neigh", "show", "to", address], capture_output=True,
                               text=True).stdout.split()
        return shown[-1] if shown else ""
    deadline = time.monotonic() + 20
    while (state("10.9.0.99") != "FAILED"
           or {state("10.9.0.2"), state("2001:db8:9::2")} & {"", "INCOMPLETE"}):
        assert time.monotonic() < deadline, [state(a) for a in ("10.9.0.99", "10.9.0.2")]
        time.sleep(0.1)


# A community whose view lacks the address-family-neutral tables: a device
# with the IPv4 tables of MIB-II alone.
IPV4_COMMUNITY = "velmar-ipv4"
IPV4_VIEW = ["view ipv4only included .1.3.6.1.2.1"] + [
    "view ipv4only excluded " + root for root, _ in ROOTS.values()] + [
    "rocommunity %s 127.0.0.1 -V ipv4only" % IPV4_COMMUNITY]


def check_net_stat(bin_dir, device, helper_pid, dual_port):
    """NetStat's pages over the local agent, over snmpd, and over snmpd as a
    device without the neutral tables (tests/netstat/net_stat_namespace_widget_test.cpp)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VELMAR_INET_NAMESPACE=";".join([
        "pid=%d" % helper_pid, "dual=%d" % dual_port, "snmpd=" + device.address(),
        "community=" + snmpd_fixture.COMMUNITY, "ipv4community=" + IPV4_COMMUNITY]))
    out = subprocess.run([os.path.join(bin_dir, "netstat_widget_tests"),
                          "--gtest_filter=NetStatNamespaceTest.*"], env=env, capture_output=True,
                         text=True, timeout=120)
    assert out.returncode == 0 and "[  PASSED  ] 2 tests" in out.stdout, out.stdout[-6000:]
    print("NetStat: this machine, snmpd, and snmpd without the neutral tables (IPv4 fallback)")


def inside(bin_dir, peer):
    reason = snmpd_fixture.skip_reason()
    if reason:
        print("skipped: " + reason)
        return SKIPPED
    setup_network(peer)
    helper = subprocess.Popen([sys.executable, "-c", HELPER], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    device = snmpd_fixture.Snmpd()
    with open(device.conf, "a") as f:
        f.write("\n".join(IPV4_VIEW) + "\n")
    try:
        ready = helper.stdout.readline().split()
        assert ready[0] == "ready", ready
        device.start()
        env = meter_process.environment(bin_dir)
        compare_with_snmpd(bin_dir, env, device)
        check_process_table(bin_dir, env, helper.pid)
        check_names(bin_dir, env)
        check_net_stat(bin_dir, device, helper.pid, int(ready[1]))
    finally:
        device.close()
        helper.stdin.close()
        helper.wait(timeout=10)
    print("ok")
    return 0


def main(bin_dir):
    if len(sys.argv) > 3 and sys.argv[2] == INSIDE:
        return inside(bin_dir, sys.argv[3])
    if os.geteuid() != 0 or shutil.which("ip") is None:
        print("skipped: needs root and iproute2 for network namespaces of its own")
        return SKIPPED
    host, peer = PREFIX + "host", PREFIX + "peer"
    try:
        for ns in (host, peer):
            run("ip", "netns", "add", ns)
        return subprocess.run(["ip", "netns", "exec", host, sys.executable,
                               os.path.abspath(__file__), bin_dir, INSIDE, peer]).returncode
    finally:
        for ns in (host, peer):
            subprocess.run(["ip", "netns", "del", ns], capture_output=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
