#!/usr/bin/python3
"""Opens a published page in headless Chromium, as a visitor would, and checks what happens.

Usage: browser_check.py PAGE EXPECT.json SCREENSHOT_DIR

Chromium is driven over the DevTools protocol on a pipe (standard library only). Checks: no
console error, no exception, no Content-Security-Policy violation, no network request but the
page itself; every audio element reports its duration (as EXPECT says, within 30 ms); no layout
shift; a mouse click on Play advances the clip and moves the waveform's playhead; Enter on a
focused button plays slowed; a click on "What do you hear?" shows the text. Saves the page at
1280 and 390 pixels wide. Exits 1 when a check failed.
"""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

problems = []


def check(condition, message):
    if not condition:
        problems.append(message)
    return condition


class Browser:
    def __init__(self, profile):
        # Chromium reads commands on its fd 3 and answers on fd 4. The pipe ends are first moved
        # above 10 so that placing them cannot overwrite one another.
        def high(fd):
            moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
            os.close(fd)
            return moved

        to_chrome_read, self.to_chrome = map(high, os.pipe())
        self.from_chrome, from_chrome_write = map(high, os.pipe())

        def wire():
            os.dup2(to_chrome_read, 3)
            os.dup2(from_chrome_write, 4)

        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--no-first-run", "--disable-quic", "--no-default-browser-check",
             "--autoplay-policy=no-user-gesture-required", "--mute-audio",
             "--remote-debugging-pipe", "--user-data-dir=" + profile, "about:blank"],
            close_fds=False, preexec_fn=wire,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_read)
        os.close(from_chrome_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def send(self, method, params=None, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_chrome, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive(30)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})

    def receive(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("Chromium did not answer")
            ready, _, _ = select.select([self.from_chrome], [], [], 0.5)
            if ready:
                chunk = os.read(self.from_chrome, 1 << 20)
                if not chunk:
                    raise RuntimeError("Chromium ended")
                self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        decoded = json.loads(message)
        if "method" in decoded:
            self.events.append(decoded)
        return decoded

    def wait_event(self, method, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            for event in self.events:
                if event["method"] == method:
                    self.events.remove(event)
                    return event
            self.receive(max(0.1, deadline - time.monotonic()))

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True, "userGesture": False})
        if "exceptionDetails" in result:
            raise RuntimeError("evaluating %s: %s" % (expression[:60], result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_for(self, expression, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            self.send("Runtime.evaluate", {"expression": "new Promise(r => setTimeout(r, 50))",
                                           "awaitPromise": True})
        return None

    def click(self, selector):
        box = self.evaluate(
            "(() => { const e = document.querySelector(%s); e.scrollIntoView({block:'center'});"
            " const r = e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2];"
            " })()" % json.dumps(selector))
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": box[0], "y": box[1],
                                                   "button": "left", "clickCount": 1})

    def key(self, key, code, virtual):
        for kind in ("rawKeyDown", "keyUp"):
            self.send("Input.dispatchKeyEvent", {"type": kind, "key": key, "code": code,
                                                 "windowsVirtualKeyCode": virtual})
        if key == "Enter":
            self.send("Input.dispatchKeyEvent", {"type": "char", "text": "\r"})

    def screenshot(self, path, width, dark):
        self.send("Emulation.setEmulatedMedia", {"features": [
            {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]})
        self.send("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": 900, "deviceScaleFactor": 1, "mobile": width < 600})
        self.evaluate("window.scrollTo(0, 0)")
        height = self.evaluate("document.documentElement.scrollHeight")
        shot = self.send("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": width, "height": height, "scale": 1}})
        with open(path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))

    def close(self):
        try:
            self.send("Browser.close", session=False)
        except Exception:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


WATCH = """
window.__violations = [];
window.__shift = 0;
document.addEventListener("securitypolicyviolation",
  e => window.__violations.push(e.violatedDirective + " " + e.blockedURI));
window.__shifted = [];
new PerformanceObserver(list => {
  for (const e of list.getEntries()) {
    window.__shift += e.value;
    for (const s of e.sources || [])
      window.__shifted.push(s.node ? s.node.nodeName + "." + (s.node.className || "") : "?");
  }
})
  .observe({type: "layout-shift", buffered: true});
"""


