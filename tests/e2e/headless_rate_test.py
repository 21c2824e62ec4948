"""velmar --headless on the loopback row, with a steady known rate pushed
through the loopback: the printed rates settle within 5% of that rate."""
import socket
import statistics
import sys
import threading
import time

import meter_process

PAYLOAD = 8000
# Each datagram crosses the loopback once out and once in, with its UDP,
# IP and link headers (8 + 20 + 14 octets).
WIRE = PAYLOAD + 42
RATE = 3_000_000  # payload bytes per second
SECONDS = 10.0


def send_steadily(stop):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(0.2)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    target = receiver.getsockname()
    drain = threading.Thread(target=lambda: _drain(receiver, stop), daemon=True)
    drain.start()
    data = b"v" * PAYLOAD
    start = time.monotonic()
    sent = 0
    while not stop.is_set():
        due = RATE * (time.monotonic() - start)
        while sent + PAYLOAD <= due:
            sender.sendto(data, target)
            sent += PAYLOAD
        time.sleep(0.005)
    drain.join()


def _drain(receiver, stop):
    while not stop.is_set():
        try:
            receiver.recv(65536)
        except socket.timeout:
            pass


def main(bin_dir):
    env = meter_process.environment(bin_dir)
    row = meter_process.loopback_row(bin_dir, env)
    meter = meter_process.start_headless(bin_dir, "--adapter", str(row), env=env)
    stop = threading.Event()
    lines = []
    reader = threading.Thread(target=lambda: lines.extend(
        (time.monotonic(), l.rstrip("\n")) for l in meter.stdout), daemon=True)
    reader.start()
    # The meter reads steadily once its first line is out.
    deadline = time.monotonic() + 20
    while not lines:
        assert time.monotonic() < deadline and meter.poll() is None, "no first line"
        time.sleep(0.05)
    sender = threading.Thread(target=send_steadily, args=(stop,))
    begin = time.monotonic()
    sender.start()
    time.sleep(SECONDS)
    stop.set()
    sender.join()
    meter.terminate()
    meter.wait(timeout=10)
    reader.join(timeout=5)

    expected = RATE * WIRE / PAYLOAD * 8 / 1000  # kbit/s, 1000-bit kilobits
    settled = []
    for t, line in lines:
        m = meter_process.LINE.match(line)
        assert m, "malformed line: %r" % line
        if begin + 2.0 <= t <= begin + SECONDS - 0.5:
            settled.append((float(m.group(2)), float(m.group(3))))
            last_avg = (float(m.group(4)), float(m.group(5)))
    assert len(settled) >= 10, "too few lines while sending: %d" % len(settled)
    for name, values in (("down", [d for d, _ in settled]), ("up", [u for _, u in settled])):
        median = statistics.median(values)
        near = [v for v in values if abs(v - expected) <= 0.05 * expected]
        print("%s: median %.1f kbit/s, expected %.1f, %d of %d lines within 5%%"
              % (name, median, expected, len(near), len(values)))
        assert abs(median - expected) <= 0.05 * expected, name
        assert len(near) >= 0.8 * len(values), name
    # A steady rate averages to itself.
    for name, avg in zip(("avgdown", "avgup"), last_avg):
        print("%s: %.1f kbit/s" % (name, avg))
        assert abs(avg - expected) <= 0.05 * expected, name
    total = float(meter_process.LINE.match(lines[-1][1]).group(6))
    # Both directions of the loopback carried about RATE * SECONDS.
    assert total * 1024 >= 2 * RATE * (SECONDS - 1), total
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1])
