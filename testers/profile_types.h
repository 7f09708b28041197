#pragma once

#include <cstddef>

namespace ralvex::testers {

inline constexpr std::size_t PROFILE_TYPE_COUNT = 24;
// Indexed by profile class * 4 + profile subtype.
extern const char* const ProfileTypeNames[PROFILE_TYPE_COUNT];

// Name for a class/subtype pair; "UNKNOWN" when the index falls outside the table.
const char* ProfileTypeName(unsigned profileClass, unsigned profileSubtype);

}  // namespace ralvex::testers
