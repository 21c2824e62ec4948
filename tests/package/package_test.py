"""The Debian package as a user meets it.

Built with cpack from this build folder and checked by lintian,
desktop-file-validate and appstreamcli; its dependencies are checked against
the libraries its programs link. Unpacked into a throw-away root, its programs
run from there: the headless meter and mib2walk find the agent library in the
private folder and print real figures; the window, started through the desktop
entry under Xvfb, shows its own icon, opens the installed manual, writes an
autostart entry naming the installed program and saves its settings in the
XDG folder. Bad cases: a read-only XDG folder, and an old settings file beside
a writable executable.

    /usr/bin/python3 package_test.py <build dir>"""
import glob
import os
import re
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import xsession  # noqa: E402

APP_ID = "org.example.velmar.Velmar"
CAPTION = "Velmar 2000 Bandwidth Meter"
LINE = re.compile(r"^\d\d:\d\d:\d\d down=(\d+\.\d\d) up=(\d+\.\d\d) avgdown=\d+\.\d\d "
                  r"avgup=\d+\.\d\d total=\d+\.\d\d$")
NOBODY = 65534
# lintian's warnings that stay, each with the reason it is kept.
KEPT_WARNINGS = {
    # CPack adds "ldconfig" to postinst and postrm for any library below
    # /usr/lib. The agent folder is private (the meter opens its libraries by
    # path), so the call does nothing useful, and nothing harmful either.
    "maintscript-calls-ldconfig": "CPack's own maintainer scripts",
}


def run(cmd, **kw):
    kw.setdefault("capture_output", True)
    kw.setdefault("text", True)
    return subprocess.run(cmd, **kw)


def build_package(build_dir, work):
    out = run(["cpack", "-G", "DEB", "--config", os.path.join(build_dir, "CPackConfig.cmake"),
               "-B", os.path.join(work, "cpack")])
    assert out.returncode == 0, out.stdout + out.stderr
    debs = glob.glob(os.path.join(work, "cpack", "*.deb"))
    assert len(debs) == 1, debs
    return debs[0]


def check_control_and_dependencies(deb):
    field = lambda name: run(["dpkg-deb", "-f", deb, name]).stdout.strip()  # noqa: E731
    assert field("Package") == "velmar"
    assert field("Section") == "net" and field("Priority") == "optional"
    assert "<" in field("Maintainer") and field("Homepage").startswith("https://")
    description = field("Description").splitlines()
    assert len(description) > 3 and " ." in description, description
    # A Wayland session runs the window natively with Qt's Wayland platform.
    assert "qt6-wayland" in field("Recommends").split(", "), field("Recommends")

    # Every package named is installed here in a version that satisfies it.
    depends = field("Depends")
    named = set()
    for group in depends.split(","):
        satisfied = False
        for alternative in group.split("|"):
            m = re.match(r"\s*([a-z0-9.+-]+)(?:\s*\((>=|<<|<=|=|>>)\s*([^)]+)\))?", alternative)
            assert m, depends
            name, op, version = m.groups()
            named.add(name)
            have = run(["dpkg-query", "-W", "-f=${Status} ${Version}", name]).stdout.split()
            if have[:3] == ["install", "ok", "installed"] and (
                    op is None or run(["dpkg", "--compare-versions", have[3],
                                       {">=": "ge", "<<": "lt", "<=": "le", "=": "eq",
                                        ">>": "gt"}[op], version]).returncode == 0):
                satisfied = True
        assert satisfied, "not satisfiable here: " + group

    # ... and every shared library a packaged program links comes from one.
    root = tempfile.mkdtemp(prefix="velmar-deps-")
    try:
        assert run(["dpkg-deb", "-x", deb, root]).returncode == 0
        cache = run(["ldconfig", "-p"]).stdout
        needed = set()
        for path in glob.glob(os.path.join(root, "usr/bin/*")) + \
                glob.glob(os.path.join(root, "usr/lib/velmar/*.so")):
            dynamic = run(["readelf", "-d", path]).stdout
            needed |= set(re.findall(r"\(NEEDED\)\s+Shared library: \[(.+)\]", dynamic))
        assert "libQt6Widgets.so.6" in needed, needed
        # SQLite is loaded at run time, so no program names it: Depends does.
        assert "libsqlite3.so.0" not in needed and "libsqlite3-0" in named, depends
        for soname in needed:
            m = re.search(r"^\s*" + re.escape(soname) + r" \(libc6,x86-64[^)]*\) => (\S+)$",
                          cache, re.M) or re.search(
                r"^\s*" + re.escape(soname) + r" \([^)]*\) => (\S+)$", cache, re.M)
            assert m, soname
            owner = run(["dpkg", "-S", os.path.realpath(m.group(1))]).stdout
            if not owner:
                owner = run(["dpkg", "-S", m.group(1)]).stdout
            package = owner.split(":")[0].strip()
            assert package in named, "%s (%s) is not in Depends: %s" % (soname, package, depends)
    finally:
        shutil.rmtree(root)
    print("control and dependencies: ok (%s)" % depends)


