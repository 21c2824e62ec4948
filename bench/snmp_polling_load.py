"""The load the meter puts on a device: requests and bytes per minute it
sends to a simulated switch of 1,000 interfaces (48 ports with a
connector, 952 VLAN interfaces), measured by a UDP relay between the two,
for one chosen port and for "All", without and with the metrics endpoint
(--metrics, not scraped: its polls are the scrapes').

    python3 bench/snmp_polling_load.py BIN_DIR [SECONDS]

BIN_DIR is a build's bin folder (another build's, for a before/after
comparison)."""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import meter_process  # noqa: E402
import snmpsim_fixture  # noqa: E402
from snmpsim_fixture import Port, Relay, recording  # noqa: E402


def measure(bin_dir, sim, relay, adapter, seconds, metrics):
    env = meter_process.environment(
        bin_dir, VELMAR_REMOTE_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2remote.so"),
        VELMAR_REGISTRY=os.path.join(tempfile.mkdtemp(), "registry.db"))
    extra = ["--metrics", "127.0.0.1:0"] if metrics else []
    meter = meter_process.start_headless(bin_dir, *extra, "--adapter", adapter, "--snmp",
                                         "127.0.0.1:%d" % relay.port, "--snmp-secrets",
                                         sim.secrets("switch"), env=env)
    time.sleep(15)  # the start: the first walk of the tables
    requests, sent, answered = relay.requests, relay.bytes, relay.answered
    start = time.monotonic()
    time.sleep(seconds)
    requests, sent = relay.requests - requests, relay.bytes - sent
    answered = relay.answered - answered
    minutes = (time.monotonic() - start) / 60
    meter.terminate()
    meter.wait(timeout=10)
    return requests / minutes, sent / minutes, answered / minutes


def main(bin_dir, seconds):
    ports = [Port(i, "GigabitEthernet1/0/%d" % i, rate_in=100000 * i, rate_out=50000)
             for i in range(1, 49)]
    ports += [Port(i, "Vlan%d" % i, type=136, connector=2) for i in range(49, 1001)]
    sim = snmpsim_fixture.Simulator()
    try:
        sim.write("switch", recording(ports))
        sim.start()
        relay = Relay(sim.port)
        for metrics in (False, True):
            for what, adapter in (("one port", "7"), ("All", "0")):
                requests, sent, answered = measure(bin_dir, sim, relay, adapter, seconds,
                                                   metrics)
                print("%-8s %-10s %8.0f requests/min %10.0f bytes/min sent "
                      "%10.0f bytes/min answered"
                      % (what, "--metrics" if metrics else "", requests, sent, answered))
    finally:
        sim.close()


if __name__ == "__main__":
    main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 60)
