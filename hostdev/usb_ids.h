// Which USB devices count as bridges: the bridge vendor's, plus the VID:PID pairs a user lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ralvex::hostdev {

// Every product of this vendor ID is taken for a bridge.
inline constexpr uint16_t USB_BRIDGE_VENDOR_ID = 0x0403;

struct UsbIdPair {
  uint16_t vid = 0;
  uint16_t pid = 0;
};

// Parses "1a2b:00ff,1a2b:0100" (hexadecimal, at most four digits each, spaces around the commas
// allowed; an empty text is an empty list). False with one line in *error naming the bad entry.
bool ParseUsbIdList(std::string_view text, std::vector<UsbIdPair>* pairs, std::string* error);

// Whether a device with these IDs is a bridge: the bridge vendor's or listed in `extra`.
bool IsBridgeId(uint16_t vid, uint16_t pid, const std::vector<UsbIdPair>& extra);

}  // namespace ralvex::hostdev