def check_lints(deb, root):
    out = run(["lintian", "--no-tag-display-limit", deb])
    lines = [l for l in out.stdout.splitlines() if re.match(r"^[EWIPNX]: ", l)]
    errors = [l for l in lines if l.startswith("E: ")]
    assert not errors, "\n".join(errors)
    warnings = [l for l in lines if l.startswith("W: ")]
    unexplained = [l for l in warnings if l.split()[2] not in KEPT_WARNINGS]
    assert not unexplained, "\n".join(unexplained)
    for line in lines:
        print("lintian: " + line)

    entry = os.path.join(root, "usr/share/applications", APP_ID + ".desktop")
    out = run(["desktop-file-validate", entry])
    assert out.returncode == 0 and not out.stdout.strip(), out.stdout + out.stderr
    metainfo = os.path.join(root, "usr/share/metainfo", APP_ID + ".metainfo.xml")
    out = run(["appstreamcli", "validate", "--no-net", "--no-color", metainfo])
    assert out.returncode == 0 and re.search(r"^[EWI]:", out.stdout, re.M) is None, out.stdout
    print("lintian, desktop-file-validate, appstreamcli: ok")


def check_layout(root):
    for path in ["usr/bin/velmar", "usr/bin/mib2walk", "usr/lib/velmar/libmib2.so",
                 "usr/lib/velmar/libmib2remote.so", "usr/lib/velmar/libmib2devices.so",
                 "usr/lib/velmar/libvelmarweb.so", "usr/lib/velmar/libvelmarprint.so",
                 "usr/share/velmar/help/index.html", "usr/share/man/man1/velmar.1.gz",
                 "usr/share/man/man1/mib2walk.1.gz", "usr/share/doc/velmar/copyright",
                 "usr/share/icons/hicolor/scalable/apps/velmar.svg",
                 "usr/share/icons/hicolor/16x16/apps/velmar.png",
                 "usr/share/icons/hicolor/256x256/apps/velmar.png",
                 "usr/lib/systemd/user/velmar-exporter.service",
                 "usr/lib/velmar/velmar-capture"]:
        assert os.path.isfile(os.path.join(root, path)), path
    # Nothing of the build: no tests, no library beside the executables.
    assert sorted(os.listdir(os.path.join(root, "usr/bin"))) == ["mib2walk", "velmar"]
    assert os.access(os.path.join(root, "usr/lib/velmar/velmar-headless"), os.X_OK)
    for man in ("velmar", "mib2walk"):
        out = run(["man", "--warnings", "-l", os.path.join(root, "usr/share/man/man1",
                                                           man + ".1.gz")],
                  env=dict(os.environ, MANWIDTH="80"))
        assert out.returncode == 0 and not out.stderr.strip(), out.stderr
    page = run(["man", "-l", os.path.join(root, "usr/share/man/man1/velmar.1.gz")],
               env=dict(os.environ, MANWIDTH="80")).stdout
    for option in ("--headless", "--adapter", "--list-adapters", "--history"):
        assert option in page, option


