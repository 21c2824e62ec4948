"""Keeps a steady transfer running over the host's loopback, as another job
on a shared CI machine would, so the suite can be run beside it: the rate
tests must measure in their own network namespaces and not see it.

    /usr/bin/python3 bench/loopback_load.py [bytes per second] [seconds]

20 MB/s for an hour unless told; UDP datagrams of 32 KiB to a socket of its
own on 127.0.0.1, paced every 10 ms. It prints the rate it kept when it
ends (SIGINT or SIGTERM end it)."""
import signal
import socket
import sys
import threading
import time

DATAGRAM = 32 * 1024


def drain(sock):
    while True:
        try:
            sock.recv(65536)
        except OSError:
            return


def main(rate, seconds):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    threading.Thread(target=drain, args=(receiver,), daemon=True).start()
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    target = receiver.getsockname()
    payload = bytes(DATAGRAM)
    stop = []
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: stop.append(True))
    start = time.monotonic()
    sent = 0
    while not stop and time.monotonic() - start < seconds:
        due = (time.monotonic() - start) * rate
        while sent < due:
            sent += sender.sendto(payload, target)
        time.sleep(0.01)
    took = time.monotonic() - start
    print("loopback load: %.1f MB/s for %.0f s" % (sent / took / 1e6, took), flush=True)


if __name__ == "__main__":
    main(float(sys.argv[1]) if len(sys.argv) > 1 else 20e6,
         float(sys.argv[2]) if len(sys.argv) > 2 else 3600)
