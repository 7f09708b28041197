// The log run: takes one real exchange per slot of the schedule and writes it as a row, counts the
// slots it could not take, flushes the sink at least once a second, reopens a tester that went
// away, and stops at the duration, the sample count, a stop request, a tester lost for good or
// when the caller's rule says so.
// The load it was given is set first and back to 0 mA at the end, whatever ends the run.
#pragma once

#include <cstdio>
#include <functional>

#include "lab/lab_clock.h"
#include "lab/lab_options.h"
#include "lab/log/row_sink.h"
#include "lab/log_summary.h"
#include "lab/progress_line.h"
#include "lab/stop_signals.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

inline constexpr Millis STOP_CHECK_PERIOD{100};  // the longest a wait goes without a look
inline constexpr Millis FLUSH_PERIOD{1000};
inline constexpr Millis REOPEN_PERIOD{1000};

struct LogRun {
  testers::TesterSession& tester;
  RowSink& sink;
  const LogOptions& options;
  LabClock& clock;
  const StopRequests& stop;
  std::FILE* err;          // the loss and return lines
  ProgressLine* progress;  // redrawn after each row, cleared before a line; may be null
  // A rule of the caller's that ends the run after a row by naming why (the summary's `ended`);
  // null to go on. None: the run ends only as above.
  std::function<const char*(const LogRow&)> endAfterRow = nullptr;
};

struct LogOutcome {
  int exitCode = LAB_EXIT_DONE;
  LogSummary summary;
};

// One reply as a sample of the log: arrived at `arrived`, `elapsedS` after the run's first.
Sample SampleOf(const link::StatsReply& stats, WallTime arrived, double elapsedS);

// Sleeps until `due` in steps of at most STOP_CHECK_PERIOD; false when a stop was asked for
// meanwhile.
bool WaitUntil(LabClock& clock, const StopRequests& stop, SteadyTime due);

// The whole run, summary included (not yet printed or finished into the sink).
LogOutcome RunLog(const LogRun& run);

}  // namespace ralvex::lab
