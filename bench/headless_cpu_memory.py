"""The headless meter's CPU share (percent of one core) and memory, with its
metrics endpoint scraped every 5 s, beside the same meter without the
endpoint, and the ratio of each to the targets: 0.03 % of a core, and
0.042 %, the figure a minimal C interface-statistics printer sampling at
0.5 s reached on the machine the target was set on (other meters are not
run here). CPU is the process's scheduler run time
(/proc/PID/schedstat, nanoseconds), not the 10 ms clock ticks of
/proc/PID/stat, which cannot resolve a few hundredths of a percent.
Resident memory is VmRSS, which counts the shared libraries' pages a
process touched; PSS shares those out among the processes using them, and
"private" is what the process alone holds.

    /usr/bin/python3 bench/headless_cpu_memory.py build-release/bin [seconds]"""
import http.client
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

TARGET = 0.03
REFERENCE = 0.042


def cpu_seconds(pid):
    # Every thread's run time: the process's own schedstat counts only its
    # main thread.
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        except OSError:
            pass  # a thread that ended meanwhile
    return total / 1e9


def memory_mb(pid):
    figures = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                figures["rss"] = int(line.split()[1]) / 1024
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            if key == "Pss":
                figures["pss"] = int(value.split()[0]) / 1024
            if key in ("Private_Clean", "Private_Dirty"):
                figures["private"] = figures.get("private", 0) + int(value.split()[0]) / 1024
    return figures


def measure(pid, seconds, scrape_port=None):
    c0, t0 = cpu_seconds(pid), time.monotonic()
    scrapes = 0
    while time.monotonic() - t0 < seconds:
        if scrape_port:
            conn = http.client.HTTPConnection("127.0.0.1", scrape_port, timeout=5)
            conn.request("GET", "/metrics")
            conn.getresponse().read()
            conn.close()
            scrapes += 1
        time.sleep(min(5, max(0, seconds - (time.monotonic() - t0))))
    cpu = 100 * (cpu_seconds(pid) - c0) / (time.monotonic() - t0)
    return dict(memory_mb(pid), cpu=cpu, scrapes=scrapes)


def report(label, f):
    print("%s: CPU %.4f %% of one core, RSS %.1f MB (PSS %.1f MB, private %.1f MB); "
          "%.2f x the %.2f %% target, %.2f x the %.3f %% reference"
          % (label, f["cpu"], f["rss"], f["pss"], f["private"], f["cpu"] / TARGET, TARGET,
             f["cpu"] / REFERENCE, REFERENCE))


def velmar(bin_dir, seconds, metrics):
    app = tempfile.mkdtemp(prefix="velmar-bench-")
    env = dict(os.environ, VELMAR_APP_DIR=app,
               VELMAR_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2.so"))
    args = [os.path.join(bin_dir, "velmar"), "--headless"]
    if metrics:
        args += ["--metrics", "127.0.0.1:0"]
    proc = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True)
    try:
        port = None
        if metrics:
            line = proc.stderr.readline()
            port = int(re.search(r"127\.0\.0\.1:(\d+)", line).group(1))
        time.sleep(3)
        return measure(proc.pid, seconds, port)
    finally:
        proc.terminate()
        proc.wait(timeout=10)
        shutil.rmtree(app, ignore_errors=True)


def main(bin_dir, seconds):
    report("headless with metrics, scraped every 5 s", velmar(bin_dir, seconds, True))
    report("headless without metrics", velmar(bin_dir, seconds, False))


if __name__ == "__main__":
    main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 60)
