#include "testers/profile_request.h"

namespace ralvex::testers {

ProfileRequest PlanProfileRequest(const link::ProfileList& list, uint8_t profileIndex,
                                  uint16_t profileVoltage, uint8_t versionLevel) {
  const link::ProfileEntry* entry = link::FindProfile(list, profileIndex);
  if (entry == nullptr || !link::ProfileTakesVoltage(*entry, profileVoltage, versionLevel)) {
    return {false, 0, 0};
  }
  return {true, link::ProfileIdOf(entry->descriptor),
          link::SetProfileVoltage(*entry, profileVoltage)};
}

}  // namespace ralvex::testers
