#include "hostdev/usb_ids.h"

namespace ralvex::hostdev {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool ParseHex16(std::string_view text, uint16_t* value) {
  if (text.empty() || text.size() > 4) return false;
  uint32_t result = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    result = result * 16 + digit;
  }
  *value = static_cast<uint16_t>(result);
  return true;
}

}  // namespace

bool ParseUsbIdList(std::string_view text, std::vector<UsbIdPair>* pairs, std::string* error) {
  std::vector<UsbIdPair> parsed;
  if (Trim(text).empty()) {
    pairs->clear();
    return true;
  }
  while (true) {
    size_t comma = text.find(',');
    std::string_view entry = Trim(text.substr(0, comma));
    size_t colon = entry.find(':');
    UsbIdPair pair;
    if (colon == std::string_view::npos || !ParseHex16(entry.substr(0, colon), &pair.vid) ||
        !ParseHex16(entry.substr(colon + 1), &pair.pid)) {
      *error = "RALVEX_USB_IDS: '" + std::string(entry) +
               "' is not a VID:PID pair of hexadecimal numbers such as 1a2b:00ff";
      return false;
    }
    parsed.push_back(pair);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  *pairs = std::move(parsed);
  return true;
}

bool IsBridgeId(uint16_t vid, uint16_t pid, const std::vector<UsbIdPair>& extra) {
  if (vid == USB_BRIDGE_VENDOR_ID) return true;
  for (const UsbIdPair& pair : extra) {
    if (pair.vid == vid && pair.pid == pid) return true;
  }
  return false;
}

}  // namespace ralvex::hostdev