def main():
    page, expect_path, shots = sys.argv[1], sys.argv[2], sys.argv[3]
    expect = json.load(open(expect_path, encoding="utf-8"))
    profile = tempfile.mkdtemp(prefix="murmelo-chromium-")
    browser = Browser(profile)
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"}, session=False)
        attached = browser.send("Target.attachToTarget",
                                {"targetId": target["targetId"], "flatten": True}, session=False)
        browser.session = attached["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            browser.send(domain + ".enable")
        browser.send("Page.addScriptToEvaluateOnNewDocument", {"source": WATCH})
        browser.send("Emulation.setDeviceMetricsOverride", {
            "width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False})
        url = "file://" + os.path.abspath(page)
        browser.send("Page.navigate", {"url": url})
        browser.wait_event("Page.loadEventFired")

        durations = browser.wait_for(
            "(() => { const a = [...document.querySelectorAll('audio')];"
            " return a.every(e => e.readyState >= 1 && isFinite(e.duration))"
            " && Object.fromEntries(a.map(e => [e.id, e.duration])); })()")
        if check(durations, "not every audio element reported its duration"):
            for clip in expect["clips"]:
                wanted = (clip["end"] - clip["start"]) / expect["rate"]
                got = durations.get(clip["id"], -1)
                check(abs(got - wanted) <= 0.03, "%s reports %.3f s, not %.3f s" % (
                    clip["id"], got, wanted))
        # Nothing moved while the audio loaded (measured before anything is clicked or resized).
        check(browser.evaluate("window.__shift") == 0,
              "the layout shifted by %s while loading: %s" % (
                  browser.evaluate("window.__shift"), browser.evaluate("window.__shifted")))

        # Play with the mouse: the clip advances and the playhead follows it over the waveform.
        first = expect["clips"][-1]["id"]
        browser.click("button[data-clip='%s'][data-times='1'][data-rate='1']" % first)
        playhead = "+document.getElementById('playhead').getAttribute('x1')"
        moved = browser.wait_for(
            "document.getElementById('%s').currentTime > 0.2 && %s" % (first, playhead))
        check(moved, "playing did not advance %s and move the playhead" % first)
        later = browser.wait_for("%s > %s && %s" % (playhead, moved or 0, playhead))
        check(later, "the playhead does not follow playback")
        check(browser.evaluate("document.querySelector(\"button[aria-pressed='true']\") !== null"),
              "the playing button is not shown pressed")

        # The keyboard: Enter on the slowed button of another clip plays it slowed, pitch kept.
        second = expect["clips"][0]["id"]
        browser.evaluate("document.querySelector(\"button[data-clip='%s'][data-rate='%s']\")"
                         ".focus()" % (second, expect["slow"]))
        browser.key("Enter", "Enter", 13)
        slowed = browser.wait_for(
            "(() => { const a = document.getElementById('%s'); return !a.paused &&"
            " a.currentTime > 0 && a.playbackRate === %s && a.preservesPitch; })()"
            % (second, expect["slow"]))
        check(slowed, "Enter on the slowed button did not play %s slowed" % second)
        check(browser.evaluate("document.getElementById('%s').paused" % first),
              "two clips play at once")

        # The reveal: hidden until asked, then the text exactly as typed, and nothing it held runs.
        hidden = browser.evaluate(
            "[...document.querySelectorAll('.heard')].every(e => !e.checkVisibility())")
        check(hidden, "what was heard shows before it is asked for")
        browser.click("section.clip:last-of-type summary")
        shown = browser.wait_for(
            "(() => { const e = document.querySelector('section.clip:last-of-type .heard');"
            " return e.checkVisibility() && e.innerText; })()")
        check(shown == expect["heard"][-1], "the reveal shows %r" % shown)
        hostile = [h for h in expect["heard"] if "<img" in h]
        for text in hostile:
            index = expect["heard"].index(text)
            browser.evaluate("document.querySelectorAll('details')[%d].open = true" % index)
            check(browser.evaluate("[...document.querySelectorAll('.heard')].some("
                                   "e => e.innerText === %s)" % json.dumps(text)),
                  "the hostile text is not shown as text")
        check(browser.evaluate("document.images.length === 0 && "
                               "document.scripts.length === 1"), "the page grew elements")

        # Light and dark look different; the page fits a phone without sideways scrolling.
        colours = []
        for scheme in ("light", "dark"):
            browser.send("Emulation.setEmulatedMedia", {"features": [
                {"name": "prefers-color-scheme", "value": scheme}]})
            colours.append(browser.evaluate("getComputedStyle(document.body).backgroundColor"))
        check(colours[0] != colours[1], "dark and light look the same: %s" % colours)
        os.makedirs(shots, exist_ok=True)
        browser.screenshot(os.path.join(shots, "published-page-1280.png"), 1280, False)
        browser.screenshot(os.path.join(shots, "published-page-390.png"), 390, True)
        check(browser.evaluate("document.documentElement.scrollWidth <= 390"),
              "the page is wider than a phone")

        check(browser.evaluate("window.__violations.length") == 0,
              "CSP violations: %s" % browser.evaluate("window.__violations"))

        # Everything Chromium reported while it did all that.
        browser.send("Runtime.evaluate", {"expression": "0"})
        for event in browser.events:
            method, params = event["method"], event.get("params", {})
            if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                check(False, "console error: %s" % params.get("args"))
            elif method == "Runtime.exceptionThrown":
                check(False, "exception: %s" % params.get("exceptionDetails"))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                check(False, "logged error: %s" % params["entry"].get("text"))
            elif method == "Network.requestWillBeSent":
                requested = params["request"]["url"]
                check(requested == url or requested.startswith("data:"),
                      "network request: %.80s" % requested)
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)

    for problem in problems:
        print("FAIL:", problem)
    print("%d checks failed" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
