"""What one scrape of /snmp?target=NAME costs a device and how long it
takes: `velmar --headless --metrics --devices` in front of a simulated
switch of 50 interfaces, reached through a UDP relay that counts the
requests. Six scrapes, each after the meter's 2 s cache has run out.

    python3 bench/device_scrape_load.py BIN_DIR

BIN_DIR is a build's bin folder (another build's, for a before/after
comparison)."""
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import meter_process  # noqa: E402
import metrics_support as ms  # noqa: E402
import snmpsim_fixture as sim  # noqa: E402

PORTS = 50


def main(bin_dir):
    simulator = sim.Simulator()
    relay = meter = None
    try:
        ports = [sim.Port(i, "port %d" % i, name="ge-0/0/%d" % i) for i in range(1, PORTS + 1)]
        simulator.write("switch", sim.recording(ports))
        simulator.start()
        relay = sim.Relay(simulator.port)
        devices = os.path.join(simulator.dir, "devices")
        with open(devices, "w") as f:
            f.write("name=switch address=127.0.0.1:%d version=2c secrets=%s\n"
                    % (relay.port, simulator.secrets("switch")))
        env = meter_process.environment(
            bin_dir, VELMAR_REMOTE_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2remote.so"),
            VELMAR_REGISTRY=os.path.join(tempfile.mkdtemp(), "registry.db"))
        port = ms.free_port()
        meter = ms.Meter(bin_dir, env, "--devices", devices, listen="127.0.0.1:%d" % port)
        times = []
        for _ in range(6):
            before, start = relay.requests, time.monotonic()
            values = ms.samples(ms.scrape(port, path="/snmp?target=switch")[2])
            times.append(time.monotonic() - start)
            print("%d requests, %.3f s, velmar_device_up %g"
                  % (relay.requests - before, times[-1],
                     values.get('velmar_device_up{device="switch"}', float("nan"))))
            time.sleep(2.5)
        print("scrape of %d interfaces: %.3f-%.3f s, median %.3f s"
              % (PORTS, min(times), max(times), statistics.median(times)))
    finally:
        if meter is not None:
            meter.stop()
        if relay is not None:
            relay.close()
        simulator.close()


if __name__ == "__main__":
    main(sys.argv[1])
