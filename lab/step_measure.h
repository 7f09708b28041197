// One step of a sweep or a check: apply a setting, let the source settle, then read the tester
// back to back for the hold time and sum the readings up. A reading of 0 V means the contract is
// down (after an over-current trip, or a battery run out, the tester reads nothing at all): the
// step then says the contract was lost and at which set current. During the settle the readings
// are only watched for that loss, once per look at the stop requests.
#pragma once

#include <cstdint>
#include <functional>

#include "lab/lab_clock.h"
#include "lab/load_guard.h"
#include "lab/log_summary.h"
#include "lab/stop_signals.h"
#include "link/commands.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

struct StepTiming {
  Millis settle{500};
  Millis hold{1000};
};

struct StepResult {
  link::SetResult setting;  // the tester's answer to the setting; nothing else when not accepted
  uint64_t samples = 0;     // readings taken in the hold with the contract up
  Spread voltageMv;         // of those readings (count 0 without any)
  Spread currentMa;         // measured
  Spread powerMw;
  uint64_t failedExchanges = 0;
  bool contractLost = false;
  uint16_t lostAtMa = 0;     // the set current last read before the loss, else the step's load
  bool interrupted = false;  // a stop request ended the step early

  // The tester answered with a verdict other than accepted (refused, malformed).
  bool Refused() const { return setting.Refused(); }
};

// What a step sets, and the load in force while it holds (the current named for a loss).
struct StepSetting {
  std::function<link::SetResult()> apply;
  uint16_t loadMa = 0;
};

// The load, through the guard that puts it back to 0 mA at the end.
StepSetting LoadStep(LoadGuard& guard, uint16_t loadMa);
// A profile at a voltage (the voltage matters for ranged profiles), under the load in force.
StepSetting ProfileStep(testers::TesterSession& tester, uint8_t profile, uint16_t voltageMv,
                        uint16_t loadMa);

struct StepRig {
  testers::TesterSession& tester;
  LabClock& clock;
  const StopRequests& stop;
  StepTiming timing;
};

// Applies the setting and, when the tester took it (an answer without a verdict counts as taken),
// settles and holds. Looks at the stop requests at least every 100 ms.
StepResult MeasureStep(const StepRig& rig, const StepSetting& setting);

}  // namespace ralvex::lab
