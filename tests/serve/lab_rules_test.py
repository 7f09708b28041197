"""docs/lab.md's scrape configuration and alert rules, checked and run by promtool."""

import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_support import SOURCE, promtool  # noqa: E402

LAB_DOC = os.path.join(SOURCE, "docs", "lab.md")

# Made-up series for the alert rules, one tester per case, each scraped every 15 s for 3 minutes.
RULE_CASES = """rule_files: [ralvex-alerts.yml]
evaluation_interval: 15s
tests:
  - interval: 15s
    input_series:
{series}
    alert_rule_test:
{alerts}
"""
SOURCE_CASES = [
    # serial, volts, connected, fires
    ("FIVE_GOOD", "5.1", "1", False),
    ("FIVE_HIGH", "5.6", "1", True),
    ("NINE_HIGH", "9.9", "1", True),
    ("NINE_GOOD", "9.2", "1", False),
    ("TWENTY_LOW", "18.8", "1", True),
    ("FIFTEEN_SAGGED", "13.0", "1", True),  # nearer 12 V than 15 V, and 8 % above 12 V
    ("DISCONNECTED", "0", "0", False),
]


def doc_blocks(path):
    """{file name: text} of the doc's fenced yaml blocks that start with a '# NAME' line."""
    with open(path) as f:
        text = f.read()
    return {name: body for name, body in
            re.findall(r"^```yaml\n# (\S+)\n(.*?)^```$", text, re.M | re.S)}


def series(name, serial, values):
    return (f"      - series: '{name}{{job=\"ralvex\",instance=\"bench-01:9137\","
            f"serial=\"{serial}\"}}'\n        values: '{values}'")


def alert_test(eval_time, alertname, expected):
    """One alert_rule_test: expected is a list of (labels, annotations) strings, empty for none."""
    alerts = "".join(f"""
          - exp_labels: {{{labels}}}
            exp_annotations: {{{annotations}}}""" for labels, annotations in expected)
    return f"""      - eval_time: {eval_time}
        alertname: {alertname}
        exp_alerts:{alerts or " []"}"""


def source_alert(serial, deviation):
    labels = (f'alertname: RalvexSourceOutOfTolerance, severity: warning, job: ralvex, '
              f'instance: "bench-01:9137", serial: {serial}')
    annotations = (f'summary: "{serial} on bench-01:9137: source out of tolerance", '
                   f'description: "The source reads {deviation} V away from its nominal for 30 s."')
    return labels, annotations


TESTER_DOWN = ('alertname: RalvexTesterDown, severity: critical, job: ralvex, '
               'instance: "bench-01:9137", serial: GOES_DOWN',
               'summary: "GOES_DOWN on bench-01:9137 is not answering"')


def nominal(volts):
    return min((5, 9, 12, 15, 20), key=lambda level: abs(level - volts))


def rule_cases():
    lines = []
    for serial, volts, connected, _ in SOURCE_CASES:
        lines.append(series("ralvex_voltage_volts", serial, f"{volts}x12"))
        lines.append(series("ralvex_contract_connected", serial, f"{connected}x12"))
    # Up for 30 s, then down: the alert waits a minute before it fires.
    lines.append(series("ralvex_up", "GOES_DOWN", "1 1 1 0x9"))
    firing = [source_alert(serial, f"{abs(float(volts) - nominal(float(volts))):.2f}")
              for serial, volts, _, fires in SOURCE_CASES if fires]
    # Out of tolerance from the start: not yet at 15 s (the rule waits 30 s), at 1 minute.
    tests = [alert_test("15s", "RalvexSourceOutOfTolerance", []),
             alert_test("1m", "RalvexSourceOutOfTolerance", firing),
             alert_test("75s", "RalvexTesterDown", []),
             alert_test("2m", "RalvexTesterDown", [TESTER_DOWN])]
    return RULE_CASES.format(series="\n".join(lines), alerts="\n".join(tests))


class LabRulesTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="ralvex-lab-doc-")
        self.blocks = doc_blocks(LAB_DOC)
        self.assertEqual(set(self.blocks), {"prometheus.yml", "ralvex-alerts.yml"})
        for name, body in self.blocks.items():
            with open(os.path.join(self.dir, name), "w") as f:
                f.write(body)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_config_and_rules_are_accepted(self):
        for args in (("check", "config", "prometheus.yml"),
                     ("check", "rules", "ralvex-alerts.yml")):
            with self.subTest(" ".join(args)):
                result = promtool(*args, cwd=self.dir)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertIn("SUCCESS", result.stdout + result.stderr)

    def test_alerts_fire_on_the_faults_and_only_on_them(self):
        with open(os.path.join(self.dir, "cases.yml"), "w") as f:
            f.write(rule_cases())
        result = promtool("test", "rules", "cases.yml", cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr + rule_cases())


if __name__ == "__main__":
    unittest.main()
