"""Traffic per program on real programs: nginx with limit_rate in a network
namespace serves curl at 2 Mbit/s and a Python client at 1 Mbit/s in
another, where `velmar --headless --programs --format json` runs, and a
UDP sender sends at 1 Mbit/s. Each reads within 5 % of its rate (the UDP
sender through the capture helper), "not attributed" stays near zero,
and /metrics serves the programs' counters cleanly to promtool. A meter
run as another user shows root's downloads as "other users" and, without
the helper, the UDP sender as "not attributed". Needs root; without it the test is skipped
(exit 77)."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import meter_process
from namespace_all_test import PREFIX, Network, ip, remove_leftovers
from metrics_support import free_port

SKIPPED = 77
SERVER = "10.77.0.2"
NGINX_CONF = """
daemon off;
master_process off;
user root;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
events {{ worker_connections 64; }}
http {{
  access_log off;
  client_body_temp_path {dir};
  proxy_temp_path {dir};
  fastcgi_temp_path {dir};
  uwsgi_temp_path {dir};
  scgi_temp_path {dir};
  server {{
    listen {server}:8080;
    root {dir}/www;
    location /fast {{ limit_rate 250000; }}
    location /slow {{ limit_rate 125000; }}
  }}
}}
"""
# 1000-byte datagrams at 1 Mbit/s of payload: 1028 bytes each on the wire.
UDP_SENDER = """
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
start, sent = time.monotonic(), 0
while True:
    # Unconnected: the peer's "port unreachable" ends nothing.
    s.sendto(b"u" * 1000, (sys.argv[1], 9))
    sent += 1
    time.sleep(max(0, sent * 0.008 - (time.monotonic() - start)))
"""
UDP_BPS = 1e6 * 1028 / 1000
PYTHON_CLIENT = """
import sys, urllib.request
with urllib.request.urlopen(sys.argv[1]) as r:
    print("ready", flush=True)
    while r.read(65536):
        pass
