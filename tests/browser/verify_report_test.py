"""The verify report of the faulty charger as a person sees it: ralvex-lab verify runs on a copy of
the bench, headless Chromium renders its page without errors, every plot on it shows something
(the screenshot around each has more than one colour), and every SVG it holds parses as XML.

Environment: RALVEX_LAB_BINARY (the program), RALVEX_FAULTY_BENCH (the bench file to copy);
RALVEX_VERIFY_SCREENSHOT, when set, keeps the page's screenshot at that path."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chromium  # noqa: E402

SVG_NS = "{http://www.w3.org/2000/svg}"
WIDTH = 1200
QUICK = ["--settle", "100", "--hold", "200", "--pps-step", "2000"]

# The page boxes of the plots, in page pixels.
PLOT_BOXES = """JSON.stringify(Array.from(document.querySelectorAll('figure svg')).map(s => {
  const r = s.getBoundingClientRect();
  return [Math.round(r.left), Math.round(r.top + window.scrollY), Math.round(r.width),
          Math.round(r.height)];
}))"""


def run_verify(folder):
    """Runs verify on a fresh copy of the bench (its state kept in `folder`); the page's path."""
    with open(os.environ["RALVEX_FAULTY_BENCH"]) as f:
        bench = re.sub(r'^state = "[^"]*"\n', 'state = "state.toml"\n', f.read(), flags=re.M)
    bench_path = os.path.join(folder, "faulty-charger.toml")
    with open(bench_path, "w") as f:
        f.write(bench)
    page = os.path.join(folder, "verify.html")
    done = subprocess.run(
        [os.environ["RALVEX_LAB_BINARY"], "verify", *QUICK, "--html", page, "--json",
         os.path.join(folder, "verify.json")],
        env={**os.environ, "RALVEX_BENCH": bench_path}, capture_output=True, text=True,
        timeout=120)
    if done.returncode != 5:
        raise AssertionError(f"verify ended with {done.returncode}, not 5:\n{done.stdout}"
                             f"{done.stderr}")
    return page


class VerifyReportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="ralvex-verify-")
        cls.page = run_verify(cls.dir)
        cls.url = "file://" + cls.page
        with open(cls.page, encoding="utf-8") as f:
            cls.html = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_every_svg_on_the_page_parses_as_xml(self):
        svgs = re.findall(r"<svg\b.*?</svg>", self.html, flags=re.S)
        self.assertEqual(len(svgs), 5)  # four fixed profiles and the sweep
        for svg in svgs:
            root = ET.fromstring(svg)
            self.assertEqual(root.tag, SVG_NS + "svg")
            self.assertTrue(root.findall(f".//{SVG_NS}circle"), "a plot without points")

    def test_the_page_stands_alone(self):
        for outside in ("<script", "<link", "src=", "href=", "url(", "@import"):
            self.assertNotIn(outside, self.html)

    def test_chromium_renders_it_without_errors_and_no_plot_is_blank(self):
        with chromium.Page(self.url, WIDTH, 800) as page:
            self.assertEqual(page.errors, [])
            self.assertEqual(page.evaluate("document.querySelector('header').className"), "fail")
            height = page.evaluate("document.documentElement.scrollHeight")
            boxes = json.loads(page.evaluate(PLOT_BOXES))
        self.assertEqual(len(boxes), 5)
        png = os.path.join(self.dir, "verify.png")
        with chromium.Page(self.url, WIDTH, height) as page:
            page.screenshot(png)
            self.assertEqual(page.errors, [])
        image = chromium.read_png(png)
        self.assertEqual(image.width, WIDTH)
        for x, y, w, h in boxes:
            self.assertGreater(w, 300)
            self.assertGreater(h, 150)
            self.assertLessEqual(y + h, image.height)
            self.assertFalse(chromium.region_is_blank(image, x, y, w, h), (x, y, w, h))
            # Its inner half too: the plotted lines and the band, not only the frame and labels.
            self.assertFalse(chromium.region_is_blank(image, x + w // 4, y + h // 4, w // 2, h // 2))
        kept = os.environ.get("RALVEX_VERIFY_SCREENSHOT")
        if kept:
            shutil.copyfile(png, kept)


if __name__ == "__main__":
    unittest.main()
