"""One meter serves three devices to a real Prometheus: `velmar --headless
--metrics PORT --devices FILE`, scraped at /snmp?target=NAME through the
relabelling of the devices guide's prometheus.yml (read from
docs/devices.md itself).
The devices are recordings the SNMP simulator serves, 50 interfaces each:
one answers at once, one slowly, one is gone. Every target is up in
Prometheus, the gone one costs velmar_device_up 0 with a reason and no
scrape runs over its time-out, the values are what the recordings hold,
every page passes the strict OpenMetrics parser, two scrapes within the
cache share one poll, and an unknown device is a 404. A sparse recording
(rows lacking cells, indexes far apart, one row of 32-bit counters) puts
every value in its row, and every page passes promtool's lint. Relays in
front of two devices count the requests a scrape costs."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import meter_process
import metrics_support as ms
import snmpsim_fixture as sim
from metrics_prometheus_test import Prometheus

PORTS = 50
SLOW_MS = 1000
OPENMETRICS = "application/openmetrics-text; version=1.0.0"
HERE = os.path.dirname(os.path.abspath(__file__))


# A sparse device: indexes with gaps between them, and rows that lack
# cells: port 5 has 32-bit counters only, port 7 no ifMtu, port 12 no
# discards or errors, port 1000 no ifName.
SPARSE = (1, 5, 7, 12, 1000)


def sparse_recording():
    ports = [sim.Port(i, "port %d" % i, name="ge-0/0/%d" % i, hc=(i != 5),
                      gaps={7: (4,), 12: (13, 14, 19, 20)}.get(i, ())) for i in SPARSE]
    no_name = "%s.1.1000|" % sim.IFX_ENTRY
    return [l for l in sim.recording(ports) if not l.startswith(no_name)]


def recordings(simulator):
    ports = [sim.Port(i, "port %d" % i, name="ge-0/0/%d" % i) for i in range(1, PORTS + 1)]
    simulator.write("fast", sim.recording(ports))
    simulator.write("sparse", sparse_recording())
    # The slow one delays every answer that holds port 1's received bytes.
    slow = [l.replace("%s.6.1|70|1000" % sim.IFX_ENTRY,
                      "%s.6.1|70:delay|value=1000,wait=%d" % (sim.IFX_ENTRY, SLOW_MS))
            for l in sim.recording(ports)]
    assert slow != sim.recording(ports)
    simulator.write("slow", slow)


def devices_file(simulator, workdir, relays):
    """The devices; those of `relays` (name -> Relay) reached through it."""
    gone_port = sim.free_udp_port()
    lines = ["# the devices of the test"]
    for name in ("fast", "slow", "sparse"):
        secrets = simulator.secrets(name)
        address = ("127.0.0.1:%d" % relays[name].port if name in relays
                   else simulator.address())
        lines.append("name=%s address=%s version=2c secrets=%s" % (name, address, secrets))
    gone = simulator.secrets("gone")
    lines.append("name=gone address=127.0.0.1:%d version=2c secrets=%s" % (gone_port, gone))
    path = os.path.join(workdir, "devices")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path


def readme_config(meter_port):
    """The devices guide's prometheus.yml, aimed at this meter."""
    with open(os.path.join(HERE, "..", "..", "docs", "devices.md")) as f:
        guide = f.read()
    block = re.search(r"<!-- devices-prometheus-yml -->\n```yaml\n(.*?)```", guide, re.S).group(1)
    block = block.replace("['core1', 'core2', 'edge1']", "['fast', 'slow', 'gone']")
    block = block.replace("127.0.0.1:9473", "127.0.0.1:%d" % meter_port)
    assert "'fast'" in block and str(meter_port) in block, block
    return block


def strict_parse(text):
    """prometheus_client's strict OpenMetrics parser: raises on any fault."""
    from prometheus_client.openmetrics import parser
    return {f.name: f for f in parser.text_string_to_metric_families(text)}


def promtool_check(port, path):
    """promtool's lint of the text format (0.0.4) of a page."""
    status, headers, body = ms.scrape(port, accept="text/plain", path=path)
    assert status == 200 and headers["Content-Type"].startswith("text/plain; version=0.0.4")
    lint = subprocess.run(["promtool", "check", "metrics"], input=body, capture_output=True,
                          text=True)
    assert lint.returncode == 0, (path, lint.stdout + lint.stderr)


