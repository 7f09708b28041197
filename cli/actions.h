// The actions an option can choose, each carried out on the open tester's session, and the one
// call that runs the chosen action (or prints the usage text when none was chosen).
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/options.h"
#include "link/commands.h"
#include "testers/profile_request.h"
#include "testers/tester_session.h"

namespace ralvex::cli {

// Planning a profile request is shared with ralvex-lab (testers/profile_request.h).
using testers::PlanProfileRequest;
using testers::ProfileRequest;

// The line an action prints, with exit code RUN_EXIT_NO_ANSWER, when its exchange failed.
inline constexpr const char NO_ANSWER_MESSAGE[] = "Error: the tester did not answer.";

// The actions of the option table (each an Action). An action whose exchange fails prints no
// report, only NO_ANSWER_MESSAGE on `err`, and ends with RUN_EXIT_NO_ANSWER.
// -c, -p, -s: the report of the record the tester answered with.
int ReportConnection(TesterSession& session, const RunOptions& options, std::FILE* out,
                     std::FILE* err);
int ReportProfiles(TesterSession& session, const RunOptions& options, std::FILE* out,
                   std::FILE* err);
int ReportStats(TesterSession& session, const RunOptions& options, std::FILE* out, std::FILE* err);
// -v: the profile list, then the request for the chosen entry; a request the list rules out is
// refused with the invalid-profile message and nothing is sent.
int SetChosenProfile(TesterSession& session, const RunOptions& options, std::FILE* out,
                     std::FILE* err);
// -l, -n, -m, -o: the value goes out; nothing is printed. Any reply frame counts as the answer.
int SetLoad(TesterSession& session, const RunOptions& options, std::FILE* out, std::FILE* err);
int StoreDefaultVoltage(TesterSession& session, const RunOptions& options, std::FILE* out,
                        std::FILE* err);
int StoreDefaultLoad(TesterSession& session, const RunOptions& options, std::FILE* out,
                     std::FILE* err);
int StoreMaxLoad(TesterSession& session, const RunOptions& options, std::FILE* out, std::FILE* err);

// Runs `options.action` on `session`; without one, prints the usage text (for `programName`) on
// `err`. Returns the run's exit code.
int CarryOutAction(TesterSession& session, const RunOptions& options, const char* programName,
                   std::FILE* out, std::FILE* err);

}  // namespace ralvex::cli
