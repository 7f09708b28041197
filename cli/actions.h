#pragma once
// The actions an option can choose, each carried out on the open tester's session, and the one
// call that runs the chosen action (or prints the usage text when none was chosen).

#include <cstdint>
#include <cstdio>

#include "cli/options.h"
#include "cli/tester_session.h"
#include "link/commands.h"

namespace ralvex::cli {

// What -v sends: the entry's profile id and the voltage (the user's for a ranged profile, the
// entry's own otherwise). `valid` is false when `profileIndex` names no entry the record holds:
// 0, above the reported count, or above the seven entries even when the count claims more.
struct ProfileRequest {
  bool valid;
  std::uint8_t profileId;
  std::uint16_t voltage;
};

ProfileRequest PlanProfileRequest(const link::ProfileList& list, std::uint8_t profileIndex,
                                  std::uint16_t profileVoltage);

// The actions of the option table (each an Action). Whether the tester answered does not change
// the outcome, except that -v needs the profile list.
// -c, -p, -s: the report, from a record left zeroed when the tester does not answer.
int ReportConnection(TesterSession& session, const RunOptions& options, std::FILE* out,
                     std::FILE* err);
int ReportProfiles(TesterSession& session, const RunOptions& options, std::FILE* out,
                   std::FILE* err);
int ReportStats(TesterSession& session, const RunOptions& options, std::FILE* out, std::FILE* err);
// -v: the profile list, then the request for the chosen entry; an index the list does not hold
// is refused with the invalid-profile message.
int SetChosenProfile(TesterSession& session, const RunOptions& options, std::FILE* out,
                     std::FILE* err);
// -l, -n, -m, -o: the value goes out; nothing is printed.
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
