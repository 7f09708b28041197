// The running totals against loads whose charge and energy are known.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "lab/log/log_row.h"

namespace ralvex::lab {
namespace {

struct Step {
  double elapsedS;
  uint16_t voltageMv;
  uint16_t currentMa;
  bool gapBefore = false;  // the tester was lost before this sample
};

// A constant load from `from` to `to`, in steps that repeat `pattern`.
std::vector<Step> Constant(double from, double to, std::vector<double> pattern, uint16_t mv,
                           uint16_t ma) {
  std::vector<Step> steps{{from, mv, ma}};
  for (size_t i = 0; steps.back().elapsedS < to; ++i)
    steps.push_back({std::min(to, steps.back().elapsedS + pattern[i % pattern.size()]), mv, ma});
  return steps;
}

std::vector<Step> Ramp() {  // 0 to 1000 mA in one hour, at 5 V
  std::vector<Step> steps;
  for (int s = 0; s <= 3600; s += 18) steps.push_back({double(s), 5000, uint16_t(s * 1000 / 3600)});
  return steps;
}

std::vector<Step> WithGap() {  // half an hour, an hour without the tester, half an hour
  std::vector<Step> steps = Constant(0, 1800, {1}, 5000, 1000);
  std::vector<Step> after = Constant(5400, 7200, {1}, 5000, 1000);
  after.front().gapBefore = true;
  steps.insert(steps.end(), after.begin(), after.end());
  return steps;
}

std::vector<Step> ClockBack() {  // a clock that stands still or goes back adds nothing
  return {{10, 5000, 1000}, {10, 5000, 1000}, {4, 5000, 1000}, {3604, 5000, 1000}};
}

struct IntegratorCase {
  const char* name;
  std::function<std::vector<Step>()> steps;
  double chargeMah;
  double energyMwh;
};

const IntegratorCase INTEGRATOR_CASES[] = {
    {"one-second steps", [] { return Constant(0, 3600, {1}, 5000, 1000); }, 1000, 5000},
    {"tenth-second steps", [] { return Constant(0, 3600, {0.1}, 5000, 1000); }, 1000, 5000},
    {"uneven steps",
     [] {
       return Constant(0, 3600, {0.05, 0.9, 2.5, 0.3, 7}, 5000, 1000);
     },
     1000, 5000},
    {"a linear ramp", Ramp, 500, 2500},
    {"a gap adds nothing", WithGap, 1000, 5000},
    {"the clock going back", ClockBack, 1000, 5000},
    {"a single sample", [] { return Constant(0, 0, {1}, 5000, 1000); }, 0, 0},
};

TEST(Integrator, TotalsOfKnownLoads) {
  for (const IntegratorCase& c : INTEGRATOR_CASES) {
    SCOPED_TRACE(c.name);
    Integrator integrator;
    LogRow row;
    for (const Step& step : c.steps()) {
      if (step.gapBefore) integrator.Gap();
      Sample sample;
      sample.elapsedS = step.elapsedS;
      sample.voltageMv = step.voltageMv;
      sample.currentMa = step.currentMa;
      row = integrator.Add(sample);
    }
    EXPECT_NEAR(row.chargeMah, c.chargeMah, 1e-6);
    EXPECT_NEAR(row.energyMwh, c.energyMwh, 1e-6);
  }
}

TEST(Integrator, RowCarriesItsSampleAndPower) {
  struct {
    uint16_t mv, ma;
    double mw;
  } const cases[] = {{5000, 1000, 5000}, {3321, 7, 23.247}, {20000, 5000, 100000}, {0, 3000, 0}};
  for (const auto& c : cases) {
    Sample sample;
    sample.voltageMv = c.mv;
    sample.currentMa = c.ma;
    sample.temperatureC = -12;
    LogRow row = Integrator().Add(sample);
    EXPECT_DOUBLE_EQ(row.powerMw, c.mw) << c.mv << " mV, " << c.ma << " mA";
    EXPECT_EQ(row.sample.temperatureC, -12);
  }
}

}  // namespace
}  // namespace ralvex::lab
