"""Starts the meter's executables from the build tree for end-to-end tests."""
import os
import re
import select
import subprocess
import tempfile
import time

LINE = re.compile(
    r"^(\d\d:\d\d:\d\d) down=(\d+\.\d\d) up=(\d+\.\d\d) "
    r"avgdown=(\d+\.\d\d) avgup=(\d+\.\d\d) total=(\d+\.\d\d)$")


def environment(bin_dir, **extra):
    """An environment whose settings come from an empty directory of its own."""
    env = dict(os.environ)
    env["VELMAR_APP_DIR"] = tempfile.mkdtemp(prefix="velmar-e2e-")
    env["VELMAR_AGENT_LIBRARY"] = os.path.join(bin_dir, "libmib2.so")
    env.update(extra)
    return env


def run(bin_dir, *args, env=None, timeout=30):
    return subprocess.run([os.path.join(bin_dir, args[0]), *args[1:]], env=env,
                          capture_output=True, text=True, timeout=timeout)


def start_headless(bin_dir, *args, env=None):
    return subprocess.Popen([os.path.join(bin_dir, "velmar"), "--headless", *args], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def wait_for_lines(proc, count, seconds=30):
    """Reads what the meter prints until it has printed `count` lines (a
    tick a line), and returns it; communicate() reads the rest."""
    fd, data, end = proc.stdout.fileno(), b"", time.monotonic() + seconds
    while data.count(b"\n") < count:
        left = end - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise AssertionError("%d lines in %g s: %r" % (count, seconds, data))
        chunk = os.read(fd, 65536)
        if not chunk:
            raise AssertionError("the meter ended after %r" % data)
        data += chunk
    return data.decode()


def loopback_row(bin_dir, env):
    """The adapter number of the loopback interface in the meter's list."""
    out = run(bin_dir, "velmar", "--list-adapters", env=env).stdout
    for line in out.splitlines():
        number, _, name = line.partition(": ")
        if name == "lo":
            return int(number)
    raise AssertionError("no loopback adapter in:\n" + out)
