"""chromium.py against the real headless Chromium, on small pages written for each case."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chromium  # noqa: E402

# A red 100x50 box at (40, 30) on white; a counter a timer moves every 100 ms.
BOX_PAGE = """<!doctype html><html><body style="margin:0;background:#fff">
<div style="position:absolute;left:40px;top:30px;width:100px;height:50px;background:#f00"></div>
<p id="ticks" style="position:absolute;top:200px">0</p>
<script>let n = 0; setInterval(() => { document.getElementById('ticks').textContent = ++n; }, 100);
</script></body></html>"""

FAULTY_PAGE = """<!doctype html><html><body><img src="missing.png">
<script>console.log('fine'); console.error('went wrong'); null.field;</script></body></html>"""


class HarnessTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def page(self, name, html):
        path = os.path.join(self.dir.name, name)
        with open(path, "w") as f:
            f.write(html)
        return "file://" + path

    def test_dump_dom_runs_timers_for_the_budget(self):
        dom = chromium.dump_dom(self.page("box.html", BOX_PAGE), budget_ms=2000)
        ticks = int(dom.split('id="ticks" style="position:absolute;top:200px">')[1].split("<")[0])
        self.assertGreaterEqual(ticks, 15)

    def test_screenshot_shows_the_box_where_it_is(self):
        png = os.path.join(self.dir.name, "box.png")
        chromium.screenshot(self.page("box.html", BOX_PAGE), png, 320, 240)
        image = chromium.read_png(png)
        self.assertEqual((image.width, image.height), (320, 240))
        self.assertEqual(image.pixel(90, 55)[:3], (255, 0, 0))
        self.assertTrue(chromium.region_is_blank(image, 42, 32, 96, 46))
        self.assertTrue(chromium.region_is_blank(image, 0, 0, 320, 28))
        self.assertFalse(chromium.region_is_blank(image, 0, 0, 320, 100))

    def test_console_errors_are_collected_and_a_clean_page_has_none(self):
        errors = chromium.console_errors(self.page("faulty.html", FAULTY_PAGE), settle_ms=300)
        joined = "\n".join(errors)
        self.assertIn("console.error: went wrong", joined)
        self.assertRegex(joined, "uncaught: TypeError.*null")
        self.assertRegex(joined, "Failed to load resource.*missing.png")
        self.assertNotIn("fine", joined)
        self.assertEqual(chromium.console_errors(self.page("box.html", BOX_PAGE), 300), [])

    def test_live_page_waits_in_real_time(self):
        with chromium.Page(self.page("box.html", BOX_PAGE), 320, 240) as page:
            ticks = page.wait_for(
                "Number(document.getElementById('ticks').textContent) >= 5 && "
                "document.getElementById('ticks').textContent", timeout_s=20)
            self.assertGreaterEqual(int(ticks), 5)
            self.assertIn('id="ticks"', page.dom())
            png = os.path.join(self.dir.name, "live.png")
            page.screenshot(png)
            self.assertEqual((chromium.read_png(png).width, chromium.read_png(png).height),
                             (320, 240))
            self.assertFalse(chromium.region_is_blank(png, 0, 0, 320, 100))
            with self.assertRaisesRegex(chromium.ChromiumError, "still false"):
                page.wait_for("false", timeout_s=0.3)


if __name__ == "__main__":
    unittest.main()
