#include "testers/profile_types.h"

namespace ralvex::testers {

const char* const ProfileTypeNames[PROFILE_TYPE_COUNT] = {
    "LEGACY",    "UNKNOWN", "UNKNOWN", "UNKNOWN",  // class 0
    "PTY",       "UNKNOWN", "UNKNOWN", "UNKNOWN",  // class 1
    "BC-SDP",    "BC-CDP",  "BC-DCP",  "UNKNOWN",  // class 2
    "QC1",       "QC2",     "QC3",     "UNKNOWN",  // class 3
    "USBC-1.5A", "USBC-3A", "UNKNOWN", "UNKNOWN",  // class 4
    "PD-FIX",    "PD-BAT",  "PD-VAR",  "PD-APDO",  // class 5
};

const char* ProfileTypeName(unsigned profileClass, unsigned profileSubtype) {
  // A tester may report classes the table has no row for; never index past it.
  if (profileClass >= PROFILE_TYPE_COUNT / 4) return "UNKNOWN";
  const unsigned index = profileClass * 4 + profileSubtype;
  return index < PROFILE_TYPE_COUNT ? ProfileTypeNames[index] : "UNKNOWN";
}

}  // namespace ralvex::testers
