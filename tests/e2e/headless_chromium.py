"""Debian's chromium, headless, driven through the DevTools protocol over
its debugging pipe (file descriptors 3 and 4, messages ending in NUL): no
websocket library and no network port needed.

    with HeadlessChromium() as browser:
        browser.open("file:///tmp/report.html")
        browser.evaluate("document.title")
"""
import base64
import fcntl
import json
import os
import shutil
import subprocess
import tempfile
import time

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe"]


def find():
    return shutil.which("chromium")


class HeadlessChromium:
    def __init__(self, width=1100, height=900):
        self.profile = tempfile.mkdtemp(prefix="velmar-chromium-")
        # The pipe ends go to high numbers first, so that placing them on 3
        # and 4 in the child cannot overwrite one with the other.
        to_browser_r, to_browser_w = os.pipe()
        from_browser_r, from_browser_w = os.pipe()
        child_in = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 10)
        child_out = fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 10)
        os.close(to_browser_r)
        os.close(from_browser_w)

        def place():
            os.dup2(child_in, 3)
            os.dup2(child_out, 4)

        self.proc = subprocess.Popen(
            [find()] + FLAGS + ["--user-data-dir=" + self.profile,
                                "--window-size=%d,%d" % (width, height), "about:blank"],
            preexec_fn=place, pass_fds=(3, 4, child_in, child_out),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(child_in)
        os.close(child_out)
        self.out = os.fdopen(to_browser_w, "wb", buffering=0)
        self.inp = os.fdopen(from_browser_r, "rb", buffering=0)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None
        targets = self.call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": page["targetId"], "flatten": True},
                                 browser=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.call(domain + ".enable")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        try:
            self.call("Browser.close", browser=True)
        except Exception:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _read(self):
        while b"\0" not in self.buffer:
            chunk = self.inp.read(1 << 16)
            if not chunk:
                raise RuntimeError("chromium closed its debugging pipe")
            self.buffer += chunk
        message, _, self.buffer = self.buffer.partition(b"\0")
        return json.loads(message)

    def call(self, method, params=None, browser=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if self.session and not browser:
            message["sessionId"] = self.session
        self.out.write(json.dumps(message).encode() + b"\0")
        while True:
            reply = self._read()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def wait_for(self, method, seconds=30):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            for e in self.events:
                if e["method"] == method:
                    self.events.remove(e)
                    return e
            self.events.append(self._read())
        raise AssertionError("no %s within %d s" % (method, seconds))

    def open(self, url):
        self.call("Page.navigate", {"url": url})
        self.wait_for("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def problems(self):
        """Console errors and warnings, exceptions, log entries."""
        out = []
        for e in self.events:
            p = e.get("params", {})
            if e["method"] == "Runtime.consoleAPICalled" and p.get("type") in ("error", "warning",
                                                                                "assert"):
                out.append("console %s: %s" % (p["type"], p.get("args")))
            elif e["method"] == "Runtime.exceptionThrown":
                out.append("exception: %s" % p.get("exceptionDetails"))
            elif e["method"] == "Log.entryAdded" and p["entry"]["level"] in ("error", "warning"):
                out.append("log %s: %s" % (p["entry"]["level"], p["entry"].get("text")))
        return out

    def requests(self):
        return [e["params"]["request"]["url"] for e in self.events
                if e["method"] == "Network.requestWillBeSent"]

    def media(self, media="", dark=False):
        self.call("Emulation.setEmulatedMedia", {
            "media": media,
            "features": [{"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]})

    def screenshot(self, path, width=1100, height=None):
        full = int(self.evaluate("document.documentElement.scrollHeight"))
        height = min(height or full, full)
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})
        data = self.call("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def pdf(self):
        return base64.b64decode(self.call("Page.printToPDF")["data"])
