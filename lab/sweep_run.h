// A sweep's run: the checks of a voltage sweep's profile, one measured step per set value written
// as a row as it is taken, the plot at the end. Whatever ends it (the last step, a refusal, a lost
// contract, a stop request), the load goes back to 0 mA and a voltage sweep's contract back to
// profile 1. A refused step names itself; a lost contract ends the sweep after its row.
#pragma once

#include <cstdio>

#include "lab/lab_clock.h"
#include "lab/progress_line.h"
#include "lab/stop_signals.h"
#include "lab/sweep_options.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

struct SweepRun {
  testers::TesterSession& tester;
  const SweepOptions& options;
  LabClock& clock;
  const StopRequests& stop;
  std::FILE* err;
  ProgressLine* progress;  // one line per step; may be null
};

// The exit code: done, command line (an output that cannot be opened, a range beyond the profile,
// a refused load), no tester (it stopped answering, the contract was lost), invalid profile (none
// such, not ranged, a refused step), output failed.
int RunSweep(const SweepRun& run);

}  // namespace ralvex::lab