def user_environment(home, extra=None):
    """A user of the installed meter: nothing of the build's test knobs."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("VELMAR_") and not k.startswith("XDG_")}
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, 0o700, exist_ok=True)
    env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local/share"), XDG_RUNTIME_DIR=runtime)
    env.update(extra or {})
    return env


def loopback_traffic(stop):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.setblocking(False)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    while not stop.is_set():
        for _ in range(20):
            sender.sendto(b"v" * 8000, receiver.getsockname())
            try:
                while True:
                    receiver.recv(65536)
            except BlockingIOError:
                pass
        time.sleep(0.01)


def check_programs(root, work):
    bin_dir = os.path.join(root, "usr/bin")
    env = user_environment(os.path.join(work, "cli-home"))

    walk = run([os.path.join(bin_dir, "mib2walk"), ".1.3.6.1.2.1.2.2.1"], env=env)
    assert walk.returncode == 0, walk.stderr
    names = sorted(re.findall(r'^\.1\.3\.6\.1\.2\.1\.2\.2\.1\.2\.\d+ = STRING: "(.*)"$',
                              walk.stdout, re.M))
    assert names == sorted(os.listdir("/sys/class/net")), names
    counters = re.findall(r"^\.1\.3\.6\.1\.2\.1\.2\.2\.1\.10\.\d+ = Counter32: (\d+)$",
                          walk.stdout, re.M)
    assert len(counters) == len(names) and any(int(c) > 0 for c in counters), counters

    adapters = run([os.path.join(bin_dir, "velmar"), "--list-adapters"], env=env)
    assert adapters.returncode == 0, adapters.stderr
    row = next(l.split(": ")[0] for l in adapters.stdout.splitlines() if l.endswith(": lo"))
    stop = threading.Event()
    sender = threading.Thread(target=loopback_traffic, args=(stop,))
    sender.start()
    meter = subprocess.Popen([os.path.join(bin_dir, "velmar"), "--headless", "--adapter", row],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    lines = []
    try:
        for line in meter.stdout:
            lines.append(line.rstrip("\n"))
            if len(lines) == 4:
                break
    finally:
        stop.set()
        sender.join()
        meter.terminate()
        _, err = meter.communicate(timeout=10)
    assert len(lines) == 4 and all(LINE.match(l) for l in lines), lines
    assert any(float(LINE.match(l).group(1)) > 0 for l in lines[1:]), lines
    assert "Error" not in err, err
    # The headless meter writes no settings anywhere.
    assert not os.path.exists(os.path.join(env["XDG_CONFIG_HOME"], "velmar"))
    print("installed mib2walk and velmar --headless: ok (%s)" % lines[-1])


def check_capture_helper(deb, root, work):
    """The postinst gives the helper its capabilities; a user without
    privileges then gets precise per-program figures from the meter."""
    control = os.path.join(work, "control")
    assert run(["dpkg-deb", "-e", deb, control]).returncode == 0
    out = run(["sh", os.path.join(control, "postinst"), "configure"],
              env=dict(os.environ, DPKG_ROOT=root))
    assert out.returncode == 0, out.stderr
    helper = os.path.join(root, "usr/lib/velmar/velmar-capture")
    caps = run(["getcap", helper]).stdout
    assert "cap_net_admin,cap_net_raw=ep" in caps, caps
    home = os.path.join(work, "programs-home")
    env = user_environment(home)
    for folder in (home, env["XDG_RUNTIME_DIR"]):
        os.chown(folder, NOBODY, NOBODY)
    os.chmod(work, 0o755)
    meter = subprocess.Popen(["setpriv", "--reuid", str(NOBODY), "--regid", str(NOBODY),
                              "--clear-groups", os.path.join(root, "usr/bin/velmar"),
                              "--headless", "--programs", "--format", "json"],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    precise = None
    # Ends the wait when no precise reading comes.
    watchdog = threading.Timer(30, meter.terminate)
    watchdog.start()
    try:
        for line in meter.stdout:
            if '"programs"' in line and '"precise":true' in line:
                precise = line
                break
    finally:
        watchdog.cancel()
        meter.terminate()
        _, err = meter.communicate(timeout=10)
    assert precise, err
    print("velmar-capture after postinst: precise figures for an unprivileged user")


def settings_lines(**changes):
    lines = ["Velmar 2000 settings, please don't change this file! ", "0", "1", "http://"]
    lines += ["0"] * 4 + ["", ""] + ["0"] * 27 + ["1"] * 3 + ["Velmar reserved line"] + ["1"] * 3
    for n, text in changes.items():
        lines[int(n[1:])] = text
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


class Window:
    """The installed meter's window, started as the desktop's launcher
    starts it: the Exec line of the desktop entry, found on PATH."""

    def __init__(self, x, root, env, unprivileged=False):
        with open(os.path.join(root, "usr/share/applications", APP_ID + ".desktop")) as f:
            exec_line = re.search(r"^Exec=(.*)$", f.read(), re.M).group(1).split()
        env = dict(x.env(), **env)
        env["PATH"] = os.path.join(root, "usr/bin") + ":" + env["PATH"]
        command = exec_line
        if unprivileged and os.geteuid() == 0:
            command = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY,
                       "--clear-groups"] + command
        self.x = x
        self.proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        self.window = x.wait(lambda: x.find_window(CAPTION), 20, "the main window")
        x.wait(lambda: x.is_viewable(self.window), 10, "the window shown")
        # Away from the centred splash, so clicks land on the window.
        x.move(self.window, 20, 20)
        x.wait(lambda: x.geometry(self.window)[:2] == (20, 20), 5, "the window moved")

    def click(self, dx, dy):
        left, top, _, _ = self.x.geometry(self.window)
        self.x.xdotool("mousemove", str(left + dx), str(top + dy))
        self.x.xdotool("click", "1")
        time.sleep(0.5)

    def save_and_quit(self):
        self.click(237, 17)   # the Exit tab
        self.click(137, 119)  # "Save settings and Quit"
        return self.finish()

    def end(self):
        self.x.tray_menu_key("e")  # "&End", answered yes
        return self.finish()

    def finish(self):
        _, err = self.proc.communicate(timeout=20)
        assert self.proc.returncode == 0, err
        return err

    def icon_sizes(self):
        atom = self.x.display.intern_atom("_NET_WM_ICON")
        prop = self.window.get_full_property(atom, 0)
        values, sizes = list(prop.value) if prop else [], []
        while len(values) >= 2:
            w, h = values[0], values[1]
            sizes.append(w)
            values = values[2 + w * h:]
        return sorted(set(sizes))


def tree_files(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


def check_window_in_xdg_folder(x, root, work):
    home = os.path.join(work, "home")
    calls = os.path.join(work, "opened")
    opener = os.path.join(work, "opener")
    with open(opener, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s"\n' % calls)
    os.chmod(opener, 0o755)
    env = user_environment(home, {"VELMAR_TEST_ANSWERS": "yes,yes,yes,yes",
                                  "VELMAR_OPENER": opener})
    bin_before = tree_files(os.path.join(root, "usr"))
    xdg = os.path.join(env["XDG_CONFIG_HOME"], "velmar")
    settings = os.path.join(xdg, "Velmarsettings.ini")

    w = Window(x, root, env)
    assert os.path.realpath("/proc/%d/exe" % w.proc.pid) == \
        os.path.realpath(os.path.join(root, "usr/bin/velmar"))
    # The first start writes the defaults into the XDG folder.
    x.wait(lambda: os.path.exists(settings), 10, "the default settings in " + xdg)
    # The window's icon is the theme's (its PNGs go up to 256 pixels; the
    # picture drawn in code has four sizes up to 48).
    sizes = w.icon_sizes()
    assert 256 in sizes and 16 in sizes, sizes
    # Help opens the installed manual ("&Hide" and "&Help" share their key:
    # the second press reaches Help, Return takes it).
    x.tray_menu_key("h")
    x.xdotool("key", "h", "Return")
    # The shell creates the file before printf writes the line: wait for
    # the line itself.
    def opened():
        if not os.path.exists(calls):
            return ""
        with open(calls) as f:
            text = f.read()
        return text.strip() if text.endswith("\n") else ""
    x.wait(opened, 10, "the opener called")
    page = opened()
    assert page == os.path.join(root, "usr/share/velmar/help/index.html"), page
    assert os.path.isfile(page)
    # "Save settings and Quit" writes the file in the XDG folder again.
    os.remove(settings)
    w.save_and_quit()
    with open(settings, "rb") as f:
        # The 44 core lines, the metrics line and the source's 45 to 52.
        assert f.read().count(b"\r\n") == 53
    assert tree_files(xdg) == ["Velmarsettings.ini"], tree_files(xdg)
    assert tree_files(os.path.join(root, "usr")) == bin_before, "the installed tree changed"

    # Start with the session: the autostart entry names the installed
    # program and passes the desktop's validator.
    with open(settings, "rb") as f:
        lines = f.read().split(b"\r\n")
    lines[10] = b"1"
    with open(settings, "wb") as f:
        f.write(b"\r\n".join(lines))
    w = Window(x, root, env)
    entry = os.path.join(env["XDG_CONFIG_HOME"], "autostart/velmar.desktop")
    x.wait(lambda: os.path.exists(entry), 10, "the autostart entry")
    w.end()
    with open(entry) as f:
        text = f.read()
    exec_path = re.search(r'^Exec="(.*)"$', text, re.M).group(1)
    assert os.path.samefile(exec_path, os.path.join(root, "usr/bin/velmar")), text
    assert "Icon=velmar" in text.splitlines(), text
    out = run(["desktop-file-validate", entry])
    assert out.returncode == 0 and not out.stdout.strip(), out.stdout
    print("window from the installed tree: settings in %s, icon sizes %s, help, autostart: ok"
          % (xdg, sizes))


def check_read_only_xdg_folder(x, root, work):
    """The settings folder cannot be written: the save says so and the old
    file stays as it was, with nothing beside it."""
    home = os.path.join(work, "ro-home")
    env = user_environment(home, {"VELMAR_TEST_ANSWERS": "yes,yes,yes,yes"})
    xdg = os.path.join(env["XDG_CONFIG_HOME"], "velmar")
    os.makedirs(xdg)
    old = settings_lines(l15="4321")
    with open(os.path.join(xdg, "Velmarsettings.ini"), "wb") as f:
        f.write(old)
    if os.geteuid() == 0:
        os.chmod(work, 0o755)
        for d, dirs, files in os.walk(home):
            for name in dirs + files:
                os.chown(os.path.join(d, name), NOBODY, NOBODY)
        os.chown(home, NOBODY, NOBODY)
    os.chmod(xdg, 0o555)
    try:
        w = Window(x, root, env, unprivileged=True)
        err = w.save_and_quit()
    finally:
        os.chmod(xdg, 0o755)
    # The reason follows on the message's second line.
    message = re.search(r"velmar-dialog: message: Save to disk failed!\n(.*)", err)
    assert message, err
    assert message.group(1).startswith("Cannot write " + xdg + "/Velmarsettings.ini") and \
        "Permission denied" in message.group(1), message.group(1)
    with open(os.path.join(xdg, "Velmarsettings.ini"), "rb") as f:
        assert f.read() == old
    assert tree_files(xdg) == ["Velmarsettings.ini"], tree_files(xdg)
    print("read-only XDG folder: ok (%s)" % message.group(1))


def check_old_settings_beside_the_executable(x, root, work):
    """A settings file beside a writable executable keeps being used, even in
    an installed tree: it is read, and the save goes back to it."""
    home = os.path.join(work, "old-home")
    env = user_environment(home, {"VELMAR_TEST_ANSWERS": "yes,yes,yes,yes"})
    beside = os.path.join(root, "usr/bin/Velmarsettings.ini")
    with open(beside, "wb") as f:
        f.write(settings_lines(l15="4321", l40="kept since the old days"))
    try:
        Window(x, root, env).save_and_quit()
        with open(beside, "rb") as f:
            lines = f.read().split(b"\r\n")
    finally:
        os.remove(beside)
    assert lines[15] == b"4321" and lines[40] == b"kept since the old days", lines
    assert not os.path.exists(os.path.join(env["XDG_CONFIG_HOME"], "velmar"))
    print("old settings file beside the executable: ok")


def main(build_dir):
    work = tempfile.mkdtemp(prefix="velmar-package-")
    try:
        deb = build_package(build_dir, work)
        print("package: %s" % os.path.basename(deb))
        check_control_and_dependencies(deb)
        root = os.path.join(work, "root")
        assert run(["dpkg", "-x", deb, root]).returncode == 0
        check_layout(root)
        check_lints(deb, root)
        check_programs(root, work)
        check_capture_helper(deb, root, work)
        x = xsession.XSession()
        try:
            check_window_in_xdg_folder(x, root, work)
            check_read_only_xdg_folder(x, root, work)
            check_old_settings_beside_the_executable(x, root, work)
        finally:
            x.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
