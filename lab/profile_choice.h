// The profile a command asks for by number, looked up in the source's own list: the sweeps and the
// capacity run refuse a profile that is not offered, or not ranged where they need a range, with
// one line that names it and exit code 4, and a voltage beyond the range with exit code 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/commands.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

struct ProfileChoice {
  link::ProfileList list{};                 // as the source offered it
  std::optional<link::ProfileEntry> entry;  // set when the profile may be used
  int exitCode = 0;
  std::string error;  // the line to show when it may not
};

bool IsApdo(const link::ProfileEntry& entry);

// Profile `id` (1-based) of the source's list; `needRange`: it must be a PD-APDO profile whose
// range the tester reports.
ProfileChoice ChooseProfile(testers::TesterSession& tester, uint8_t id, bool needRange);

// Empty when low..high lies within the ranged profile, else the error line.
std::string OutsideRange(const link::ProfileEntry& entry, uint8_t id, uint32_t low, uint32_t high);

}  // namespace ralvex::lab
