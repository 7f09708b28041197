// Every fact about one chip family's EEPROM, gathered in one constant per chip so that the
// registry and the framework's program, read, encode and decode paths work from it.
#pragma once

#include <cstdint>
#include <span>

#include "bridge/eeprom/ee_data.h"
#include "bridge/eeprom/field_map.h"
#include "ralvex/bridge.h"

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

// What a decode sets that the field map cannot say, run after the map's fields went in.
using DecodeHook = void (*)(const uint8_t* image, FT_PROGRAM_DATA* data);

// A byte both program paths always give the same value, whatever the record says.
struct FixedByte {
  uint32_t imageByte = 0;  // 0: none
  uint8_t value = 0;
};

// Every fact about one chip family. The defaults describe the plainest image: 64 words, the
// checksum at 0x7E, strings up to 0x7C followed by an empty descriptor and the PnP word, no type
// word, no probe, no CBUS range check; a layout names only what sets its chip apart.
struct ChipLayout {
  // ---- what the registry reads ----
  uint32_t deviceType = FT_DEVICE_UNKNOWN;  // FT_DEVICE
  uint32_t recordSize = 0;                  // sizeof its FT_EEPROM_* record

  // ---- the device ----
  bool hasConfigurationBytes = false;      // FT_EE_ReadConfig, FT_EE_WriteConfig, FT_EE_ReadECC
  bool raisesLatencyWhileWriting = false;  // the latency timer is raised while it is written

  // ---- the FT_PROGRAM_DATA paths (FT_EE_Read, FT_EE_Program) ----
  bool takesProgramData = true;      // false: both refuse the type
  uint32_t programDataVersion = 0;   // FT_PROGRAM_DATA.Version of a converted legacy record
  uint32_t legacyBytes = 0;          // bytes of FT_PROGRAM_DATA_LEGACY the chip reads; 0: refused
  uint16_t encodeVendorId = 0x0403;  // defaults the FT_EE_Program path starts from
  uint16_t encodeProductId = 0x6001;
  uint8_t encodeAttributes = 0xA0;
  uint8_t encodePower = 0x2D;
  uint16_t releaseWithoutRev4 = 0;  // release word when the record's Rev4 is clear; 0: release
  DecodeHook finishDecode = nullptr;

  // ---- the image ----
  uint32_t wordCount = IMAGE_DEFAULT_WORDS;         // at construction
  uint32_t checksumOffset = SMALL_CHECKSUM_OFFSET;  // at construction
  uint32_t stringBase = 0;                          // first descriptor, before any move
  // The descriptors (and the empty one) end at or before this byte.
  uint32_t stringEnd = STRING_AREA_END;
  bool emptyDescriptor = true;  // an empty descriptor and the PnP word follow the serial number
  uint16_t release = 0;         // device release word of both program paths
  uint16_t usbVersionWord = 0;  // word 6 when the chip keeps a USB version there; 0: option bits
  uint32_t typeWordByte = 0;    // where the EEPROM type is stored; 0: nowhere
  uint16_t typeWhenUnknown = EEPROM_TYPE_NONE;  // type written when the probe found none
  // The probe writes a test word at 0xC0 and tells the size by where it lands; else the probe
  // sends nothing and takes the 64-word type.
  bool wrapAroundProbe = false;
  // On a large EEPROM the user area begins with this many bytes from the string base, the space
  // the moved strings left, and is that much larger; 0: the generic rule alone.
  uint32_t movedStringsUserBytes = 0;
  FixedByte fixedByte = {};
  // A word outside the image whose bit 0, when programmed, both program paths put into bit 0 of
  // byte 0; 0: none.
  uint32_t factoryWord = 0;

  // ---- the FT_EEPROM_* record ----
  uint32_t cbusOffset = 0;  // first CBUS field of the record (with cbusCount)
  uint32_t cbusCount = 0;   // 0: no range check
  uint8_t cbusMax = 0;
  std::span<const FieldSpec> recordFields = {};       // FT_EEPROM_* record <-> image
  std::span<const FieldSpec> programDataFields = {};  // FT_PROGRAM_DATA <-> image
  std::span<const RecordRange> decodeClears = {};     // FT_PROGRAM_DATA bytes its Decode clears
};

}  // namespace ralvex::bridge::eeprom
