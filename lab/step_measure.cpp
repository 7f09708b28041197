#include "lab/step_measure.h"

#include <algorithm>

#include "lab/sample_logger.h"

namespace ralvex::lab {

namespace {

class Step {
 public:
  Step(const StepRig& rig, const StepSetting& setting) : rig_(rig), setting_(setting) {}

  StepResult Run() {
    result_.setting = setting_.apply();
    if (!result_.setting.answered || result_.Refused()) return result_;
    lastLoadMa_ = setting_.loadMa;
    result_.interrupted = !Settle() || !Hold();
    return result_;
  }

 private:
  // Waits out the settle time in looks of at most 100 ms, reading once per look for a loss.
  bool Settle() {
    const SteadyTime end = rig_.clock.Now() + rig_.timing.settle;
    for (;;) {
      if (rig_.stop.Stopping()) return false;
      const SteadyTime now = rig_.clock.Now();
      if (now >= end) return true;
      rig_.clock.SleepFor(std::min<std::chrono::nanoseconds>(end - now, STOP_CHECK_PERIOD));
      if (rig_.clock.Now() < end) Read(false);
    }
  }

  // Reads back to back until the hold time is over.
  bool Hold() {
    const SteadyTime end = rig_.clock.Now() + rig_.timing.hold;
    while (rig_.clock.Now() < end) {
      if (rig_.stop.Stopping()) return false;
      Read(true);
    }
    return true;
  }

  void Read(bool counted) {
    link::StatsReply stats{};
    if (!rig_.tester.GetStats(stats)) {
      result_.failedExchanges += counted ? 1 : 0;
      return;
    }
    if (stats.voltage == 0) {
      if (!result_.contractLost) result_.lostAtMa = lastLoadMa_;
      result_.contractLost = true;
      return;
    }
    lastLoadMa_ = stats.setCurrent;
    if (!counted) return;
    ++result_.samples;
    result_.voltageMv.Add(stats.voltage);
    result_.currentMa.Add(stats.measuredCurrent);
    result_.powerMw.Add(stats.voltage * static_cast<double>(stats.measuredCurrent) / 1000.0);
  }

  const StepRig& rig_;
  const StepSetting& setting_;
  StepResult result_;
  uint16_t lastLoadMa_ = 0;
};

}  // namespace

StepSetting LoadStep(LoadGuard& guard, uint16_t loadMa) {
  return {[&guard, loadMa] { return guard.Apply(loadMa); }, loadMa};
}

StepSetting ProfileStep(testers::TesterSession& tester, uint8_t profile, uint16_t voltageMv,
                        uint16_t loadMa) {
  return {[&tester, profile, voltageMv] { return tester.SetProfile(profile, voltageMv); }, loadMa};
}

StepResult MeasureStep(const StepRig& rig, const StepSetting& setting) {
  return Step(rig, setting).Run();
}

}  // namespace ralvex::lab
