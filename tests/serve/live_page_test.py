"""serve's live page in headless Chromium, and its control endpoints as a client sees them.

RALVEX_SERVE_SCREENSHOT=FILE keeps the page's screenshot (docs/serve-page.png is made so).
"""

import html.parser
import json
import os
import secrets
import shutil
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "browser"))
import chromium  # noqa: E402
from serve_support import SERIALS, Bench, serve_for, wait_until  # noqa: E402

LOADED, IDLE = SERIALS
LOAD_MA = 1500
FIELDS = ("voltage_mv", "current_ma", "set_current_ma", "power_mw", "contract")


class ReadingsParser(html.parser.HTMLParser):
    """{serial: {field: text}} of a dumped DOM: data-field elements inside data-serial ones."""

    def __init__(self):
        super().__init__()
        self.readings, self._serials, self._field = {}, [], None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self._serials.append(attrs.get("data-serial"))
        if attrs.get("data-field") and self.serial():
            self._field = attrs["data-field"]
            self.readings.setdefault(self.serial(), {})[self._field] = ""

    def handle_endtag(self, tag):
        if self._serials:
            self._serials.pop()
        self._field = None

    def handle_data(self, data):
        if self._field:
            self.readings[self.serial()][self._field] += data.strip()

    def serial(self):
        return next((s for s in reversed(self._serials) if s), None)


def readings(dom):
    parser = ReadingsParser()
    parser.feed(dom)
    return parser.readings


def number(text):
    return float(text.replace(",", ""))


def near(value, target, tolerance):
    return abs(value - target) <= tolerance


class LivePageTest(unittest.TestCase):
    def setUp(self):
        self.bench = Bench()
        self.addCleanup(self.bench.remove)
        self.token = secrets.token_hex(16)
        token_file = os.path.join(self.bench.dir, "token")
        with open(token_file, "w") as f:
            f.write(self.token + "\n")
        _, self.serve = serve_for(self, "--allow-control", "--token-file", token_file,
                                  bench=self.bench)

    def page_readings(self, page, settled):
        """The DOM's readings once settled(readings) holds."""
        return wait_until("the live page's readings",
                          lambda: (r := readings(page.dom())) and settled(r) and r)

    def test_page_shows_both_testers_and_follows_a_load_change(self):
        with chromium.Page(self.serve.base + "/", 1200, 760) as page:
            before = self.page_readings(page, lambda r: all(
                s in r and r[s].get("voltage_mv") for s in SERIALS))
            for serial in SERIALS:
                with self.subTest("idle", serial=serial):
                    self.assertEqual(set(before[serial]) & set(FIELDS), set(FIELDS))
                    self.assertTrue(near(number(before[serial]["voltage_mv"]), 5000, 250))
                    self.assertEqual(number(before[serial]["set_current_ma"]), 0)
                    self.assertTrue(before[serial]["contract"])

            status, body = self.serve.post(f"/api/load?serial={LOADED}&ma={LOAD_MA}", self.token)
            self.assertEqual(status, 200, body)
            after = self.page_readings(page, lambda r: number(
                r[LOADED]["set_current_ma"]) == LOAD_MA and number(r[LOADED]["current_ma"]) > 0)
            loaded = {field: number(after[LOADED][field]) for field in FIELDS[:4]}
            self.assertTrue(near(loaded["current_ma"], LOAD_MA, LOAD_MA * 0.02 + 10), loaded)
            self.assertTrue(near(loaded["power_mw"], loaded["voltage_mv"] * LOAD_MA / 1000,
                                 250), loaded)
            self.assertEqual(number(after[IDLE]["set_current_ma"]), 0)
            self.assertEqual(number(after[IDLE]["current_ma"]), 0)

            # The port has one user: ralvex cannot open the tester serve holds, and says so.
            held = self.bench.ralvex("-d", LOADED, "-s")
            self.assertEqual(held.returncode, 3, held.stdout + held.stderr)
            self.assertIn("Error: Device not found.", held.stderr)

            page.pause(1.5)  # the chart has drawn the step
            shot = os.path.join(self.bench.dir, "serve-page.png")
            page.screenshot(shot)
            self.assertEqual(page.errors, [])
        image = chromium.read_png(shot)
        self.assertEqual((image.width, image.height), (1200, 760))
        self.assertFalse(chromium.region_is_blank(image, 0, 0, 1200, 380))
        if os.environ.get("RALVEX_SERVE_SCREENSHOT"):
            shutil.copy(shot, os.environ["RALVEX_SERVE_SCREENSHOT"])

        # Stopping the server puts the load it set back to 0 mA.
        self.serve.stop()
        after_stop = self.bench.ralvex("-d", LOADED, "-s")
        self.assertEqual(after_stop.returncode, 0, after_stop.stderr)
        self.assertIn("SET CURRENT:0mA\n", after_stop.stdout)

    def test_control_without_the_right_token_is_refused_and_changes_nothing(self):
        cases = [("no token", None), ("wrong token", "x" + self.token),
                 ("token prefix", self.token[:-1]), ("empty token", "")]
        for name, token in cases:
            for path in (f"/api/load?serial={LOADED}&ma=500", f"/api/profile?serial={LOADED}&profile=2"):
                with self.subTest(name, path=path):
                    status, _ = self.serve.post(path, token)
                    self.assertEqual(status, 401)
        status, body = self.serve.get("/api/status")
        self.assertEqual(status, 200)
        contracts = {s["tester"]["serial"]: s for s in json.loads(body)}
        self.assertEqual(contracts[LOADED]["measurements"]["set_current_ma"], 0)
        self.assertEqual(contracts[LOADED]["contract"]["profile"], 1)


class ReadOnlyTest(unittest.TestCase):
    def test_every_control_request_is_forbidden_without_allow_control(self):
        bench, serve = serve_for(self)
        serve.wait_for_testers()
        for token in (None, "anything", ""):
            for path in (f"/api/load?serial={LOADED}&ma=500",
                         f"/api/profile?serial={LOADED}&profile=2", "/api/load?serial=nope&ma=x"):
                with self.subTest(token=token, path=path):
                    self.assertEqual(serve.post(path, token)[0], 403)
        self.assertIn(f'ralvex_set_current_amperes{{serial="{LOADED}"}} 0', serve.metrics())


if __name__ == "__main__":
    unittest.main()
