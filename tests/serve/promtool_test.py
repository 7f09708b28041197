"""promtool, from the Prometheus package, on serve's /metrics."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from serve_support import promtool, serve_for  # noqa: E402


class MetricsTest(unittest.TestCase):
    def test_metrics_pass_promtool_with_nothing_to_report(self):
        bench, serve = serve_for(self)
        body = serve.wait_for_testers()
        result = promtool("check", "metrics", stdin=body)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""), body)
        # Every metric the server promises is there, with its help and type.
        for name in ("ralvex_up", "ralvex_voltage_volts", "ralvex_current_amperes",
                     "ralvex_set_current_amperes", "ralvex_power_watts",
                     "ralvex_temperature_celsius", "ralvex_contract_connected",
                     "ralvex_contract_profile", "ralvex_exchanges_total",
                     "ralvex_exchange_failures_total", "ralvex_charge_coulombs_total",
                     "ralvex_energy_joules_total"):
            with self.subTest(name):
                kind = "counter" if name.endswith("_total") else "gauge"
                self.assertRegex(body, rf"# HELP {name} \S")
                self.assertIn(f"# TYPE {name} {kind}\n", body)


if __name__ == "__main__":
    unittest.main()
