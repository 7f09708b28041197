#include "bridge/eeprom/ee_request.h"

namespace ralvex::bridge::eeprom {

FT_STATUS SendEepromRequest(const FtHandleRecord* record, uint32_t slot,
                            std::span<const uint8_t> in, std::span<uint8_t> out) {
  return IssueRequest(record, slot, in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()),
                      out.empty() ? nullptr : out.data(), static_cast<DWORD>(out.size()));
}

}  // namespace ralvex::bridge::eeprom
