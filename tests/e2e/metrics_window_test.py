"""The window serves the same metrics when settings line 44 names an
address: the meter's window under Xvfb with a tray, measuring the loopback
with an alarm on "actual downstream above 1 kbit/s", scraped while loopback
traffic flows: the interface counters, the monitored adapter's rates and
the alarm events are there, no SNMP library is mapped, and SQLite only
while the key store is used."""
import os
import socket
import subprocess
import sys
import threading
import time

import meter_process
import metrics_support as ms
import xsession

CAPTION = "Velmar 2000 Bandwidth Meter"


def traffic(stop):
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(("127.0.0.1", 0))
    sink.setblocking(False)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    while not stop.is_set():
        sender.sendto(b"w" * 4000, sink.getsockname())
        try:
            while sink.recv(65536):
                pass
        except BlockingIOError:
            pass
        time.sleep(0.01)


def main(bin_dir):
    x = xsession.XSession()
    env, home = xsession.private_environment(bin_dir, "yes")
    stop = threading.Event()
    proc = None
    try:
        os.makedirs(env["VELMAR_APP_DIR"])
        row = meter_process.loopback_row(bin_dir, dict(os.environ, **env))
        port = ms.free_port()
        lines = ["Velmar 2000 settings, please don't change this file! ", "0", "1", "http://"]
        lines += ["0"] * 4 + ["", ""] + ["0"] * 27 + ["1"] * 3 + ["Velmar reserved line"]
        lines += ["1"] * 3 + ["127.0.0.1:%d" % port]
        lines[11] = "1"  # measure at once
        lines[13] = str(row)  # the loopback
        lines[29], lines[19] = "1", "1"  # alarm: actual downstream above 1 kbit/s
        assert len(lines) == 45
        with open(os.path.join(env["VELMAR_APP_DIR"], "Velmarsettings.ini"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))
        proc = subprocess.Popen([os.path.join(bin_dir, "velmar")], env=dict(x.env(), **env),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        x.wait(lambda: x.find_window(CAPTION), 20, "the window")
        threading.Thread(target=traffic, args=(stop,), daemon=True).start()

        def alarmed():
            try:
                values = ms.samples(ms.scrape(port)[2])
            except OSError:
                return None
            key = 'velmar_alarm_events_total{condition="receive_above"}'
            return values if values.get(key, 0) > 0 else None

        values = ms.wait_for(alarmed, 40, "an alarm event in the window's metrics")
        assert values['velmar_interface_receive_bytes_total{interface="lo",ifindex="1"}'] > 0, values
        assert values['velmar_interface_counted_in_all{interface="lo",ifindex="1"}'] == 0
        assert values['velmar_receive_rate_bytes_per_second{adapter="lo"}'] >= 0
        assert 'velmar_traffic_bytes_total{adapter="lo"}' in values
        status, headers, body = ms.scrape(port, accept="application/openmetrics-text")
        assert status == 200 and body.endswith("# EOF\n")
        # Serving this computer's figures, the window maps no SNMP library:
        # the device polling is loaded once a device is measured. Nor any
        # TLS, YAML or password library: those are loaded once a web
        # configuration is set.
        with open("/proc/%d/maps" % proc.pid) as f:
            maps = f.read()
        # Nor Qt Print Support, loaded once the graph prints.
        for library in ("libnetsnmp", "libcrypto", "libcrypt.so", "libssl", "libyaml-cpp", "libvelmarweb",
                        "libmib2devices", "libmib2remote", "libQt6PrintSupport", "libvelmarprint"):
            assert library not in maps, library

        # SQLite is loaded while the key store is used (the start, the
        # alarms' log, the records) and let go once the loop waits again.
        def sqlite_unmapped():
            with open("/proc/%d/maps" % proc.pid) as f:
                return "libsqlite3" not in f.read()

        ms.wait_for(sqlite_unmapped, 10, "SQLite unmapped between the key store's uses")
        print("window metrics: %d samples, %d alarm events"
              % (len(values), values['velmar_alarm_events_total{condition="receive_above"}']))
        stop.set()
        x.tray_menu_key("e")
        proc.wait(timeout=20)
        assert proc.returncode == 0, proc.stderr.read()
        proc = None
    finally:
        stop.set()
        if proc is not None:
            proc.kill()
        x.close()
        xsession.cleanup(home)
    print("ok")


if __name__ == "__main__":
    main(sys.argv[1])
