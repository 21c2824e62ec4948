"""A real snmpd for the tests: on 127.0.0.1 at a free port, run as the
current user from a configuration and a persistent folder of its own, with
a v2c community and a v3 authPriv user (SHA, AES)."""
import os
import shutil
import socket
import subprocess
import tempfile
import time

COMMUNITY = "velmar-c0mmunity"
USER = "velmar"
AUTH = "auth-Secret-7731"
PRIV = "priv-Secret-4410"
# A community that may change only the agent's own cache settings.
CACHE_COMMUNITY = "velmar-cache-rw"
# The agent keeps its interface data for 3 s; a router's counters move on
# every read, and so should this one's.
CACHE_TIMEOUT = ".1.3.6.1.4.1.8072.1.5.3.1.2.1.3.6.1.2.1.2.2"

ROOTS = [".1.3.6.1.2.1.2.2", ".1.3.6.1.2.1.4.21", ".1.3.6.1.2.1.6.13",
         ".1.3.6.1.2.1.31.1.1", ".1.3.6.1.2.1.31.1.2",
         # Tables NetStat asks for, fetched only then: the routes and the
         # addresses of both families (their rows hold still between walks).
         ".1.3.6.1.2.1.4.24.7", ".1.3.6.1.2.1.4.34"]


def skip_reason():
    for tool in ("snmpd", "snmpwalk", "snmpset"):
        if shutil.which(tool) is None and not os.path.exists("/usr/sbin/" + tool):
            return "%s is not installed (scripts/setup-deps installs snmpd and snmp)" % tool
    return None


def free_udp_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Snmpd:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="velmar-snmpd-")
        self.port = free_udp_port()
        self.process = None
        self.conf = os.path.join(self.dir, "snmpd.conf")
        with open(self.conf, "w") as f:
            f.write("agentAddress udp:127.0.0.1:%d\n" % self.port)
            f.write("rocommunity %s 127.0.0.1\n" % COMMUNITY)
            f.write("rwcommunity %s 127.0.0.1 .1.3.6.1.4.1.8072.1.5\n" % CACHE_COMMUNITY)
            f.write('createUser %s SHA "%s" AES "%s"\n' % (USER, AUTH, PRIV))
            f.write("rouser %s priv\n" % USER)
        self.secrets = os.path.join(self.dir, "secrets")
        fd = os.open(self.secrets, os.O_WRONLY | os.O_CREAT, 0o600)
        os.write(fd, ("community=%s\nauth=%s\npriv=%s\n" % (COMMUNITY, AUTH, PRIV)).encode())
        os.close(fd)

    def address(self):
        return "127.0.0.1:%d" % self.port

    def start(self):
        env = dict(os.environ, SNMP_PERSISTENT_DIR=os.path.join(self.dir, "persist"))
        self.process = subprocess.Popen(
            [shutil.which("snmpd") or "/usr/sbin/snmpd", "-f", "-Lf",
             os.path.join(self.dir, "snmpd.log"), "-C", "-c", self.conf],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError("snmpd ended: " + self.log())
            if self.walk(".1.3.6.1.2.1.2.1", timeout=1).returncode == 0:
                self.fresh_counters()
                return
        raise AssertionError("snmpd does not answer: " + self.log())

    def fresh_counters(self):
        subprocess.run(["snmpset", "-v2c", "-c", CACHE_COMMUNITY, "-t", "2",
                        self.address(), CACHE_TIMEOUT, "i", "0"],
                       capture_output=True, check=True)

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.process = None

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def log(self):
        try:
            with open(os.path.join(self.dir, "snmpd.log")) as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    def walk(self, root, v3=False, timeout=5):
        auth = (["-v3", "-l", "authPriv", "-u", USER, "-a", "SHA", "-A", AUTH, "-x", "AES",
                 "-X", PRIV] if v3 else ["-v2c", "-c", COMMUNITY])
        return subprocess.run(["snmpwalk", "-m", "", *auth, "-On", "-Oe", "-t", str(timeout), "-r", "0",
                               self.address(), root], capture_output=True, text=True,
                              timeout=timeout + 30)
