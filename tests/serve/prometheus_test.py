"""A real Prometheus server scrapes serve on the two-tester bench; its query API has both testers."""

import json
import os
import subprocess
import sys
import tempfile
import tomllib
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_support import (TWO_TESTERS, free_port, http, require_tool, serve_for,  # noqa: E402
                           wait_until)

SCRAPE_CONFIG = """global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: ralvex
    static_configs:
      - targets: ["{target}"]
"""


def bench_voltages(path):
    """{serial: volts} each tester reads at start: its source's first profile, the 5 V contract."""
    with open(path, "rb") as f:
        devices = tomllib.load(f)["device"]
    return {d["serial"]: d["tester"]["profiles"][0]["voltage"] / 1000 for d in devices}


class Prometheus:
    def __init__(self, target, folder):
        self.port = free_port()
        config = os.path.join(folder, "prometheus.yml")
        with open(config, "w") as f:
            f.write(SCRAPE_CONFIG.format(target=target))
        self.log = open(os.path.join(folder, "prometheus.log"), "w")
        self.proc = subprocess.Popen(
            [require_tool("prometheus"), f"--config.file={config}",
             f"--storage.tsdb.path={os.path.join(folder, 'data')}",
             f"--web.listen-address=127.0.0.1:{self.port}", "--log.level=warn"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)

    def query(self, expression):
        url = f"http://127.0.0.1:{self.port}/api/v1/query?query={urllib.parse.quote(expression)}"
        status, body = http("GET", url)
        answer = json.loads(body)
        if status != 200 or answer["status"] != "success":
            raise ValueError(f"query {expression}: {status} {body}")
        return answer["data"]["result"]

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.log.close()


class PrometheusScrapeTest(unittest.TestCase):
    def test_query_api_answers_both_testers_with_the_bench_values(self):
        bench, serve = serve_for(self)
        serve.wait_for_testers()
        folder = tempfile.mkdtemp(dir=bench.dir)
        prometheus = Prometheus(f"127.0.0.1:{serve.port}", folder)
        self.addCleanup(prometheus.stop)

        expected = bench_voltages(TWO_TESTERS)
        self.assertEqual(len(expected), 2)
        result = wait_until(
            "both serials in Prometheus",
            lambda: (r := prometheus.query("ralvex_voltage_volts")) and len(r) == 2 and r,
            timeout_s=25, poll_s=0.25)
        print(json.dumps(result, indent=1))
        answered = {r["metric"]["serial"]: float(r["value"][1]) for r in result}
        self.assertEqual(answered.keys(), expected.keys())
        for serial, volts in expected.items():
            with self.subTest(serial=serial):
                self.assertAlmostEqual(answered[serial], volts, delta=volts * 0.02)
        for r in result:
            self.assertEqual(r["metric"]["job"], "ralvex")
            self.assertEqual(r["metric"]["instance"], f"127.0.0.1:{serve.port}")

        # The scrape itself is healthy, and both testers are up as Prometheus sees them.
        self.assertEqual([float(r["value"][1]) for r in prometheus.query('up{job="ralvex"}')],
                         [1.0])
        up = {r["metric"]["serial"]: float(r["value"][1]) for r in prometheus.query("ralvex_up")}
        self.assertEqual(up, {serial: 1.0 for serial in expected})


if __name__ == "__main__":
    unittest.main()
