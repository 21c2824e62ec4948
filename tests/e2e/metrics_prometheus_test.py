"""A real Prometheus (Debian's) scrapes the headless meter every second
while the test sends a known burst of loopback traffic. What Prometheus
computes with increase() and rate() over the burst agrees with the
kernel's own counters within 2 %, every scrape was parsed (up stays 1, the
target shows no error), and the text format passes promtool's checks.
The interface counters are the kernel's own: a scrape lies between two
reads of /sys, and a burst sent while the meter is stopped shows in
increase() across its restart.

The test runs in network and mount namespaces of its own where it can, so
the loopback carries only its own traffic; elsewhere it runs on the
machine's loopback (the suite runs it alone)."""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

import meter_process
import own_network
import metrics_support as ms

PAYLOAD = 8000
RATE = 4_000_000  # payload bytes per second
BURST = 8.0  # seconds
TOLERANCE = 0.02


def kernel_counters():
    with open("/sys/class/net/lo/statistics/rx_bytes") as rx, \
            open("/sys/class/net/lo/statistics/tx_bytes") as tx:
        return int(rx.read()), int(tx.read())


def send_burst(seconds):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(0.2)
    stop = threading.Event()

    def drain():
        while not stop.is_set():
            try:
                receiver.recv(65536)
            except socket.timeout:
                pass

    drainer = threading.Thread(target=drain)
    drainer.start()
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    data = b"m" * PAYLOAD
    start = time.monotonic()
    sent = 0
    while time.monotonic() - start < seconds:
        due = RATE * (time.monotonic() - start)
        while sent + PAYLOAD <= due:
            sender.sendto(data, receiver.getsockname())
            sent += PAYLOAD
        time.sleep(0.004)
    stop.set()
    drainer.join()
    return sent


class Prometheus:
    def __init__(self, target_port, workdir, config=None):
        """Scrapes the meter at `target_port` every second, or runs `config`."""
        self.port = ms.free_port()
        if config is None:
            config = os.path.join(workdir, "prometheus.yml")
            with open(config, "w") as f:
                f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                        "  evaluation_interval: 1s\n"
                        "scrape_configs:\n  - job_name: velmar\n    static_configs:\n"
                        "      - targets: ['127.0.0.1:%d']\n" % target_port)
        self.log = open(os.path.join(workdir, "prometheus.log"), "w")
        self.proc = subprocess.Popen(
            ["prometheus", "--config.file=" + config,
             "--storage.tsdb.path=" + os.path.join(workdir, "data"),
             "--web.listen-address=127.0.0.1:%d" % self.port, "--log.level=warn"],
            stdout=self.log, stderr=self.log, cwd=workdir)
        ms.wait_for(self.ready, 60, "Prometheus to be ready")

    def ready(self):
        if self.proc.poll() is not None:
            raise AssertionError("Prometheus ended: see its log")
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/-/ready" % self.port, timeout=2) as r:
                return r.status == 200
        except OSError:
            return False

    def api(self, path, **params):
        url = "http://127.0.0.1:%d/api/v1/%s" % (self.port, path)
        if params:
            url += "?" + urllib.parse.urlencode(params)
        with urllib.request.urlopen(url, timeout=10) as r:
            reply = json.load(r)
        assert reply["status"] == "success", reply
        return reply["data"]

    def query(self, expr, at=None):
        params = {"query": expr}
        if at is not None:
            params["time"] = "%.3f" % at
        return self.api("query", **params)["result"]

    def value(self, expr, at=None):
        result = self.query(expr, at)
        assert len(result) == 1, (expr, result)
        return float(result[0]["value"][1])

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=20)
        self.log.close()


def check_text_format(port):
    status, headers, body = ms.scrape(port, accept="text/plain")
    assert status == 200 and headers["Content-Type"].startswith("text/plain; version=0.0.4")
    lint = subprocess.run(["promtool", "check", "metrics"], input=body, capture_output=True,
                          text=True)
    assert lint.returncode == 0, lint.stdout + lint.stderr
    print("promtool check metrics: clean (%d samples)" % len(ms.samples(body)))


LO_RECEIVED = 'velmar_interface_receive_bytes_total{interface="lo",ifindex="1"}'


def check_kernel_counters(port):
    """The scraped value is the kernel's own: between two reads around it."""
    before = kernel_counters()[0]
    scraped = ms.samples(ms.scrape(port)[2])[LO_RECEIVED]
    after = kernel_counters()[0]
    assert before <= scraped <= after, (before, scraped, after)
    print("lo received: /sys %d <= scraped %d <= /sys %d" % (before, scraped, after))


def increase_over(prometheus, series, start, end):
    """Prometheus's increase() between its last sample before `start` and
    its first after `end`, and the raw difference of those samples."""
    raw = prometheus.query(series + "[120s]")[0]["values"]
    # A scrape shows the meter's last tick (up to half a second old):
    # the window runs from the last scrape before the burst to the
    # first one after it, both clear of it.
    before = [(float(t), float(v)) for t, v in raw if float(t) < start - 0.7][-1]
    after = [(float(t), float(v)) for t, v in raw if float(t) > end + 0.7][0]
    # A range that ends on one sample and starts on the other: no
    # extrapolation, so the figures are Prometheus's own arithmetic
    # on what it scraped.
    window_ms = round((after[0] - before[0]) * 1000)
    increase = prometheus.value("increase(%s[%dms])" % (series, window_ms), after[0])
    rate = prometheus.value("rate(%s[%dms])" % (series, window_ms), after[0])
    return increase, rate, window_ms / 1000, after[1] - before[1]


