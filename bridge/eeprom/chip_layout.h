// What sets one chip family's EEPROM image apart, gathered in one constant per chip so that the
// framework's program, read, encode and decode paths work from it.
#pragma once

#include <cstdint>
#include <span>

#include "bridge/eeprom/field_map.h"

namespace ralvex::bridge::eeprom {

// EEPROM type codes.
inline constexpr uint16_t EEPROM_TYPE_NONE = 0;           // not determined
inline constexpr uint16_t EEPROM_TYPE_64 = 0x46;          // 64 words
inline constexpr uint16_t EEPROM_TYPE_128 = 0x56;         // 128 words
inline constexpr uint16_t EEPROM_TYPE_256 = 0x66;         // 256 words
inline constexpr uint16_t EEPROM_TYPE_INTERNAL = 0x5231;  // large, taken by the 232H
inline constexpr uint16_t EEPROM_TYPE_X_SERIES = 0x5831;

// Byte offsets shared by every image.
inline constexpr uint32_t IMAGE_VENDOR_ID = 0x02;
inline constexpr uint32_t IMAGE_PRODUCT_ID = 0x04;
inline constexpr uint32_t IMAGE_RELEASE = 0x06;
inline constexpr uint32_t IMAGE_ATTRIBUTES = 0x08;
inline constexpr uint32_t IMAGE_MAX_POWER = 0x09;
inline constexpr uint32_t IMAGE_OPTIONS = 0x0A;
inline constexpr uint32_t IMAGE_USB_VERSION = 0x0C;
inline constexpr uint32_t IMAGE_MANUFACTURER_POINTER = 0x0E;
inline constexpr uint32_t IMAGE_PRODUCT_POINTER = 0x10;
inline constexpr uint32_t IMAGE_SERIAL_POINTER = 0x12;
inline constexpr uint8_t OPTION_PULL_DOWN = 0x04;  // byte 0x0A
inline constexpr uint8_t OPTION_SERIAL_NUMBER = 0x08;
inline constexpr uint8_t ATTRIBUTE_BASE = 0x80;  // byte 0x08
inline constexpr uint8_t ATTRIBUTE_SELF_POWERED = 0x40;
inline constexpr uint8_t ATTRIBUTE_REMOTE_WAKEUP = 0x20;
inline constexpr uint8_t STRING_POINTER_FLAG = 0x80;
// Strings are moved up by this much on a large EEPROM.
inline constexpr uint32_t STRING_MOVE = 0x80;
inline constexpr uint32_t SMALL_CHECKSUM_OFFSET = 0x7E;
inline constexpr uint32_t LARGE_CHECKSUM_OFFSET = 0xFE;
// The string area of the 64-word images ends here: descriptors and the empty descriptor after
// them must not pass it.
inline constexpr uint32_t STRING_AREA_END = 0x7C;

struct ChipLayout {
  uint32_t deviceType;          // FT_DEVICE
  uint32_t programDataVersion;  // FT_PROGRAM_DATA.Version of a converted legacy record
  uint32_t legacyBytes;         // bytes of FT_PROGRAM_DATA_LEGACY the chip reads; 0: refused
  uint32_t recordSize;          // sizeof its FT_EEPROM_* record
  uint32_t wordCount;           // at construction
  uint32_t checksumOffset;      // at construction
  uint32_t stringBase;          // first descriptor, before any move
  uint32_t stringEnd;           // the descriptors (and the empty one) end at or before this byte
  bool emptyDescriptor;         // an empty descriptor and the PnP word follow the serial number
  uint16_t programRelease;      // device release of the FT_EEPROM_Program path
  uint16_t encodeRelease;       // device release of the FT_EE_Program path
  uint16_t encodeVendorId;      // defaults the FT_EE_Program path starts from
  uint16_t encodeProductId;
  uint8_t encodeAttributes;
  uint8_t encodePower;
  uint16_t usbVersionWord;   // word 6 when the chip keeps a USB version there; 0: option bits
  uint32_t typeWordByte;     // where the EEPROM type is stored; 0: nowhere
  uint16_t typeWhenUnknown;  // type written when the probe found none
  uint32_t cbusOffset;       // first CBUS field of the FT_EEPROM_* record (with cbusCount)
  uint32_t cbusCount;        // 0: no range check
  uint8_t cbusMax;
  std::span<const FieldSpec> recordFields;       // FT_EEPROM_* record <-> image
  std::span<const FieldSpec> programDataFields;  // FT_PROGRAM_DATA <-> image
  std::span<const RecordRange> decodeClears;     // FT_PROGRAM_DATA bytes its Decode clears
};

}  // namespace ralvex::bridge::eeprom
