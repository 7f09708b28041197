// The run's summary read back as JSON: its figures from a known run, and a run without rows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "lab/log/run_summary.h"

namespace ralvex::lab {
namespace {

using namespace std::chrono;

TEST(RunSummary, FiguresOfAKnownRun) {
  struct {
    double elapsedS;
    uint16_t mv, ma;
    int temperatureC;
    bool gapBefore;
  } const steps[] = {{10, 5000, 1000, 30, false},
                     {3610, 5000, 1000, 31, false},
                     {4000, 4800, 3000, 45, true},
                     {4001, 5200, 0, 44, false}};
  Integrator integrator;
  RunSummary summary;
  for (const auto& step : steps) {
    if (step.gapBefore) {
      integrator.Gap();
      summary.Gap();
    }
    Sample sample;
    sample.time = sys_days{2026y / 12 / 8} + milliseconds(int64_t(step.elapsedS * 1000));
    sample.elapsedS = step.elapsedS;
    sample.voltageMv = step.mv;
    sample.currentMa = step.ma;
    sample.temperatureC = step.temperatureC;
    summary.Add(integrator.Add(sample));
  }
  auto json = nlohmann::json::parse(summary.Json());
  EXPECT_EQ(json["rows"], 4);
  EXPECT_EQ(json["first_time"], "2026-12-08T00:00:10.000Z");
  EXPECT_EQ(json["last_time"], "2026-12-08T01:06:41.000Z");
  EXPECT_EQ(json["duration_s"], 3991.0);
  EXPECT_NEAR(json["charge_mah"].get<double>(), 1000 + 1500.0 / 3600, 0.0005);
  EXPECT_NEAR(json["energy_mwh"].get<double>(), 5000 + 7200.0 / 3600, 0.0005);
  EXPECT_EQ(json["min_voltage_mv"], 4800);
  EXPECT_EQ(json["max_voltage_mv"], 5200);
  EXPECT_EQ(json["max_current_ma"], 3000);
  EXPECT_EQ(json["max_temperature_c"], 45);
  EXPECT_EQ(json["gaps"], 1);
}

TEST(RunSummary, RunWithoutRows) {
  RunSummary summary;
  summary.Gap();
  EXPECT_EQ(nlohmann::json::parse(summary.Json()), nlohmann::json({{"rows", 0}, {"gaps", 1}}));
}

}  // namespace
}  // namespace ralvex::lab
