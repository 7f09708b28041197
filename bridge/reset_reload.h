// Bus-wide re-enumeration and restart helpers behind FT_Rescan and FT_Reload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ralvex/bridge.h"

namespace ralvex::bridge {

// "USB\VID_vvvv&PID_pppp" in upper-case hexadecimal with leading zeros.
std::string ReloadPattern(uint16_t vid, uint16_t pid);
// ASCII comparison without regard to letter case, over the whole strings.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Whether a device instance ID names a USB root hub of any kind ("USB\ROOT_HUB" prefix).
bool IsRootHubId(std::string_view instanceId);

// Restarts every present device that lists `pattern` among its hardware or compatible IDs and
// prints one line per device: its instance ID padded to 60 columns, then the outcome.
void RestartMatchingDevices(std::string_view pattern);
// Asks every root hub of the USB setup classes to enumerate again.
FT_STATUS Rescan();

}  // namespace ralvex::bridge