def check_sparse(port, relay):
    """Every value in the row its index names; a column that ends early
    ends alone; the 32-bit counters where a row lacks the 64-bit ones."""
    before = relay.requests
    values = ms.samples(ms_scrape_with_timeout(port, "/snmp?target=sparse", 9))
    print("sparse device (%d interfaces, a 32-bit one among them): %d requests a scrape"
          % (len(SPARSE), relay.requests - before))

    def value(metric, index, name=None, kind=None):
        labels = 'device="sparse",interface="%s",ifindex="%d"' % (
            name or "ge-0/0/%d" % index, index)
        if kind:
            labels += ',kind="%s"' % kind
        return values.get("velmar_interface_%s{%s}" % (metric, labels))

    assert values['velmar_device_up{device="sparse"}'] == 1, values
    assert len([k for k in values if k.startswith("velmar_interface_mtu_bytes{")]) == 4, values
    for i in SPARSE:
        name = "port 1000" if i == 1000 else None
        assert value("receive_bytes_total", i, name) == 1000, (i, values)
        assert value("transmit_bytes_total", i, name) == 5000, (i, values)
        assert value("mtu_bytes", i, name) == (None if i == 7 else 1500), i
        assert value("receive_errors_total", i, name) == (None if i == 12 else 14000 + i), i
        assert value("transmit_discards_total", i, name) == (None if i == 12 else 19000 + i), i
    # The 32-bit walk a row without 64-bit counters needs, into each row.
    assert value("receive_packets_total", 5, kind="unicast") == 11005, values
    assert value("transmit_packets_total", 1000, "port 1000", "unicast") == 18000, values


def check_pages(port, relays):
    # The fast device: every interface with what its recording holds.
    before = relays["fast"].requests
    status, headers, body = ms.scrape(port, accept=OPENMETRICS, path="/snmp?target=fast")
    assert status == 200, body
    requests = relays["fast"].requests - before
    print("fast device (%d interfaces, 21 columns): %d requests a scrape" % (PORTS, requests))
    # A walk per column took 21 requests at least (42 here); several columns
    # a request take fewer, as many as the simulator's answers allow (it
    # gives 64 objects at most: 3 rows of the 19 columns).
    assert requests < 21, requests
    families = strict_parse(body)
    values = ms.samples(body)
    assert values['velmar_device_up{device="fast"}'] == 1
    for i in range(1, PORTS + 1):
        labels = 'device="fast",interface="ge-0/0/%d",ifindex="%d"' % (i, i)
        assert values["velmar_interface_receive_bytes_total{%s}" % labels] == 1000
        assert values["velmar_interface_transmit_bytes_total{%s}" % labels] == 5000
        assert values["velmar_interface_receive_errors_total{%s}" % labels] == 14000 + i
        assert values["velmar_interface_transmit_discards_total{%s}" % labels] == 19000 + i
        assert values["velmar_interface_mtu_bytes{%s}" % labels] == 1500
        assert values["velmar_interface_speed_bytes_per_second{%s}" % labels] == 1e9 / 8
        assert values["velmar_interface_oper_status{%s}" % labels] == 1
        # Every port has a connector and nothing runs over them: "All" counts each.
        assert values["velmar_interface_counted_in_all{%s}" % labels] == 1
    assert len(families["velmar_interface_receive_bytes"].samples) == PORTS

    # Within the cache time a second scrape shares the first one's poll.
    again = ms.samples(ms.scrape(port, path="/snmp?target=fast")[2])
    key = 'velmar_device_scrape_duration_seconds{device="fast"}'
    assert again[key] == values[key], (again[key], values[key])

    # The gone device: an answer within the scraper's time, up 0 and why.
    start = time.monotonic()
    conn_body = ms_scrape_with_timeout(port, "/snmp?target=gone", 3)
    took = time.monotonic() - start
    strict_parse(conn_body)
    # Nothing listens on its port: said as such, or as no answer in time.
    assert re.search(r'velmar_device_up\{device="gone",reason="(unreachable|timeout)"\} 0\n',
                     conn_body), conn_body
    assert took < 3, took
    print("gone device answered in %.2f s (scraper's time-out 3 s)" % took)

    # The slow one answers, slowly.
    start = time.monotonic()
    slow = ms.samples(ms_scrape_with_timeout(port, "/snmp?target=slow", 9))
    assert slow['velmar_device_up{device="slow"}'] == 1, slow
    assert time.monotonic() - start >= SLOW_MS / 1000 * 0.5

    for path, code, text in (("/snmp?target=nobody", 404, 'no device "nobody"'),
                             ("/snmp", 400, "/snmp?target=NAME")):
        status, _, body = ms.scrape(port, path=path)
        assert status == code and text in body, (path, status, body)
    check_sparse(port, relays["sparse"])
    for target in ("fast", "sparse", "gone"):
        promtool_check(port, "/snmp?target=" + target)
    # /metrics keeps serving this machine.
    status, _, body = ms.scrape(port, accept=OPENMETRICS)
    strict_parse(body)
    assert 'velmar_interface_receive_bytes_total{interface="lo"' in body


