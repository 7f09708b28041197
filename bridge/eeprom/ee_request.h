// The one way EEPROM code reaches the driver: every word, erase, configuration and ECC request of
// the EEPROM functions goes out here, so the transport can change in one place.
#pragma once

#include <cstdint>
#include <span>

#include "bridge/handle_record.h"
#include "ralvex/bridge.h"

namespace ralvex::bridge::eeprom {

// Sends the request of `slot` from the record's request table with `in` as input and `out` as
// output (either may be empty): FT_OK when the driver accepted it, FT_IO_ERROR otherwise.
FT_STATUS SendEepromRequest(const FtHandleRecord* record, uint32_t slot,
                            std::span<const uint8_t> in, std::span<uint8_t> out);

}  // namespace ralvex::bridge::eeprom