def wait_for_scrape(prometheus, test, what):
    """Waits until Prometheus holds a scrape of the meter whose time passes
    `test`."""
    def scraped():
        result = prometheus.query('up{job="velmar"}[120s]')
        return result and any(test(float(t)) for t, _ in result[0]["values"])
    ms.wait_for(scraped, 30, what)


def run(bin_dir, workdir):
    env = meter_process.environment(bin_dir)
    row = meter_process.loopback_row(bin_dir, env)
    port = ms.free_port()
    meter_args = (bin_dir, env, "--adapter", str(row), "--format", "json")
    meter = ms.Meter(*meter_args, listen="127.0.0.1:%d" % port)
    prometheus = None
    try:
        ms.wait_for(lambda: LO_RECEIVED in ms.samples(ms.scrape(meter.port)[2]), 20,
                    "the first scrape")
        check_kernel_counters(meter.port)
        check_text_format(meter.port)
        prometheus = Prometheus(meter.port, workdir)
        ms.wait_for(lambda: prometheus.query('up{job="velmar"} == 1'), 30, "the first scrape")
        first_up = time.time()

        # A quiet scrape clear of the burst's start (see increase_over).
        wait_for_scrape(prometheus, lambda t: t < time.time() - 1.0, "a scrape before the burst")
        start, k0 = time.time(), kernel_counters()
        sent = send_burst(BURST)
        end, k1 = time.time(), kernel_counters()
        wait_for_scrape(prometheus, lambda t: t > end + 1.0, "a scrape after the burst")
        print("sent %d payload bytes in %.1f s; kernel counted %d received, %d sent"
              % (sent, end - start, k1[0] - k0[0], k1[1] - k0[1]))

        for direction, kernel in (("receive", k1[0] - k0[0]), ("transmit", k1[1] - k0[1])):
            series = 'velmar_interface_%s_bytes_total{interface="lo"}' % direction
            increase, rate, seconds, scraped = increase_over(prometheus, series, start, end)
            print("%s: increase %.0f, rate %.0f B/s over %.3f s; kernel %d bytes, %.0f B/s"
                  % (direction, increase, rate, seconds, kernel, kernel / seconds))
            assert abs(increase - scraped) <= 0.001 * scraped, (increase, scraped)
            assert abs(increase - kernel) <= TOLERANCE * kernel, (direction, increase, kernel)
            assert abs(rate - kernel / seconds) <= TOLERANCE * kernel / seconds, (direction, rate)
            assert kernel >= sent, "the burst went over the loopback"

        # Every scrape was parsed and none failed.
        span = int(time.time() - first_up)
        assert prometheus.value('min_over_time(up{job="velmar"}[%ds])' % span) == 1
        scrapes = prometheus.value('count_over_time(up{job="velmar"}[%ds])' % span)
        assert scrapes >= span - 2, (scrapes, span)
        samples = prometheus.value('scrape_samples_scraped{job="velmar"}')
        assert samples >= 15, samples
        target = prometheus.api("targets")["activeTargets"]
        assert len(target) == 1 and target[0]["health"] == "up", target
        assert target[0]["lastError"] == "", target[0]["lastError"]
        # The series Prometheus keeps carry the meter's names and labels.
        assert prometheus.value('velmar_build_info{job="velmar"}') == 1
        assert prometheus.value('velmar_interface_counted_in_all{interface="lo"}') == 0
        print("Prometheus: %d scrapes over %d s, all up, %d samples per scrape, no scrape error"
              % (scrapes, span, samples))

        lines = [l for _, l in meter.lines]
        assert lines and all(json.loads(l)["adapter"] == "lo" for l in lines), lines[-3:]

        # The meter stopped, a burst sent while it is down, the meter
        # started again on its port: increase() over the gap is what the
        # kernel counted, the burst included.
        start, k0 = time.time(), kernel_counters()
        assert meter.stop() == 0, meter.errors
        sent = send_burst(2.0)
        meter = ms.Meter(*meter_args, listen="127.0.0.1:%d" % port)
        ms.wait_for(lambda: LO_RECEIVED in ms.samples(ms.scrape(meter.port)[2]), 20,
                    "the restarted meter")
        end, k1 = time.time(), kernel_counters()
        wait_for_scrape(prometheus, lambda t: t > end + 1.0, "a scrape after the restart")
        series = 'velmar_interface_receive_bytes_total{interface="lo"}'
        increase, _, seconds, scraped = increase_over(prometheus, series, start, end)
        kernel = k1[0] - k0[0]
        print("restart: %d bytes sent while the meter was down; increase %.0f over %.3f s, "
              "kernel %d" % (sent, increase, seconds, kernel))
        assert kernel >= sent and increase >= sent, (increase, sent)
        assert abs(increase - kernel) <= TOLERANCE * kernel, (increase, kernel)
        assert prometheus.value('resets(%s[60s])' % series) == 0, "no reset at the restart"
    finally:
        if prometheus is not None:
            prometheus.stop()
        assert meter.stop() == 0, meter.errors
    print("ok")


def main(bin_dir):
    if shutil.which("prometheus") is None or shutil.which("promtool") is None:
        raise SystemExit("Debian's prometheus package is missing: scripts/setup-deps installs it")
    if not own_network.inside():
        code = own_network.reexec_inside([sys.executable, os.path.abspath(__file__), bin_dir])
        if code is not None:
            sys.exit(code)
    workdir = tempfile.mkdtemp(prefix="velmar-prometheus-")
    try:
        run(bin_dir, workdir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
