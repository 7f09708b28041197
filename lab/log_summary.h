// What a log run did, kept as it runs and reported when it ends: on standard error as text, and as
// JSON (schema "ralvex.log-summary/1") for --summary-json and the sink's run record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "lab/log/log_row.h"

namespace ralvex::lab {

inline constexpr const char LOG_SUMMARY_SCHEMA[] = "ralvex.log-summary/1";

// Minimum, mean and maximum of one measurement.
struct Spread {
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
  double sum = 0;
  uint64_t count = 0;

  void Add(double value);
  double Mean() const { return count == 0 ? 0 : sum / static_cast<double>(count); }
};

struct LogSummary {
  uint64_t samples = 0;  // rows written
  uint64_t missedSlots = 0;
  uint64_t failedExchanges = 0;
  uint64_t reconnects = 0;
  double secondsWithoutTester = 0;
  double requestedRateHz = 0;  // 0: as fast as the line allows
  double runSeconds = 0;       // from the start of the schedule to the end
  double firstToLastS = 0;     // elapsed_s of the last row
  Spread voltageMv, currentMa, powerMw;
  double chargeMah = 0;
  double energyMwh = 0;
  std::string ended;  // why the run ended: "done", "interrupted", "tester lost", "output failed"

  void Add(const LogRow& row);
  // Rows per second over the run; 0 before two rows.
  double AchievedRateHz() const;
};

std::string SummaryJson(const LogSummary& summary);
void PrintSummary(std::FILE* err, const LogSummary& summary);

}  // namespace ralvex::lab
