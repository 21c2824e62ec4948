"""Traffic per program on real programs: nginx with limit_rate in a network
namespace serves curl at 2 Mbit/s and a Python client at 1 Mbit/s in
another, where `velmar --headless --programs --format json` runs. Each
reads within 5 % of its rate, "not attributed" stays near zero, the rows
add up to what the interfaces counted, and /metrics serves the programs'
counters cleanly to promtool. A meter run as another user shows root's
downloads as "other users". Needs root; without it the test is skipped
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


def start_clients(net, ns):
    net.start(ns, "curl", "-s", "-o", "/dev/null", "http://%s:8080/fast" % SERVER)
    python = net.start(ns, sys.executable, "-c", PYTHON_CLIENT, "http://%s:8080/slow" % SERVER)
    assert python.stdout.readline().strip() == "ready"


def check_known_rates(net, bin_dir, ns):
    curl = shutil.which("curl")
    python = os.path.realpath(sys.executable)
    port = free_port()
    meter = ProgramMeter(net, bin_dir, ns, "--metrics", "127.0.0.1:%d" % port)
    start_clients(net, ns)

    def steady(reading):
        return row(reading, curl) and row(reading, python) and \
            row(reading, curl)["down_bps"] > 0 and row(reading, python)["down_bps"] > 0

    meter.wait(steady, 30, "both clients shown")
    first = len(meter.readings)
    meter.wait(lambda r: len(meter.readings) >= first + 4, 30, "four more readings")
    window = meter.readings[first:first + 4]
    for program, bps in ((curl, 2e6), (python, 1e6)):
        rate = sum(row(r, program)["down_bps"] for r in window) / len(window)
        assert abs(rate - bps) <= 0.05 * bps, (program, rate, window)
        print("%s: %.0f bit/s of %.0f" % (program, rate, bps))
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
            check_known_rates(net, bin_dir, ns)
            check_other_users(net, bin_dir, ns)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