"""


class ProgramMeter:
    """The meter inside the namespace, its JSON lines of programs kept."""

    def __init__(self, net, bin_dir, ns, *args, user=None):
        env = meter_process.environment(bin_dir)
        os.chmod(env["VELMAR_APP_DIR"], 0o777)
        command = [os.path.join(bin_dir, "velmar"), "--headless", "--programs", "--format",
                   "json", *args]
        if user:
            command = ["setpriv", "--reuid", user, "--regid", "nogroup", "--clear-groups", *command]
        self.process = net.start(ns, *command, env=env)
        self.readings = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            if '"programs"' in line:
                self.readings.append(json.loads(line))

    def wait(self, predicate, seconds, what):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if self.readings and predicate(self.readings[-1]):
                return self.readings[-1]
            if self.process.poll() is not None:
                raise AssertionError("the meter ended: " + self.process.stderr.read())
            time.sleep(0.1)
        raise AssertionError("%s: %s" % (what, self.readings[-1:] or "no reading"))


def row(reading, program):
    return next((r for r in reading["programs"] if r["program"] == program), None)


def build_network(net, tmp):
    client = net.namespace("client")
    server = net.namespace("server")
    ip("link", "add", PREFIX + "c0", "type", "veth", "peer", "name", PREFIX + "s0")
    ip("link", "set", PREFIX + "c0", "netns", client, "name", "c0")
    ip("link", "set", PREFIX + "s0", "netns", server, "name", "s0")
    ip("-n", client, "addr", "add", "10.77.0.1/24", "dev", "c0")
    ip("-n", server, "addr", "add", SERVER + "/24", "dev", "s0")
    ip("-n", client, "link", "set", "c0", "up")
    ip("-n", server, "link", "set", "s0", "up")
    os.makedirs(os.path.join(tmp, "www"))
    for name in ("fast", "slow"):
        with open(os.path.join(tmp, "www", name), "wb") as f:
            f.truncate(200 * 1000 * 1000)
    conf = os.path.join(tmp, "nginx.conf")
    with open(conf, "w") as f:
        f.write(NGINX_CONF.format(dir=tmp, server=SERVER))
    nginx = net.start(server, "nginx", "-c", conf)
    for _ in range(100):
        if subprocess.run(["ip", "netns", "exec", client, "curl", "-s", "-o", "/dev/null",
                           "-r", "0-0", "http://%s:8080/slow" % SERVER]).returncode == 0:
            break
        assert nginx.poll() is None, nginx.stderr.read()
        time.sleep(0.1)
    return client


def start_clients(net, ns, sender):
    # The copy finds its library by PYTHONHOME, not beside itself.
    net.start(ns, sender, "-c", UDP_SENDER, SERVER,
              env=dict(os.environ, PYTHONHOME=sys.base_prefix))
    net.start(ns, "curl", "-s", "-o", "/dev/null", "http://%s:8080/fast" % SERVER)
    python = net.start(ns, sys.executable, "-c", PYTHON_CLIENT, "http://%s:8080/slow" % SERVER)
    assert python.stdout.readline().strip() == "ready"


def check_known_rates(net, bin_dir, ns, sender):
    curl = shutil.which("curl")
    python = os.path.realpath(sys.executable)
    port = free_port()
    meter = ProgramMeter(net, bin_dir, ns, "--metrics", "127.0.0.1:%d" % port)
    start_clients(net, ns, sender)

    def steady(reading):
        return all(row(reading, p) and row(reading, p)["down_bps" if p != sender else "up_bps"] > 0
                   for p in (curl, python, sender))

    meter.wait(steady, 30, "both clients shown")
    first = len(meter.readings)
    meter.wait(lambda r: len(meter.readings) >= first + 4, 30, "four more readings")
    window = meter.readings[first:first + 4]
    for program, bps in ((curl, 2e6), (python, 1e6)):
        rate = sum(row(r, program)["down_bps"] for r in window) / len(window)
        assert abs(rate - bps) <= 0.05 * bps, (program, rate, window)
        print("%s: %.0f bit/s of %.0f" % (program, rate, bps))
    # As root the meter starts the capture helper beside it, which names
    # the UDP sender's program: UDP has no socket counts of its own.
    assert all(r["precise"] for r in window), window
    rate = sum(row(r, sender)["up_bps"] for r in window) / len(window)
    assert abs(rate - UDP_BPS) <= 0.05 * UDP_BPS, (rate, window)
    print("UDP sender with the helper: %.0f bit/s of %.0f" % (rate, UDP_BPS))
    last = window[-1]
    rest = row(last, "not attributed")
    total = sum(r["down_bps"] for r in last["programs"])
    # Packet headers alone, or nothing with the capture helper.
    assert rest["down_bps"] <= 0.05 * total, last
    print("not attributed: %.0f of %.0f bit/s (precise: %s)" % (rest["down_bps"], total,
                                                               last["precise"]))
    body = net.run(ns, sys.executable, "-c",
                   "import urllib.request,sys;sys.stdout.write(urllib.request.urlopen("
                   "'http://127.0.0.1:%d/metrics').read().decode())" % port)
    served = [l for l in body.splitlines() if l.startswith("velmar_program_receive_bytes_total")]
    assert any('program="%s"' % curl in l for l in served), served
    lint = subprocess.run(["promtool", "check", "metrics"], input=body, capture_output=True,
                          text=True)
    assert lint.returncode == 0, lint.stdout + lint.stderr
    print("promtool check metrics: clean, %d program series" % len(served))


def check_other_users(net, bin_dir, ns):
    meter = ProgramMeter(net, bin_dir, ns, user="nobody")
    reading = meter.wait(lambda r: row(r, "other users") and row(r, "other users")["down_bps"] > 0,
                         30, "root's downloads as other users")
    assert not reading["precise"], reading
    print("unprivileged meter: other users at %.0f bit/s" % row(reading, "other users")["down_bps"])
    # Without the helper the UDP sender's datagrams are "not attributed".
    rest = row(reading, "not attributed")["up_bps"]
    assert rest >= 0.95 * UDP_BPS, reading
    print("UDP sender without the helper: not attributed, %.0f bit/s up" % rest)


def main(bin_dir):
    if os.geteuid() != 0:
        print("skipped: network namespaces need root")
        return SKIPPED
    for tool in ("nginx", "curl", "promtool", "setpriv"):
        if shutil.which(tool) is None:
            raise SystemExit(tool + " is missing: scripts/setup-deps installs it")
    remove_leftovers()
    tmp = tempfile.mkdtemp(prefix="velmar-programs-")
    os.chmod(tmp, 0o755)
    try:
        with Network("programs") as net:
            ns = build_network(net, tmp)
            # A program of its own for the UDP sender: a copy of Python.
            sender = os.path.join(tmp, "udp-sender")
            shutil.copy(os.path.realpath(sys.executable), sender)
            check_known_rates(net, bin_dir, ns, sender)
            check_other_users(net, bin_dir, ns)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
