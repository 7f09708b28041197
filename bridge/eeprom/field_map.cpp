#include "bridge/eeprom/field_map.h"

#include <cstring>

namespace ralvex::bridge::eeprom {

namespace {

uint32_t LoadRecordValue(const uint8_t* at, uint8_t bytes) {
  if (bytes == 4) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  if (bytes == 2) {
    uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  }
  return *at;
}

void StoreRecordValue(uint8_t* at, uint8_t bytes, uint32_t value) {
  if (bytes == 4) {
    std::memcpy(at, &value, sizeof value);
  } else if (bytes == 2) {
    const uint16_t narrow = static_cast<uint16_t>(value);
    std::memcpy(at, &narrow, sizeof narrow);
  } else {
    *at = static_cast<uint8_t>(value);
  }
}

// The little-endian window of image bytes a field lies in.
size_t WindowBytes(const FieldSpec& field) {
  return (static_cast<size_t>(field.shift) + field.width + 7) / 8;
}

bool FitsImage(const FieldSpec& field, size_t imageBytes) {
  return field.width > 0 && field.shift + field.width <= 32 &&
         field.imageByte + WindowBytes(field) <= imageBytes;
}

uint32_t FieldMask(const FieldSpec& field) {
  return field.width >= 32 ? 0xFFFFFFFFu : (1u << field.width) - 1u;
}

uint32_t LoadWindow(const uint8_t* image, const FieldSpec& field) {
  uint32_t window = 0;
  for (size_t i = 0; i < WindowBytes(field); ++i) {
    window |= static_cast<uint32_t>(image[field.imageByte + i]) << (8 * i);
  }
  return window;
}

void StoreWindow(uint8_t* image, const FieldSpec& field, uint32_t window) {
  for (size_t i = 0; i < WindowBytes(field); ++i) {
    image[field.imageByte + i] = static_cast<uint8_t>(window >> (8 * i));
  }
}

uint32_t ImageBits(const FieldSpec& field, uint32_t recordValue) {
  switch (field.kind) {
    case FIELD_FLAG:
      return recordValue != 0 ? 1u : 0u;
    case FIELD_INVERSE_FLAG:
      return recordValue == 0 ? 1u : 0u;
    case FIELD_DRIVER_TYPE:
      return recordValue == 1 ? 1u : 0u;
    case FIELD_DRIVE_CURRENT:
      return DriveCurrentCode(recordValue);
    case FIELD_VALUE:
      break;
  }
  return recordValue;
}

uint32_t RecordValue(const FieldSpec& field, uint32_t bits) {
  switch (field.kind) {
    case FIELD_INVERSE_FLAG:
      return bits == 0 ? 1u : 0u;
    case FIELD_DRIVE_CURRENT:
      return DriveCurrentMilliamps(bits);
    case FIELD_FLAG:
    case FIELD_DRIVER_TYPE:
    case FIELD_VALUE:
      break;
  }
  return bits;
}

}  // namespace

uint8_t DriveCurrentCode(uint32_t milliamps) {
  switch (milliamps) {
    case 8:
      return 1;
    case 12:
      return 2;
    case 16:
      return 3;
    default:
      return 0;
  }
}

uint8_t DriveCurrentMilliamps(uint32_t code) {
  return static_cast<uint8_t>(4 * ((code & 3u) + 1));
}

void EncodeFields(std::span<const FieldSpec> fields, const void* record, uint8_t* image,
                  size_t imageBytes) {
  const auto* bytes = static_cast<const uint8_t*>(record);
  for (const FieldSpec& field : fields) {
    if (!FitsImage(field, imageBytes)) continue;
    const uint32_t mask = FieldMask(field) << field.shift;
    const uint32_t bits =
        (ImageBits(field, LoadRecordValue(bytes + field.recordOffset, field.recordBytes))
         << field.shift) &
        mask;
    StoreWindow(image, field, (LoadWindow(image, field) & ~mask) | bits);
  }
}

void DecodeFields(std::span<const FieldSpec> fields, const uint8_t* image, size_t imageBytes,
                  void* record) {
  auto* bytes = static_cast<uint8_t*>(record);
  for (const FieldSpec& field : fields) {
    if (!FitsImage(field, imageBytes)) continue;
    const uint32_t bits = (LoadWindow(image, field) >> field.shift) & FieldMask(field);
    StoreRecordValue(bytes + field.recordOffset, field.recordBytes, RecordValue(field, bits));
  }
}

void ClearRanges(std::span<const RecordRange> ranges, void* record, size_t recordBytes) {
  auto* bytes = static_cast<uint8_t*>(record);
  for (const RecordRange& range : ranges) {
    if (range.begin < range.end && range.end <= recordBytes) {
      std::memset(bytes + range.begin, 0, range.end - range.begin);
    }
  }
}

}  // namespace ralvex::bridge::eeprom
