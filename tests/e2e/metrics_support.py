"""Helpers for the metrics endpoint's end-to-end tests: free ports, scrapes,
reading the exposition, the meter started with its endpoint."""
import http.client
import os
import re
import socket
import subprocess
import threading
import time

SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{[^}]*\})? (\S+)$')


def free_port():
    """A port that was free a moment ago (for servers that cannot take port 0)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def scrape(port, accept=None, path="/metrics", method="GET", timeout=10):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        conn.request(method, path, headers={"Accept": accept} if accept else {})
        r = conn.getresponse()
        return r.status, dict(r.getheaders()), r.read().decode()
    finally:
        conn.close()


def samples(text):
    """{'name{labels}': value} of an exposition."""
    out = {}
    for line in text.splitlines():
        m = SAMPLE.match(line)
        if m and not line.startswith("#"):
            out[m.group(1) + (m.group(2) or "")] = float(m.group(3))
    return out


def wait_for(predicate, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


class Meter:
    """velmar --headless --metrics 127.0.0.1:0 with its output lines read as
    they come (each with the moment it arrived)."""

    def __init__(self, bin_dir, env, *args, listen="127.0.0.1:0"):
        self.proc = subprocess.Popen(
            [os.path.join(bin_dir, "velmar"), "--headless", "--metrics", listen, *args],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines = []
        self.errors = []
        announced = threading.Event()

        def read_err():
            for line in self.proc.stderr:
                self.errors.append(line.rstrip("\n"))
                if "serving metrics at" in line:
                    announced.set()

        threading.Thread(target=read_err, daemon=True).start()
        threading.Thread(target=lambda: self.lines.extend(
            (time.monotonic(), l.rstrip("\n")) for l in self.proc.stdout), daemon=True).start()
        if not announced.wait(20):
            self.stop()
            raise AssertionError("no metrics address announced: %r" % self.errors)
        self.port = int(re.search(r"https?://127\.0\.0\.1:(\d+)/metrics",
                                  [e for e in self.errors if "serving" in e][0]).group(1))

    def rss_kb(self, field="VmRSS"):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith(field + ":"):
                    return int(line.split()[1])
        return 0

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(timeout=10)
        return self.proc.returncode
