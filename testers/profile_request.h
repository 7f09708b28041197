// Planning a profile request: which id and voltage choose the profile at a position of the
// source's list, shared by ralvex (-v) and ralvex-lab (serve's control).
#pragma once

#include <cstdint>

#include "link/commands.h"

namespace ralvex::testers {

// What a profile request sends: the entry's profile id and the voltage (the user's for a ranged
// profile, the entry's own otherwise). `valid` is false when `profileIndex` names no entry the
// record holds (0, above the reported count, or above the seven entries even when the count claims
// more), or names a ranged profile whose listed range (from `versionLevel` 20 on) leaves the
// voltage out.
struct ProfileRequest {
  bool valid;
  uint8_t profileId;
  uint16_t voltage;
};

ProfileRequest PlanProfileRequest(const link::ProfileList& list, uint8_t profileIndex,
                                  uint16_t profileVoltage, uint8_t versionLevel);

}  // namespace ralvex::testers
