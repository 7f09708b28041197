#include "lab/profile_choice.h"

#include "lab/lab_options.h"
#include "testers/profile_types.h"

namespace ralvex::lab {

namespace {

ProfileChoice Refused(ProfileChoice choice, int code, const std::string& error) {
  choice.exitCode = code;
  choice.error = "Error: " + error;
  return choice;
}

}  // namespace

bool IsApdo(const link::ProfileEntry& entry) {
  return link::ProfileClassOf(entry.descriptor) == 5 &&
         link::ProfileSubtypeOf(entry.descriptor) == 3;
}

ProfileChoice ChooseProfile(testers::TesterSession& tester, uint8_t id, bool needRange) {
  ProfileChoice choice;
  if (!tester.GetProfiles(choice.list)) {
    return Refused(choice, LAB_EXIT_NO_TESTER, "the tester did not answer.");
  }
  const std::string name = "profile " + std::to_string(id);
  const link::ProfileEntry* found = link::FindProfile(choice.list, id);
  if (found == nullptr) {
    return Refused(choice, LAB_EXIT_INVALID_PROFILE,
                   name + " does not exist (the source offers " +
                       std::to_string(link::UsableProfileCount(choice.list)) + ").");
  }
  const link::ProfileEntry& entry = *found;
  if (needRange && !IsApdo(entry)) {
    const char* type = testers::ProfileTypeName(link::ProfileClassOf(entry.descriptor),
                                                link::ProfileSubtypeOf(entry.descriptor));
    return Refused(choice, LAB_EXIT_INVALID_PROFILE,
                   name + " is " + type + ", not a ranged (PD-APDO) profile.");
  }
  if (needRange && tester.VersionLevel() < link::RANGED_DETAILS_MIN_VERSION) {
    return Refused(choice, LAB_EXIT_INVALID_PROFILE,
                   "this tester does not report the range of " + name + ".");
  }
  choice.entry = entry;
  return choice;
}

std::string OutsideRange(const link::ProfileEntry& entry, uint8_t id, uint32_t low, uint32_t high) {
  if (low >= entry.minVoltage && high <= entry.voltage) return "";
  const std::string asked =
      low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high);
  return "Error: " + asked + " mV leaves profile " + std::to_string(id) + "'s range " +
         std::to_string(entry.minVoltage) + "-" + std::to_string(entry.voltage) + " mV.";
}

}  // namespace ralvex::lab
