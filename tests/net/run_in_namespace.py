"""Runs the namespace tests of net_tests (NetNamespaceTest.*) in a network
and mount namespace of their own: the loopback up, a link where the
address 2001:db8:dead::1 is on-link but nobody answers (a connect to it
waits for a neighbour solicitation, then fails) with the
link-local fe80::1 of its own, and a hosts
file of its own bound over /etc/hosts:

    2001:db8:dead::1 both.velmar.test dead.velmar.test
    127.0.0.1        both.velmar.test

    run_in_namespace.py <net_tests>

Needs root (exit 77, skipped, otherwise)."""
import os
import shutil
import subprocess
import sys
import tempfile

INSIDE = "VELMAR_NET_NAMESPACE"
HOSTS = ("127.0.0.1 localhost\n"
         "2001:db8:dead::1 both.velmar.test dead.velmar.test\n"
         "127.0.0.1 both.velmar.test\n")


def run(*command):
    subprocess.run(command, check=True, capture_output=True)


def inside(tests):
    run("ip", "link", "set", "lo", "up")
    for conf in ("all", "default"):
        with open("/proc/sys/net/ipv6/conf/%s/accept_dad" % conf, "w") as f:
            f.write("0")
    run("ip", "link", "add", "dead0", "type", "veth", "peer", "name", "dead1")
    # One solicitation of a second, not the kernel's three: a dead address
    # still fails long after the connect race's 250 ms, and the test waits
    # 2 s for its two failures instead of 6 s.
    with open("/proc/sys/net/ipv6/neigh/dead0/mcast_solicit", "w") as f:
        f.write("1")
    run("ip", "link", "set", "dead0", "up")
    run("ip", "link", "set", "dead1", "up")
    run("ip", "-6", "addr", "add", "2001:db8:dead::2/64", "dev", "dead0", "nodad")
    run("ip", "-6", "addr", "add", "fe80::1/64", "dev", "dead0", "nodad")
    folder = tempfile.mkdtemp(prefix="velmar-hosts-")
    hosts = os.path.join(folder, "hosts")
    with open(hosts, "w") as f:
        f.write(HOSTS)
    try:
        run("mount", "--bind", hosts, "/etc/hosts")
        return subprocess.run([tests, "--gtest_filter=NetNamespaceTest.*"]).returncode
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main(tests):
    if os.environ.get(INSIDE):
        return inside(tests)
    if os.geteuid() != 0 or shutil.which("unshare") is None or shutil.which("ip") is None:
        print("skipped: needs root, unshare and iproute2 for namespaces of its own")
        return 77
    return subprocess.run(["unshare", "--net", "--mount", sys.executable, os.path.abspath(__file__),
                           tests], env=dict(os.environ, **{INSIDE: "1"})).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
