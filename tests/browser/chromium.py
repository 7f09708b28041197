"""Headless Chromium for the tests that look at pages as a person would, standard library only.

Every run gets a new empty profile folder (removed afterwards), runs as root without the
sandbox, and is killed with its whole process group when it outlives CALL_TIMEOUT_S.

  dump_dom(url, budget_ms)          the DOM after budget_ms of virtual time (timers run, fetches
                                    are waited for)
  screenshot(url, png, w, h)        a PNG of a w x h window after a short virtual-time budget
  console_errors(url, settle_ms)    uncaught exceptions, console.error calls and failed loads
  Page(url, w, h)                   one live page over the DevTools pipe: wait_for(expression),
                                    dom(), screenshot(png), errors; real time, for pages that
                                    poll a server
  decode_png(data), read_png(path), region_is_blank(png, x, y, w, h)
"""

import base64
import json
import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

CHROMIUM = "/usr/bin/chromium"
CALL_TIMEOUT_S = 60
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars"]


class ChromiumError(RuntimeError):
    pass


def _require_chromium():
    if not os.access(CHROMIUM, os.X_OK):
        raise ChromiumError(f"{CHROMIUM} is missing: install the chromium package")


def _kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()


def _run(args, timeout_s=CALL_TIMEOUT_S):
    """Runs Chromium once on a fresh profile; returns (stdout, stderr) as text."""
    _require_chromium()
    profile = tempfile.mkdtemp(prefix="ralvex-chromium-")
    try:
        proc = subprocess.Popen([CHROMIUM, *FLAGS, f"--user-data-dir={profile}", *args],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            out, err = proc.communicate(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            _kill_group(proc)
            raise ChromiumError(f"chromium took over {timeout_s} s: {' '.join(args)}")
        _kill_group(proc)  # helpers it left behind
        if proc.returncode != 0:
            raise ChromiumError(f"chromium exited {proc.returncode}: {err.decode()[-2000:]}")
        return out.decode(errors="replace"), err.decode(errors="replace")
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def dump_dom(url, budget_ms=3000):
    out, _ = _run([f"--virtual-time-budget={budget_ms}", "--dump-dom", url])
    return out


def screenshot(url, png_path, width=1200, height=800, budget_ms=2000):
    _run([f"--window-size={width},{height}", f"--virtual-time-budget={budget_ms}",
          f"--screenshot={os.path.abspath(png_path)}", url])
    if not os.path.exists(png_path):
        raise ChromiumError(f"chromium wrote no screenshot of {url}")


def console_errors(url, settle_ms=1000):
    with Page(url) as page:
        page.pause(settle_ms / 1000)
        return list(page.errors)


class Page:
    """One page in a headless Chromium driven over --remote-debugging-pipe (fds 3 and 4)."""

    def __init__(self, url, width=1200, height=800):
        self.url, self.width, self.height = url, width, height
        self.errors, self._loaded, self._buf, self._next_id = [], False, b"", 0

    def __enter__(self):
        _require_chromium()
        self._profile = tempfile.mkdtemp(prefix="ralvex-chromium-")
        to_chrome_r, self._to_chrome = os.pipe()
        self._from_chrome, from_chrome_w = os.pipe()

        def wire_pipes():
            read_end, write_end = os.dup(to_chrome_r), os.dup(from_chrome_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        self._proc = subprocess.Popen(
            [CHROMIUM, *FLAGS, f"--user-data-dir={self._profile}", "--remote-debugging-pipe",
             f"--window-size={self.width},{self.height}", "about:blank"],
            preexec_fn=wire_pipes, close_fds=False, start_new_session=True,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        try:
            self._attach()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        _kill_group(self._proc)
        os.close(self._to_chrome)
        os.close(self._from_chrome)
        shutil.rmtree(self._profile, ignore_errors=True)

    def _attach(self):
        targets = self._call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self._session = self._call("Target.attachToTarget",
                                   {"targetId": page["targetId"], "flatten": True})["sessionId"]
        for domain in ("Runtime", "Log", "Page"):
            self._call(f"{domain}.enable", session=True)
        self._call("Emulation.setDeviceMetricsOverride",
                   {"width": self.width, "height": self.height, "deviceScaleFactor": 1,
                    "mobile": False}, session=True)
        self._call("Page.navigate", {"url": self.url}, session=True)
        self.wait_loaded()

    def _send(self, method, params, session):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self._session
        os.write(self._to_chrome, json.dumps(message).encode() + b"\0")
        return self._next_id

    def _receive(self, deadline):
        """The next message, or None at the deadline."""
        while b"\0" not in self._buf:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self._from_chrome], [], [], left)[0]:
                return None
            chunk = os.read(self._from_chrome, 1 << 16)
            if not chunk:
                raise ChromiumError("chromium closed its DevTools pipe")
            self._buf += chunk
        message, self._buf = self._buf.split(b"\0", 1)
        message = json.loads(message)
        self._note(message)
        return message

    def _note(self, message):
        method, params = message.get("method"), message.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            self.errors.append(f"uncaught: {text}")
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            args = " ".join(str(a.get("value", a.get("description", ""))) for a in params["args"])
            self.errors.append(f"console.error: {args}")
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            entry = params["entry"]
            self.errors.append(f"{entry['source']}: {entry['text']} {entry.get('url', '')}")
        elif method == "Page.loadEventFired":
            self._loaded = True

    def _call(self, method, params=None, session=False):
        request = self._send(method, params, session)
        deadline = time.monotonic() + CALL_TIMEOUT_S
        while True:
            message = self._receive(deadline)
            if message is None:
                raise ChromiumError(f"no answer to {method} within {CALL_TIMEOUT_S} s")
            if message.get("id") == request:
                if "error" in message:
                    raise ChromiumError(f"{method}: {message['error']}")
                return message["result"]

    def pause(self, seconds):
        """Lets the page run for a while, collecting its events."""
        deadline = time.monotonic() + seconds
        while self._receive(deadline) is not None:
            pass

    def wait_loaded(self, timeout_s=CALL_TIMEOUT_S):
        deadline = time.monotonic() + timeout_s
        while not self._loaded:
            if self._receive(deadline) is None:
                raise ChromiumError(f"{self.url} did not load within {timeout_s} s")

    def evaluate(self, expression):
        result = self._call("Runtime.evaluate", {"expression": expression, "returnByValue": True},
                            session=True)
        if "exceptionDetails" in result:
            raise ChromiumError(f"{expression}: {result['exceptionDetails'].get('text')}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout_s=20, poll_s=0.1):
        """Evaluates expression until it is truthy; returns its value or raises at the deadline."""
        deadline, last_error = time.monotonic() + timeout_s, ""
        while True:
            try:
                value = self.evaluate(expression)
                if value:
                    return value
            except ChromiumError as error:  # the page may not have built that part yet
                last_error = f" ({error})"
            if time.monotonic() >= deadline:
                raise ChromiumError(f"still false after {timeout_s} s: {expression}{last_error}")
            self.pause(poll_s)

    def dom(self):
        return self.evaluate("document.documentElement.outerHTML")

    def screenshot(self, png_path):
        data = self._call("Page.captureScreenshot", {"format": "png"}, session=True)["data"]
        with open(png_path, "wb") as f:
            f.write(base64.b64decode(data))


# PNG: 8-bit greyscale, RGB and RGBA (with or without alpha), not interlaced, filters 0-4.
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}


class Image:
    def __init__(self, width, height, channels, rows):
        self.width, self.height, self.channels, self.rows = width, height, channels, rows

    def pixel(self, x, y):
        start = x * self.channels
        return tuple(self.rows[y][start:start + self.channels])


def _chunks(data):
    if data[:8] != PNG_SIGNATURE:
        raise ValueError("not a PNG file")
    pos = 8
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise ValueError(f"PNG chunk {kind!r} is cut short")
        yield kind, body
        pos += 12 + length


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(kind, row, prior, bpp):
    out = bytearray(row)
    for i in range(len(out)):
        left = out[i - bpp] if i >= bpp else 0
        up = prior[i]
        if kind == 1:
            out[i] = (out[i] + left) & 0xFF
        elif kind == 2:
            out[i] = (out[i] + up) & 0xFF
        elif kind == 3:
            out[i] = (out[i] + ((left + up) >> 1)) & 0xFF
        elif kind == 4:
            corner = prior[i - bpp] if i >= bpp else 0
            out[i] = (out[i] + _paeth(left, up, corner)) & 0xFF
        elif kind != 0:
            raise ValueError(f"PNG row filter {kind} does not exist")
    return out


def decode_png(data):
    header, compressed = None, b""
    for kind, body in _chunks(data):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
    if header is None:
        raise ValueError("PNG file has no IHDR chunk")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in CHANNELS or interlace:
        raise ValueError(f"PNG depth {depth}, colour type {colour}, interlace {interlace}: "
                         "only 8-bit, non-interlaced greyscale, RGB and RGBA are read")
    channels = CHANNELS[colour]
    stride = width * channels
    raw = zlib.decompress(compressed)
    if len(raw) != height * (stride + 1):
        raise ValueError(f"PNG image data holds {len(raw)} bytes, not {height * (stride + 1)}")
    rows, prior = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        prior = _unfilter(raw[start], raw[start + 1:start + 1 + stride], prior, channels)
        rows.append(prior)
    return Image(width, height, channels, rows)


def read_png(path):
    with open(path, "rb") as f:
        return decode_png(f.read())


def _image(png):
    if isinstance(png, Image):
        return png
    if isinstance(png, (bytes, bytearray)):
        return decode_png(bytes(png))
    return read_png(png)


def region_is_blank(png, x, y, width, height):
    """Whether every pixel of the rectangle has the same colour (png: a path, bytes or Image)."""
    image = _image(png)
    if x < 0 or y < 0 or width <= 0 or height <= 0 or x + width > image.width \
            or y + height > image.height:
        raise ValueError(f"rectangle {x},{y} {width}x{height} is not inside the "
                         f"{image.width}x{image.height} image")
    first = image.pixel(x, y)
    span = slice(x * image.channels, (x + width) * image.channels)
    return all(image.rows[row][span] == bytes(first) * width for row in range(y, y + height))
