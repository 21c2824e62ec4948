"""A private X display (Xvfb) with a system tray (trayer) for end-to-end
runs of the meter's window, and the few X operations the tests need.

Runs under the system's python3, which has python3-xlib."""
import os
import shutil
import subprocess
import tempfile
import time

from Xlib import X, Xatom, display, protocol


class XSession:
    def __init__(self, width=1024, height=768, tray=True):
        self.width, self.height = width, height
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.number = int(f.readline())
        self.name = ":%d" % self.number
        self.display = display.Display(self.name)
        self.tray = None
        if tray:
            self.start_tray()

    def start_tray(self):
        """An XEmbed tray (trayer) at the bottom right, once it owns the
        tray manager selection."""
        self.tray = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
             "--height", "24", "--SetDockType", "false"],
            env=dict(os.environ, DISPLAY=self.name),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait(lambda: self._tray_ready(), 10, "no system tray")

    def _tray_ready(self):
        atom = self.display.intern_atom("_NET_SYSTEM_TRAY_S%d" % self.display.get_default_screen())
        return self.display.get_selection_owner(atom) != X.NONE

    def close(self):
        for p in (self.tray, self.xvfb):
            if p is None:
                continue
            p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()

    def env(self):
        return dict(os.environ, DISPLAY=self.name, QT_QPA_PLATFORM="xcb")

    @staticmethod
    def wait(predicate, seconds, what):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            value = predicate()
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError("timed out: " + what)

    def windows(self):
        out = []
        def walk(w):
            try:
                children = w.query_tree().children
            except Exception:
                return
            for c in children:
                out.append(c)
                walk(c)
        walk(self.display.screen().root)
        return out

    def find_window(self, title):
        for w in self.windows():
            try:
                if w.get_wm_name() == title:
                    return w
            except Exception:
                pass
        return None

    def icon_docked(self, app="velmar"):
        """Whether a tray took `app`'s icon: a window of the program's class
        that the tray embedded (no longer a child of the root)."""
        root = self.display.screen().root
        for w in self.windows():
            try:
                wm_class = w.get_wm_class() or ()
                if app in wm_class and w.query_tree().parent != root and self.is_viewable(w):
                    return True
            except Exception:
                pass  # gone meanwhile
        return False

    def is_viewable(self, window):
        return window.get_attributes().map_state == X.IsViewable

    def shown(self, title, seconds):
        """The window of that title once it is mapped and viewable; each
        of the two waits may take `seconds`."""
        window = self.wait(lambda: self.find_window(title), seconds, title)
        self.wait(lambda: self.is_viewable(window), seconds, title + " shown")
        return window

    def geometry(self, window):
        g = window.get_geometry()
        root = window.translate_coords(self.display.screen().root, 0, 0)
        return (-root.x, -root.y, g.width, g.height)

    def close_box(self, window):
        """What a window manager sends when the user clicks the close box."""
        protocols = self.display.intern_atom("WM_PROTOCOLS")
        delete = self.display.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(
            window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event)
        self.display.flush()

    def move(self, window, x, y):
        window.configure(x=x, y=y)
        self.display.flush()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env(), check=True)

    def tray_menu_key(self, key):
        """Right-click the tray icon (the only one, at the right end of the
        tray) and press a menu accelerator."""
        # The program shows the same menu window again: the last one closes
        # first, so that its showing again is seen.
        last = getattr(self, "_menu", None)
        self.wait(lambda: last not in self._popups(), 10, "the last menu closed")
        shown = self._popups()
        self.xdotool("mousemove", str(self.width - 12), str(self.height - 12))
        # A click that comes while the program still closes a dialog or the
        # last menu may be lost: it clicks again until the menu shows.
        for attempt in range(5):
            self.xdotool("click", "3")
            try:
                self._menu = min(self.wait(lambda: self._popups() - shown, 3, "the tray menu"))
                break
            except AssertionError:
                if attempt == 4:
                    raise
        self.xdotool("key", key)

    def _popups(self):
        """The shown top-level windows no window manager places: menus."""
        found = set()
        for w in self.display.screen().root.query_tree().children:
            try:
                a = w.get_attributes()
            except Exception:
                continue  # gone meanwhile
            if a.override_redirect and a.map_state == X.IsViewable:
                found.add(w.id)
        return found

    def screenshot(self, path, window=None):
        target = "root" if window is None else hex(window.id)
        subprocess.run(["import", "-window", target, path], env=self.env(), check=True)


def private_environment(bin_dir, answers):
    """Settings, key store, autostart entry and runtime directory of the
    test's own, so nothing of the user's is touched."""
    home = tempfile.mkdtemp(prefix="velmar-x-")
    runtime = os.path.join(home, "run")
    os.mkdir(runtime, 0o700)
    return {
        "VELMAR_APP_DIR": os.path.join(home, "app"),
        "VELMAR_REGISTRY": os.path.join(home, "registry.db"),
        "VELMAR_AGENT_LIBRARY": os.path.join(bin_dir, "libmib2.so"),
        "VELMAR_WEB_LIBRARY": os.path.join(bin_dir, "libvelmarweb.so"),
        "XDG_CONFIG_HOME": os.path.join(home, "config"),
        "XDG_RUNTIME_DIR": runtime,
        "VELMAR_TEST_ANSWERS": answers,
        "HOME": home,
    }, home


def cleanup(home):
    shutil.rmtree(home, ignore_errors=True)
