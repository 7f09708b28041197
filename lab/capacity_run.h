// The capacity run: a log run (lab/sample_logger.h) that draws the load, optionally on a chosen
// profile, with a rule of its own for when the source is spent: its contract down for longer than
// the recovery timeout, or three readings in a row under the cut-off voltage. The log's totals are
// the charge and energy; the report says how long the source delivered, its average power and
// why the run ended. The load goes back to 0 mA and a chosen profile's contract back to profile 1.
#pragma once

#include <cstdio>
#include <string>

#include "lab/capacity_options.h"
#include "lab/lab_clock.h"
#include "lab/log/log_row.h"
#include "lab/log_summary.h"
#include "lab/progress_line.h"
#include "lab/stop_signals.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

inline constexpr const char CAPACITY_SCHEMA[] = "ralvex.capacity/1";
inline constexpr int CUTOFF_READINGS = 3;

// Ends the run when the source is spent; called with every row in order.
class SpentRule {
 public:
  explicit SpentRule(const CapacityOptions& options);
  // "source_lost", "cutoff" or null to go on.
  const char* operator()(const LogRow& row);
  // elapsed_s of the last reading with the contract up: how long the source delivered.
  double DeliveredS() const { return deliveredS_; }

 private:
  std::optional<uint16_t> cutoffMv_;
  double recoverS_;
  std::optional<double> downSince_;
  int underCutoff_ = 0;
  double deliveredS_ = 0;
};

struct CapacityReport {
  std::string stopped;  // source_lost, cutoff, time_limit, interrupted, tester_lost, output_failed
  double chargeMah = 0;
  double energyMwh = 0;
  double durationS = 0;  // to the last reading with the contract up
  uint64_t samples = 0;
  double AveragePowerW() const { return durationS > 0 ? energyMwh * 3.6 / durationS : 0; }
};

std::string CapacityJson(const CapacityReport& report, const CapacityOptions& options,
                         const std::string& serial);
void PrintCapacity(std::FILE* out, const CapacityReport& report, const CapacityOptions& options);

struct CapacityRun {
  testers::TesterSession& tester;
  const CapacityOptions& options;
  const std::string& serial;
  LabClock& clock;
  const StopRequests& stop;
  std::FILE* out;  // the report
  std::FILE* err;
  ProgressLine* progress;  // may be null
};

// The exit code: done (whatever of the ends above, an interruption too), command line (an output
// that cannot be opened, a voltage the profile does not hold), no tester, invalid profile (none
// such, or refused), output failed.
int RunCapacity(const CapacityRun& run);

}  // namespace ralvex::lab