def ms_scrape_with_timeout(port, path, seconds):
    import http.client
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=seconds + 5)
    try:
        conn.request("GET", path, headers={
            "Accept": OPENMETRICS, "X-Prometheus-Scrape-Timeout-Seconds": str(seconds)})
        r = conn.getresponse()
        assert r.status == 200
        return r.read().decode()
    finally:
        conn.close()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(bin_dir, workdir):
    simulator = sim.Simulator()
    meter = prometheus = None
    relays = {}
    try:
        recordings(simulator)
        simulator.start("fast")
        relays = {name: sim.Relay(simulator.port) for name in ("fast", "sparse")}
        devices = devices_file(simulator, workdir, relays)
        env = meter_process.environment(
            bin_dir, VELMAR_REMOTE_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2remote.so"))

        # A secrets file others may read is refused.
        loose = simulator.secrets("loose")
        os.chmod(loose, 0o640)
        with open(os.path.join(workdir, "loose"), "w") as f:
            f.write("name=x address=127.0.0.1 version=2c secrets=%s\n" % loose)
        out = meter_process.run(bin_dir, "velmar", "--headless", "--metrics", "0", "--devices",
                                os.path.join(workdir, "loose"), env=env)
        assert out.returncode == 2 and "must be yours and of mode 0600" in out.stderr, out

        # --snmp: /metrics shows the measured device's own counters, named.
        one = ms.Meter(bin_dir, env, "--snmp", simulator.address(), "--snmp-secrets",
                       simulator.secrets("fast"))
        try:
            with open("/proc/%d/comm" % one.proc.pid) as f:
                assert f.read().strip() == "velmar-devices", "the sibling with net-snmp"
            text = ms_scrape_with_timeout(one.port, "/metrics", 9)
            strict_parse(text)
            key = ('velmar_interface_receive_bytes_total{device="%s",interface="ge-0/0/7",'
                   'ifindex="7"}' % simulator.address())
            assert ms.samples(text)[key] == 1000, text
            assert 'velmar_device_up{device="%s"} 1' % simulator.address() in text
        finally:
            assert one.stop() == 0, one.errors

        port = ms.free_port()
        meter = ms.Meter(bin_dir, env, "--devices", devices, listen="127.0.0.1:%d" % port)
        check_pages(port, relays)

        config = os.path.join(workdir, "prometheus-devices.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 5s\n  scrape_timeout: 5s\n"
                    + readme_config(port))
        cpu0, t0 = cpu_seconds(meter.proc.pid), time.monotonic()
        prometheus = Prometheus(port, workdir, config=config)
        ms.wait_for(lambda: len(prometheus.query('up{job="velmar-devices"}')) == 3, 30,
                    "three targets")
        # Three scrapes of each (5 s apart), so the 12 s windows below hold two.
        ms.wait_for(lambda: all(prometheus.query('count_over_time(up{instance="%s"}[1m]) >= 3' % t)
                                for t in ("fast", "slow", "gone")), 40, "three scrapes of each")
        cpu = (cpu_seconds(meter.proc.pid) - cpu0) / (time.monotonic() - t0)
        for target in ("fast", "slow", "gone"):
            assert prometheus.value('min_over_time(up{instance="%s"}[12s])' % target) == 1, target
            longest = prometheus.value('max_over_time(scrape_duration_seconds{instance="%s"}[12s])'
                                       % target)
            print("%s: longest scrape %.3f s" % (target, longest))
            assert longest < 5, (target, longest)
        assert prometheus.value('velmar_device_up{instance="gone"}') == 0
        assert prometheus.query('velmar_device_up{instance="gone",reason=~"unreachable|timeout"}')
        assert prometheus.value('velmar_device_up{instance="fast"}') == 1
        assert prometheus.value('velmar_device_up{instance="slow"}') == 1
        assert prometheus.value('count(velmar_interface_receive_bytes_total{instance="slow"})') \
            == PORTS
        assert prometheus.value('sum(velmar_interface_transmit_bytes_total{instance="fast"})') \
            == 5000 * PORTS
        targets = prometheus.api("targets")["activeTargets"]
        assert all(t["health"] == "up" and t["lastError"] == "" for t in targets), targets
        print("Prometheus: 3 targets up, gone one velmar_device_up 0; meter CPU %.2f %% of one "
              "core for 3 devices x %d interfaces scraped every 5 s" % (cpu * 100, PORTS))
    finally:
        if prometheus is not None:
            prometheus.stop()
        if meter is not None:
            assert meter.stop() == 0, meter.errors
        for relay in relays.values():
            relay.close()
        simulator.close()
    print("ok")


def main(bin_dir):
    for tool in ("prometheus", "promtool", "snmpsimd", "snmpget"):
        if shutil.which(tool) is None:
            print("skipped: %s is missing (scripts/setup-deps installs it)" % tool)
            sys.exit(77)
    try:
        import prometheus_client  # noqa: F401
    except ImportError:
        print("skipped: python3-prometheus-client is missing (scripts/setup-deps installs it)")
        sys.exit(77)
    workdir = tempfile.mkdtemp(prefix="velmar-devices-")
    try:
        run(bin_dir, workdir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
