"""The SNMP simulator (Debian's snmpsim) serving recordings the tests write:
devices as the field has them, with counters that grow at known rates
(its numeric variation: value = initial + rate * seconds since it
started), answers it delays (its delay variation) and cells left out."""
import os
import select
import shutil
import socket
import subprocess
import tempfile
import threading
import time

import meter_process
from snmpd_fixture import free_udp_port  # noqa: F401 (the tests take it from here too)

IF_ENTRY = "1.3.6.1.2.1.2.2.1"
IFX_ENTRY = "1.3.6.1.2.1.31.1.1.1"
COUNTER32, GAUGE32, TIMETICKS, COUNTER64 = 65, 66, 67, 70


def meter_environment(bin_dir):
    """The meter's environment for a device test: the remote agent library
    of this build and a key store of the run's own."""
    return meter_process.environment(
        bin_dir, VELMAR_REMOTE_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2remote.so"),
        VELMAR_REGISTRY=os.path.join(tempfile.mkdtemp(), "registry.db"))


def skip_reason():
    if shutil.which("snmpsimd") is None:
        return "snmpsimd is not installed (scripts/setup-deps installs snmpsim)"
    return None


class Port:
    """One interface of a recording. A rate (bytes per second) makes its
    octet counters grow; `gaps` are ifTable columns it has no cell in."""

    def __init__(self, index, descr, name=None, alias=None, type=6, connector=1, rate_in=0,
                 rate_out=0, hc=True, in_as_counter64=False, out_as_counter64=False, gaps=()):
        self.index, self.descr, self.name, self.alias = index, descr, name, alias
        self.type, self.connector, self.hc = type, connector, hc
        self.rate_in, self.rate_out = rate_in, rate_out
        self.in_as_counter64, self.out_as_counter64 = in_as_counter64, out_as_counter64
        self.gaps = set(gaps)


def counter(tag, rate, initial):
    if rate:
        return "%d:numeric|rate=%d,initial=%d" % (tag, rate, initial)
    return "%d|%d" % (tag, initial)


def recording(ports, extra=(), if_number=None, slow_ms=0, forwarding=False):
    """The lines of a .snmprec file: system group, ifNumber, ifTable,
    ifXTable and whatever `extra` adds ((oid, "tag|value") pairs). A slow
    device delays every answer that holds sysUpTime by about `slow_ms`."""
    records = [("1.3.6.1.2.1.1.1.0", "4|A device of the field, \"as recorded\"")]
    if slow_ms:
        records.append(("1.3.6.1.2.1.1.3.0",
                        "67:delay|value=360000,wait=%d,deviation=%d" % (slow_ms, slow_ms // 2)))
    else:
        records.append(("1.3.6.1.2.1.1.3.0", "67|360000"))
    records.append(("1.3.6.1.2.1.2.1.0", "2|%d" % (if_number if if_number is not None
                                                     else len(ports))))
    records.append(("1.3.6.1.2.1.4.1.0", "2|%d" % (1 if forwarding else 2)))
    for p in ports:
        cells = {
            1: "2|%d" % p.index, 2: "4|%s" % p.descr, 3: "2|%d" % p.type, 4: "2|1500",
            5: "66|1000000000", 6: "4x|0012796200%02x" % (p.index % 256), 7: "2|1", 8: "2|1",
            9: "67|0",
            10: counter(COUNTER64 if p.in_as_counter64 else COUNTER32, p.rate_in, 1000),
            16: counter(COUNTER64 if p.out_as_counter64 else COUNTER32, p.rate_out, 5000),
            21: "66|0", 22: "6|0.0"}
        for column in (11, 12, 13, 14, 15, 17, 18, 19, 20):
            cells[column] = "65|%d" % (column * 1000 + p.index)
        for column, value in cells.items():
            if column not in p.gaps:
                records.append(("%s.%d.%d" % (IF_ENTRY, column, p.index), value))
        ifx = {1: "4|%s" % (p.name or p.descr)}
        if p.hc:
            ifx[6] = counter(COUNTER64, p.rate_in, 1000)
            ifx[10] = counter(COUNTER64, p.rate_out, 5000)
        if p.connector:
            ifx[17] = "2|%d" % p.connector
        if p.alias is not None:
            ifx[18] = "4|%s" % p.alias
        for column, value in ifx.items():
            records.append(("%s.%d.%d" % (IFX_ENTRY, column, p.index), value))
    records.extend(extra)
    records.sort(key=lambda r: [int(x) for x in r[0].split(".")])
    return ["%s|%s" % r for r in records]


class Simulator:
    """snmpsimd on 127.0.0.1 at a free port; each recording is a community."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="velmar-snmpsim-")
        self.data = os.path.join(self.dir, "data")
        os.makedirs(self.data)
        os.chmod(self.dir, 0o755)
        os.chmod(self.data, 0o755)
        self.port = free_udp_port()
        self.process = None

    def address(self):
        return "127.0.0.1:%d" % self.port

    def write(self, community, lines):
        path = os.path.join(self.data, community + ".snmprec")
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        os.chmod(path, 0o644)

    def secrets(self, community):
        path = os.path.join(self.dir, community + ".secrets")
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        os.write(fd, ("community=%s\n" % community).encode())
        os.close(fd)
        return path

    def start(self, community_to_wait_for=None):
        if community_to_wait_for is None:
            community_to_wait_for = sorted(os.listdir(self.data))[0].rsplit(".", 1)[0]
        command = [shutil.which("snmpsimd"), "--data-dir=" + self.data,
                   "--agent-udpv4-endpoint=" + self.address(),
                   "--cache-dir=" + os.path.join(self.dir, "cache"),
                   "--logging-method=null"]
        if os.geteuid() == 0:  # it refuses to run as root
            command += ["--process-user=nobody", "--process-group=nogroup"]
            os.makedirs(os.path.join(self.dir, "cache"), exist_ok=True)
            shutil.chown(os.path.join(self.dir, "cache"), "nobody", "nogroup")
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 90
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError("snmpsimd ended with %d" % self.process.returncode)
            out = subprocess.run(["snmpget", "-v2c", "-c", community_to_wait_for, "-t", "3",
                                  "-r", "0", self.address(), "1.3.6.1.2.1.2.1.0"],
                                 capture_output=True, text=True)
            if out.returncode == 0 and "INTEGER" in out.stdout:
                return
            time.sleep(0.3)
        raise AssertionError("snmpsimd does not answer")

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.process = None

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


class Relay:
    """Forwards datagrams from the meter to the device and back, counting
    what the meter sends."""

    def __init__(self, device_port):
        self.device = ("127.0.0.1", device_port)
        self.front = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.front.bind(("127.0.0.1", 0))
        self.port = self.front.getsockname()[1]
        self.backs = {}  # client address -> socket towards the device
        self.requests = 0
        self.bytes = 0
        self.answered = 0  # bytes the device sends back
        self.stop = False
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        while not self.stop:
            sockets = [self.front, *self.backs.values()]
            ready, _, _ = select.select(sockets, [], [], 0.2)
            for s in ready:
                try:
                    data, source = s.recvfrom(65536)
                except OSError:
                    continue
                if s is self.front:
                    self.requests += 1
                    self.bytes += len(data)
                    back = self.backs.get(source)
                    if back is None:
                        back = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                        back.connect(self.device)
                        self.backs[source] = back
                    back.send(data)
                else:
                    self.answered += len(data)
                    client = next(a for a, b in self.backs.items() if b is s)
                    self.front.sendto(data, client)

    def close(self):
        self.stop = True
