#!/usr/bin/env python3
"""A scripted HTTP peer for the traffic-generation tests.

Usage: scripted_server.py SCENARIO DIR

Listens on 127.0.0.1 on a free port and writes "PORT." to DIR/port. Every
connection plays SCENARIO: unless the scenario's name starts with "raw-",
the request head is read first (up to its empty line) and kept in
DIR/request-N.bin. Runs until it is terminated.
"""

import os
import socket
import struct
import sys
import threading
import time

HEAD_OK = b"HTTP/1.1 200 OK\r\n"


def send(conn, data):
    try:
        conn.sendall(data)
        return True
    except OSError:
        return False


def wait_for_close(conn, limit=30.0):
    """Keeps the connection open until the client closes it."""
    conn.settimeout(limit)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


def chunk(data):
    return b"%X\r\n" % len(data) + data + b"\r\n"


def many_chunks():
    body = b"".join(chunk(bytes([size]) * size) for size in range(1, 51))
    return body + b"0\r\n\r\n"


def endless_headers(conn):
    send(conn, HEAD_OK)
    n = 0
    # Bounded, so a client that never stops reading cannot keep it going.
    while n < 1_000_000:
        if not send(conn, b"X-Header-%d: value\r\n" % n):
            return
        n += 1


def slow(conn):
    send(conn, HEAD_OK + b"Content-Length: 10\r\n\r\n")
    for i in range(10):
        time.sleep(0.3)
        if not send(conn, b"%d" % i):
            return


def slow_endless(conn):
    send(conn, HEAD_OK + b"\r\n")
    for _ in range(3000):
        if not send(conn, b"x" * 100):
            return
        time.sleep(0.1)


def drip(conn):
    """One byte a second of a body announced as 1000 bytes."""
    send(conn, HEAD_OK + b"Content-Length: 1000\r\n\r\n")
    for _ in range(60):
        time.sleep(1.0)
        if not send(conn, b"d"):
            return


def reset(conn):
    send(conn, HEAD_OK + b"Content-Length: 100000\r\n\r\n" + b"z" * 10)
    time.sleep(0.3)
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def raw_bytes():
    return bytes(i % 251 for i in range(100000))


SCRIPTS = {
    "ok": HEAD_OK + b"Content-Length: 2\r\n\r\nok",
    "chunked-upper": HEAD_OK + b"Transfer-Encoding: Chunked\r\n\r\n"
    + b"A\r\n0123456789\r\n1F\r\n" + b"abcdefghijklmnopqrstuvwxyz01234" + b"\r\n0\r\n\r\n",
    "chunked-lower": HEAD_OK + b"transfer-encoding:   CHUNKED  \r\n\r\n"
    + b"1a\r\n" + b"abcdefghijklmnopqrstuvwxyz" + b"\r\nff\r\n" + b"q" * 255 + b"\r\n0\r\n\r\n",
    "chunked-many": HEAD_OK + b"Transfer-Encoding: chunked\r\n\r\n" + many_chunks(),
    "chunked-extension": HEAD_OK + b"Transfer-Encoding: chunked\r\n\r\n"
    + b"5;name=value\r\nhello\r\n0\r\n\r\n",
    "chunked-trailer": HEAD_OK + b"Transfer-Encoding: chunked\r\n\r\n"
    + b"5\r\nhello\r\n0\r\nX-Checksum: 1\r\nX-Other: two\r\n\r\n",
    "raw-chunked-trailer": b"5\r\nhello\r\n6\r\n world\r\n0\r\nX-Checksum: 1\r\nX-Other: two\r\n\r\n"
    + b"AFTER\r\n",
    "chunked-huge": HEAD_OK + b"Transfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFF\r\n" + b"h" * 1000,
    "chunked-short": HEAD_OK + b"Transfer-Encoding: chunked\r\n\r\n64\r\n" + b"s" * 10,
    "chunked-overlong": HEAD_OK + b"Transfer-Encoding: chunked\r\n\r\n3\r\nabcdef\r\n0\r\n\r\n",
    "other-coding": HEAD_OK + b"Transfer-Encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
    "no-blank-status": b"HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody",
    "not-found": b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found",
    "folded": HEAD_OK + b"x-custom-HEADER:   value one  \r\n  continued  \r\n\tmore\r\n"
    + b"content-LENGTH:  4 \r\n\r\nbody",
    "close-mid-line": HEAD_OK + b"Content-Le",
    "accept-then-close": b"",
    "raw-close-mid-line": b"first line\r\npartial",
    "long-header": HEAD_OK + b"X-Long: " + b"a" * 100000 + b"\r\n\r\n",
    "content-length-negative": HEAD_OK + b"Content-Length: -5\r\n\r\nabc",
    "content-length-overflow": HEAD_OK + b"Content-Length: 99999999999999999999999\r\n\r\nabc",
    "content-length-absurd": HEAD_OK + b"Content-Length: 1000000000000\r\n\r\nabc",
    "content-length-zero": HEAD_OK + b"Content-Length: 0\r\n\r\nxyz",
    "raw-lines": b"x" * 2045 + b"\r\n" + b"plain\n" + b"\r\n" + b"y" * 2046 + b"\r\n",
    "raw-bytes": raw_bytes(),
    "peer-close-body": HEAD_OK + b"\r\n" + b"p" * 100000,
}

ACTIONS = {
    "endless-headers": endless_headers,
    "slow": slow,
    "slow-endless": slow_endless,
    "drip": drip,
    "reset": reset,
    "silent": wait_for_close,
}

# Scenarios that keep the connection open after their script until the
# client closes it.
KEEP_OPEN = {"raw-chunked-trailer"}


def read_request(conn):
    conn.settimeout(30.0)
    data = b""
    try:
        while b"\r\n\r\n" not in data and len(data) < 1_000_000:
            part = conn.recv(4096)
            if not part:
                break
            data += part
    except OSError:
        pass
    return data


def serve(conn, n, scenario, directory):
    with conn:
        with open(os.path.join(directory, "accepted-%d" % n), "wb"):
            pass
        if not scenario.startswith("raw-"):
            request = read_request(conn)
            with open(os.path.join(directory, "request-%d.bin" % n), "wb") as f:
                f.write(request)
        if scenario in ACTIONS:
            ACTIONS[scenario](conn)
        else:
            send(conn, SCRIPTS[scenario])
            if scenario in KEEP_OPEN:
                wait_for_close(conn, 10.0)


def main():
    scenario, directory = sys.argv[1], sys.argv[2]
    if scenario not in SCRIPTS and scenario not in ACTIONS:
        sys.exit("unknown scenario " + scenario)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    temporary = os.path.join(directory, "port.tmp")
    with open(temporary, "w") as f:
        f.write("%d." % listener.getsockname()[1])
    os.replace(temporary, os.path.join(directory, "port"))
    n = 0
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, n, scenario, directory), daemon=True).start()
        n += 1


if __name__ == "__main__":
    main()
