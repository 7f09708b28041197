// `ralvex-lab verify` on an open tester: every profile the source lists is requested, its contract
// awaited, and its steps measured and judged; a source that drops its contract fails the check it
// was in and is waited for before the next profile. However the run ends, the load goes back to
// 0 mA and the contract to profile 1 (a second interrupt leaves both as they are).
#pragma once

#include <cstdio>
#include <functional>

#include "lab/lab_clock.h"
#include "lab/stop_signals.h"
#include "lab/verify_options.h"
#include "lab/verify_report.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

inline constexpr Millis CONTRACT_POLL_PERIOD{20};

struct VerifyRun {
  testers::TesterSession& tester;
  const VerifyOptions& options;
  LabClock& clock;
  const StopRequests& stop;
  std::FILE* err;                              // a line per profile as it is done, and the errors
  std::function<void(const CheckRow&)> onRow;  // each check as it is made; may be empty
};

// Fills the report's profiles, checks and (when it stopped short) why; returns the exit code: 0
// when every check passed, 5 when any did not (or the run was interrupted), 3 for a tester that
// did not answer, 4 for a source that offers nothing to verify.
int RunVerify(const VerifyRun& run, VerifyReport& report);

}  // namespace ralvex::lab
