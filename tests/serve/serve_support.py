"""Runs `ralvex-lab serve` on a copy of a bench for the tests that look at it with other tools.

The ctest registration passes the programs and the source tree in the environment:
RALVEX_LAB_BINARY, RALVEX_BINARY, RALVEX_SOURCE_DIR.
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.request

LAB = os.environ.get("RALVEX_LAB_BINARY", "ralvex-lab")
RALVEX = os.environ.get("RALVEX_BINARY", "ralvex")
SOURCE = os.environ.get("RALVEX_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
TWO_TESTERS = os.path.join(SOURCE, "sim", "benches", "two-testers.toml")
SERIALS = ("KORA4VLH7Y", "KORA8QZ2M4")


def require_tool(path):
    """The full path of a program the tests need: a missing one fails the test, it never skips."""
    found = shutil.which(path)
    if not found:
        raise AssertionError(f"{path} is missing: scripts/deps.sh installs it")
    return found


def promtool(*args, stdin=None, cwd=None):
    """Runs Prometheus's promtool (a missing one fails the test)."""
    return subprocess.run([require_tool("promtool"), *args], input=stdin, capture_output=True,
                          text=True, timeout=60, cwd=cwd)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(what, check, timeout_s=20, poll_s=0.1):
    """Calls check until it returns something truthy; fails naming what at the deadline."""
    deadline, last = time.monotonic() + timeout_s, None
    while True:
        try:
            value = check()
            if value:
                return value
        except (OSError, ValueError, KeyError) as error:
            last = error
        if time.monotonic() >= deadline:
            raise AssertionError(f"{what}: not within {timeout_s} s (last: {last!r})")
        time.sleep(poll_s)


def http(method, url, headers=None, timeout_s=10):
    """(status, body text) of one request; HTTP errors are answers, not exceptions."""
    request = urllib.request.Request(url, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=timeout_s) as response:
            return response.status, response.read().decode()
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode()


class Bench:
    """A copy of a bench file in a temporary folder, so the test has its own state file."""

    def __init__(self, bench=TWO_TESTERS):
        self.dir = tempfile.mkdtemp(prefix="ralvex-serve-test-")
        self.path = shutil.copy(bench, self.dir)

    def env(self):
        return dict(os.environ, RALVEX_BENCH=self.path)

    def ralvex(self, *args, timeout_s=30):
        return subprocess.run([RALVEX, *args], env=self.env(), capture_output=True, text=True,
                              timeout=timeout_s)

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Serve:
    """`ralvex-lab serve` on a free loopback port until stop(); stop() checks it ends cleanly."""

    def __init__(self, bench, *args):
        self.bench, self.port = bench, free_port()
        self.base = f"http://127.0.0.1:{self.port}"
        self.stderr_lines, self._banner = [], threading.Event()
        self.proc = subprocess.Popen([LAB, "serve", "--listen", f"127.0.0.1:{self.port}", *args],
                                     env=bench.env(), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self._reader = threading.Thread(target=self._read_stderr, daemon=True)
        self._reader.start()
        if not self._banner.wait(20) or self.proc.poll() is not None:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError(f"serve did not start: {''.join(self.stderr_lines)}")

    def _read_stderr(self):
        for line in self.proc.stderr:
            self.stderr_lines.append(line)
            if re.match(r"Serving \d+ tester\(s\) on http://", line):
                self._banner.set()

    def get(self, path, **kw):
        return http("GET", self.base + path, **kw)

    def post(self, path, token=None):
        headers = {"Authorization": f"Bearer {token}"} if token is not None else {}
        return http("POST", self.base + path, headers)

    def metrics(self):
        status, body = self.get("/metrics")
        if status != 200:
            raise ValueError(f"/metrics answered {status}")
        return body

    def wait_for_testers(self, serials=SERIALS):
        """Waits until /metrics shows every serial up and reading a voltage."""
        def all_up():
            body = self.metrics()
            return all(f'ralvex_up{{serial="{s}"}} 1' in body
                       and f'ralvex_voltage_volts{{serial="{s}"}}' in body for s in serials) and body
        return wait_until("every tester up in /metrics", all_up)

    def stop(self):
        """SIGTERM; the server must end with 0 within a few seconds (it promises one)."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("serve did not stop within 5 s of SIGTERM")
        self._reader.join(5)
        self.proc.stderr.close()
        if code != 0:
            raise AssertionError(f"serve ended with {code}: {''.join(self.stderr_lines)}")


def metric_values(body, name):
    """{serial: value} of one metric in a Prometheus text body."""
    pattern = re.compile(rf'^{name}{{serial="([^"]+)"}} (\S+)$', re.M)
    return {serial: float(value) for serial, value in pattern.findall(body)}


def serve_for(test, *args, bench=None):
    """serve on a bench copy of its own for one unittest case, both removed when it ends."""
    if bench is None:
        bench = Bench()
        test.addCleanup(bench.remove)
    serve = Serve(bench, *args)
    test.addCleanup(serve.stop)
    return bench, serve
