"""Writes the start-up order files the linker lays out the window and the
agent library by (src/app/velmar.order, src/agent/mib2.order): the
functions each runs from start until the window has ticked for a while,
found by running the window under callgrind on a private Xvfb display
with a tray.

The kernel maps a program's code 64 kB around every page it touches, so
start-up code scattered over the binary kept nearly all of it resident.
Laid out together, it keeps a fifth. Run this again after larger changes
to the window's start or its tick (bench/window_memory.py shows the cost);
names the linker no longer finds are skipped, so a stale file only loses
some of the gain. Give it the Release build the user runs and the
RelWithDebInfo one the tests use: they inline differently, and the files
list what either runs.

    /usr/bin/python3 scripts/startup_order.py build-release/bin build/bin"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import xsession  # noqa: E402

CAPTION = "Velmar 2000 Bandwidth Meter"
OUTPUTS = {"velmar": "src/app/velmar.order", "libmib2.so": "src/agent/mib2.order"}


def executed_functions(profile):
    """Mangled names of the functions callgrind saw run, by object file."""
    objects, functions = {}, {}
    current, executed = None, collections.defaultdict(set)
    with open(profile, errors="replace") as f:
        for line in f:
            m = re.match(r"^(c?ob|c?fn)=\((\d+)\)(?: (.*))?$", line.rstrip("\n"))
            if not m:
                continue
            kind, index, name = m.groups()
            table = objects if kind.endswith("ob") else functions
            if name:
                table[index] = name
            if kind == "ob":
                current = os.path.basename(objects[index])
            elif kind == "fn":
                # callgrind marks recursion levels as name'2.
                executed[current].add(re.sub(r"'\d+$", "", functions[index]))
    return executed


def profile_window(bin_dir, seconds):
    x = xsession.XSession()
    env, home = xsession.private_environment(bin_dir, "yes")
    os.makedirs(env["VELMAR_APP_DIR"])
    work = tempfile.mkdtemp(prefix="velmar-order-")
    profile = os.path.join(work, "callgrind.out")
    proc = subprocess.Popen(["valgrind", "--tool=callgrind", "--demangle=no",
                             "--callgrind-out-file=" + profile, os.path.join(bin_dir, "velmar")],
                            env=dict(x.env(), **env), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        x.shown(CAPTION, 120)
        # A profile of a span, not a wait for a state: the window ticks,
        # repaints its displays and closes the splash in it.
        try:
            proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            pass
    finally:
        proc.terminate()
        proc.wait(timeout=120)
        x.close()
        xsession.cleanup(home)
    try:
        return executed_functions(profile)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(bin_dirs, seconds):
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "setup-deps")], check=True)
    executed = collections.defaultdict(set)
    for bin_dir in bin_dirs:
        for name, functions in profile_window(bin_dir, seconds).items():
            executed[name] |= functions
    for name, output in OUTPUTS.items():
        # Unnamed code (an address) and valgrind's own frames are not symbols.
        symbols = sorted(s for s in executed.get(name, ()) if not s.startswith(("0x", "(")))
        if not symbols:
            raise SystemExit("no function of %s ran: was it built in %s?" % (name, bin_dirs))
        with open(os.path.join(ROOT, output), "w") as f:
            f.write("".join(s + "\n" for s in symbols))
        print("%s: %d functions" % (output, len(symbols)))


if __name__ == "__main__":
    # A profile of a span: the window ticks, repaints and closes its splash.
    main(sys.argv[1:] or ["build/bin"], float(os.environ.get("STARTUP_ORDER_SECONDS", "12")))
