// Records of the older FT_PROGRAM_DATA layout (no signature header): recognised by their first
// eight bytes and converted field by field, never by raw offsets, since the two layouts align
// their fields differently on 64-bit builds.
#pragma once

#include <cstddef>

#include "ralvex/bridge.h"

namespace ralvex::bridge::eeprom {

// A record without the signature pair (0, 0xFFFFFFFF) is of the older layout.
bool IsLegacyRecord(const FT_PROGRAM_DATA* data);

// Copies the fields of `legacy` that end within its first `bytes` bytes into `data`.
void LegacyToProgramData(const FT_PROGRAM_DATA_LEGACY* legacy, size_t bytes, FT_PROGRAM_DATA* data);
// Copies the fields of `data` that end within the first `bytes` bytes of the older layout into
// `legacy`; nothing beyond those bytes is touched.
void ProgramDataToLegacy(const FT_PROGRAM_DATA* data, size_t bytes, FT_PROGRAM_DATA_LEGACY* legacy);

}  // namespace ralvex::bridge::eeprom
