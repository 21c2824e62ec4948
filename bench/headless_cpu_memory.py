"""The headless meter's CPU share (percent of one core) and memory as a user
runs it: ONE meter alone beside bench/stats_printer.cpp, a minimal C-style
interface-statistics printer sampling at 0.5 s, over the same window; and
the ratio of the meter to the printer and to the targets: 0.03 % of a core,
and 0.042 %, the figure such a printer reached on the machine the target
was set on. Two meters side by side keep each other's pages warm in the
caches and flatter both, so the meter with its metrics endpoint scraped
every 5 s is measured in rounds of its own, never beside the plain one.
The rounds of both kinds run in a random order; the figures are the
medians and the spread (lowest to highest) over them.
CPU is the process's scheduler run time (/proc/PID/schedstat,
nanoseconds), not the 10 ms clock ticks of /proc/PID/stat, which cannot
resolve a few hundredths of a percent. Resident memory is VmRSS, which
counts the shared libraries' pages a process touched; PSS shares those out
among the processes using them, and "private" is what the process alone
holds.

    /usr/bin/python3 bench/headless_cpu_memory.py build-release/bin [seconds [rounds [kinds]]]

kinds: "plain", "scraped" or "plain,scraped" (the default); `rounds` of each.
"""
import http.client
import os
import random
import re
import shutil
import statistics
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


def measure(pids, seconds, scrape_port):
    """CPU of every process over one and the same window, the metrics
    endpoint scraped every 5 s meanwhile when there is one."""
    c0, t0 = [cpu_seconds(p) for p in pids], time.monotonic()
    while time.monotonic() - t0 < seconds:
        if scrape_port is not None:
            conn = http.client.HTTPConnection("127.0.0.1", scrape_port, timeout=5)
            conn.request("GET", "/metrics")
            conn.getresponse().read()
            conn.close()
        time.sleep(min(5, max(0, seconds - (time.monotonic() - t0))))
    took = time.monotonic() - t0
    return [dict(memory_mb(p), cpu=100 * (cpu_seconds(p) - c) / took) for p, c in zip(pids, c0)]


def report(label, f):
    print("%s: CPU %.4f %% of one core, RSS %.1f MB (PSS %.1f MB, private %.1f MB); "
          "%.2f x the printer beside it (%.2f-%.2f over the rounds), "
          "%.2f x the %.2f %% target, %.2f x the %.3f %% reference"
          % (label, f["cpu"], f["rss"], f["pss"], f["private"], f["ratio"], f["low"], f["high"],
             f["cpu"] / TARGET, TARGET, f["cpu"] / REFERENCE, REFERENCE))


def start_velmar(bin_dir, app, metrics):
    env = dict(os.environ, VELMAR_APP_DIR=app,
               VELMAR_AGENT_LIBRARY=os.path.join(bin_dir, "libmib2.so"))
    args = [os.path.join(bin_dir, "velmar"), "--headless"]
    if metrics:
        args += ["--metrics", "127.0.0.1:0"]
    return subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True)


def one_round(bin_dir, kind, seconds):
    """One meter of `kind` and the printer side by side for `seconds`,
    started in a random order (a fixed order lets one always wake just
    after the other)."""
    app = tempfile.mkdtemp(prefix="velmar-bench-")
    starts = {
        "printer": lambda: subprocess.Popen([os.path.join(bin_dir, "stats_printer"), "lo"],
                                            stdout=subprocess.DEVNULL),
        "meter": lambda: start_velmar(bin_dir, app, kind == "scraped"),
    }
    procs = {}
    try:
        for name in random.sample(list(starts), len(starts)):
            procs[name] = starts[name]()
            time.sleep(random.uniform(0, 0.5))
        port = None
        if kind == "scraped":
            # The meter names its endpoint once it listens.
            line = procs["meter"].stderr.readline()
            port = int(re.search(r"127\.0\.0\.1:(\d+)", line).group(1))
        time.sleep(3)  # past the start-up, whose cost is not the steady state's
        names = list(procs)
        figures = dict(zip(names, measure([procs[n].pid for n in names], seconds, port)))
        figures["meter"]["ratio"] = figures["meter"]["cpu"] / figures["printer"]["cpu"]
        return figures
    finally:
        for proc in procs.values():
            proc.terminate()
            proc.wait(timeout=10)
        shutil.rmtree(app, ignore_errors=True)


def main(bin_dir, seconds, rounds, kinds):
    # The printer runs beside the meter, so what else the machine does
    # meanwhile weighs on both alike; the ratio to the printer is the figure
    # to judge by, the percentages move with the machine. One round moves
    # by a third from the next on a virtual machine, so the figures are
    # medians over several, in a random order of the kinds.
    order = [kind for kind in kinds for _ in range(rounds)]
    random.shuffle(order)
    results = {kind: [] for kind in kinds}
    for r, kind in enumerate(order):
        f = one_round(bin_dir, kind, seconds)
        results[kind].append(f)
        print("round %d (%s): meter %.4f %%, printer %.4f %%, %.2f x" % (
            r + 1, kind, f["meter"]["cpu"], f["printer"]["cpu"], f["meter"]["ratio"]), flush=True)

    def median_of(rows, name):
        figures = dict(rows[-1][name])  # memory from the last round
        figures["cpu"] = statistics.median(r[name]["cpu"] for r in rows)
        ratios = [r["meter"]["ratio"] for r in rows]
        figures.update(ratio=statistics.median(ratios), low=min(ratios), high=max(ratios))
        return figures

    print("medians of %d rounds of %g s of each kind, one meter beside the printer:"
          % (rounds, seconds))
    printers = [row for kind in kinds for row in results[kind]]
    p = median_of(printers, "printer")
    print("statistics printer (bench/stats_printer.cpp, /proc/net/dev every 0.5 s): "
          "CPU %.4f %% of one core, RSS %.1f MB (PSS %.1f MB)" % (p["cpu"], p["rss"], p["pss"]))
    labels = {"plain": "headless without metrics",
              "scraped": "headless with metrics, scraped every 5 s"}
    for kind in kinds:
        report(labels[kind], median_of(results[kind], "meter"))


if __name__ == "__main__":
    main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 45,
         int(sys.argv[3]) if len(sys.argv) > 3 else 5,
         sys.argv[4].split(",") if len(sys.argv) > 4 else ["plain", "scraped"])
