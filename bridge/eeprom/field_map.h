// Field maps: where each option of a record lives in a chip's EEPROM image. One table per chip and
// record kind lists the fields; EncodeFields and DecodeFields are the only code that moves bits
// between records and images, so a chip's word map reads like the table of its image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ralvex::bridge::eeprom {

enum FieldKind : uint8_t {
  FIELD_FLAG,           // bit set when the record byte is not 0; reads back as 0 or 1
  FIELD_VALUE,          // the record value's low `width` bits as they are
  FIELD_DRIVE_CURRENT,  // 4, 8, 12, 16 mA as the 2-bit code 0..3 (anything else: code 0)
  FIELD_INVERSE_FLAG,   // bit set when the record byte is 0; reads back inverted
  FIELD_DRIVER_TYPE,    // bit set when the record byte is exactly 1; reads back as 0 or 1
};

struct FieldSpec {
  uint16_t imageByte;     // first image byte of the field
  uint8_t shift;          // bit position from that byte, little-endian across bytes
  uint8_t width;          // bits; shift + width <= 32
  uint16_t recordOffset;  // offset of the record member
  uint8_t recordBytes;    // 1, 2 or 4
  FieldKind kind;
};

// A span of record bytes, [begin, end), that a decode clears.
struct RecordRange {
  uint16_t begin;
  uint16_t end;
};

// Writes every field of `record` into the image (the field's bits are replaced, the rest kept).
// Fields that reach past `imageBytes` are skipped.
void EncodeFields(std::span<const FieldSpec> fields, const void* record, uint8_t* image,
                  size_t imageBytes);
// Reads every field from the image into `record`.
void DecodeFields(std::span<const FieldSpec> fields, const uint8_t* image, size_t imageBytes,
                  void* record);
// Zeroes the ranges of `record` (each must lie within `recordBytes`).
void ClearRanges(std::span<const RecordRange> ranges, void* record, size_t recordBytes);

// The 2-bit code of a drive current in mA and back.
uint8_t DriveCurrentCode(uint32_t milliamps);
uint8_t DriveCurrentMilliamps(uint32_t code);

}  // namespace ralvex::bridge::eeprom

// Table rows: image byte, bit, record type and member. Kept as macros so a row names the member
// once and the offset and width follow from it.
#define MAP_FIELD(byte, bit, width, Record, member, kind)                            \
  ::ralvex::bridge::eeprom::FieldSpec {                                              \
    (byte), (bit), (width), static_cast<uint16_t>(offsetof(Record, member)),         \
        static_cast<uint8_t>(sizeof(Record::member)), ::ralvex::bridge::eeprom::kind \
  }
#define MAP_FLAG(byte, bit, Record, member) MAP_FIELD(byte, bit, 1, Record, member, FIELD_FLAG)
#define MAP_VALUE(byte, bit, width, Record, member) \
  MAP_FIELD(byte, bit, width, Record, member, FIELD_VALUE)
#define MAP_DRIVE(byte, bit, Record, member) \
  MAP_FIELD(byte, bit, 2, Record, member, FIELD_DRIVE_CURRENT)
#define MAP_INVERSE_FLAG(byte, bit, Record, member) \
  MAP_FIELD(byte, bit, 1, Record, member, FIELD_INVERSE_FLAG)
#define MAP_DRIVER_TYPE(byte, bit, Record, member) \
  MAP_FIELD(byte, bit, 1, Record, member, FIELD_DRIVER_TYPE)
#define MAP_RANGE(Record, first, last)                                       \
  ::ralvex::bridge::eeprom::RecordRange {                                    \
    static_cast<uint16_t>(offsetof(Record, first)),                          \
        static_cast<uint16_t>(offsetof(Record, last) + sizeof(Record::last)) \
  }
