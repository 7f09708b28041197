#pragma once
// The one action of a run, carried out on an open tester link.

#include <cstdint>
#include <cstdio>

#include "cli/options.h"
#include "link/commands.h"
#include "link/tester_link.h"

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

// Runs `options.action` on the open `link`: reports go to `out`, the usage text (no action) and
// the invalid-profile message to `err`. Returns the run's exit code. Whether the tester answered
// does not change the outcome, except that -v needs the profile list.
int CarryOutAction(link::TesterLink& link, const RunOptions& options, const char* programName,
                   std::FILE* out, std::FILE* err);

}  // namespace ralvex::cli
