// The common image words, strings, checksum and type handling of every chip.
#include "bridge/eeprom/e2_data.h"

#include <algorithm>
#include <cstring>

#include "bridge/eeprom/serial_number_generator.h"
#include "bridge/eeprom/string_descriptor.h"

namespace ralvex::bridge::eeprom {

TFtE2Data::TFtE2Data(const FtHandleRecord* record, const ChipLayout& layout)
    : TEeData(record),
      checksum_(0),
      eepromType_(EEPROM_TYPE_NONE),
      manufacturerOffset_(0),
      productOffset_(0),
      serialOffset_(0),
      checksumOffset_(layout.checksumOffset),
      layout_(layout) {
  wordCount_ = layout.wordCount;
}

int32_t TFtE2Data::SignedByte(int64_t offset) const {
  if (offset < 0 || offset >= static_cast<int64_t>(IMAGE_BYTES)) return 0;
  return static_cast<signed char>(image_[offset]);
}

bool TFtE2Data::Load() {
  if (!ReadAll()) return false;
  manufacturerOffset_ = image_[IMAGE_MANUFACTURER_POINTER] & 0x7F;
  productOffset_ = image_[IMAGE_PRODUCT_POINTER] & 0x7F;
  serialOffset_ = image_[IMAGE_SERIAL_POINTER] & 0x7F;
  if (layout_.typeWordByte != 0) {
    eepromType_ = Word(layout_.typeWordByte / 2);
    if (IsLargeEeprom()) {
      manufacturerOffset_ += STRING_MOVE;
      productOffset_ += STRING_MOVE;
      serialOffset_ += STRING_MOVE;
      checksumOffset_ = LARGE_CHECKSUM_OFFSET;
    } else {
      wordCount_ = IMAGE_DEFAULT_WORDS;
    }
  }
  return true;
}

void TFtE2Data::UpdateChecksum() {
  const uint32_t end = std::min<uint32_t>(checksumOffset_, IMAGE_BYTES - 2);
  uint16_t value = 0xAAAA;
  for (uint32_t i = 0; i < (end + 1) / 2; ++i) {
    value = static_cast<uint16_t>(value ^ Word(i));
    value = static_cast<uint16_t>(value << 1 | value >> 15);
  }
  checksum_ = value;
  image_[end] = static_cast<uint8_t>(value);
  image_[end + 1] = static_cast<uint8_t>(value >> 8);
}

void TFtE2Data::ProbeEepromType() {
  if (layout_.wrapAroundProbe) {
    ProbeByWrapAround();
  } else {
    eepromType_ = EEPROM_TYPE_64;
  }
}

bool TFtE2Data::IsLargeEeprom() const {
  return eepromType_ == EEPROM_TYPE_128 || eepromType_ == EEPROM_TYPE_256;
}

void TFtE2Data::RelocateStrings() {
  if (layout_.typeWordByte != 0 && IsLargeEeprom()) MoveStringsUp(layout_.stringBase);
}

uint16_t TFtE2Data::ProbeByTestWord(std::span<const ProbeStep> steps) {
  constexpr uint32_t TEST_WORD = 0xC0;
  constexpr uint16_t TEST_VALUE = 0x00C0;
  Erase();
  WriteWord(TEST_WORD, TEST_VALUE);
  for (const ProbeStep& step : steps) {
    uint16_t value = 0;
    if (ReadWord(step.word, &value) && value == TEST_VALUE) return step.type;
  }
  return EEPROM_TYPE_NONE;
}

void TFtE2Data::ProbeByWrapAround() {
  static constexpr ProbeStep STEPS[] = {
      {0, EEPROM_TYPE_64}, {0x40, EEPROM_TYPE_128}, {0xC0, EEPROM_TYPE_256}};
  eepromType_ = ProbeByTestWord(STEPS);
  if (TFtE2Data::IsLargeEeprom()) {
    checksumOffset_ = LARGE_CHECKSUM_OFFSET;
  } else {
    wordCount_ = IMAGE_DEFAULT_WORDS;
    checksumOffset_ = SMALL_CHECKSUM_OFFSET;
  }
}

void TFtE2Data::MoveStringsUp(uint32_t base) {
  for (uint32_t at = base & ~1u; at < 0x80; at += 2) {
    image_[at + STRING_MOVE] = image_[at];
    image_[at + STRING_MOVE + 1] = image_[at + 1];
    image_[at] = 0;
    image_[at + 1] = 0;
  }
  UpdateChecksum();
}

void TFtE2Data::SetVendorId(uint16_t value) {
  SetWord(IMAGE_VENDOR_ID / 2, value);
  UpdateChecksum();
}

void TFtE2Data::SetProductId(uint16_t value) {
  SetWord(IMAGE_PRODUCT_ID / 2, value);
  UpdateChecksum();
}

void TFtE2Data::SetAttributes(uint8_t value) {
  image_[IMAGE_ATTRIBUTES] = value;
  UpdateChecksum();
}

void TFtE2Data::SetMaxPower(uint32_t milliamps) {
  image_[IMAGE_MAX_POWER] = static_cast<uint8_t>(std::min<uint32_t>(milliamps, 500) / 2);
  UpdateChecksum();
}

int64_t TFtE2Data::PnpPosition() const {
  const int64_t afterSerial = static_cast<int64_t>(serialOffset_) + SignedByte(serialOffset_);
  return afterSerial + SignedByte(afterSerial);
}

void TFtE2Data::SetPnpWord(uint16_t value) {
  const int64_t at = PnpPosition();
  if (at >= 0 && at + 1 < static_cast<int64_t>(IMAGE_BYTES)) {
    image_[at] = static_cast<uint8_t>(value);
    image_[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  UpdateChecksum();
}

uint16_t TFtE2Data::GetPnpWord() const {
  const int64_t at = PnpPosition();
  if (at < 0 || at + 1 >= static_cast<int64_t>(IMAGE_BYTES)) return 0;
  return static_cast<uint16_t>(image_[at] | image_[at + 1] << 8);
}

bool TFtE2Data::AppendAfterSerial(const uint8_t* descriptor) {
  const int64_t at = static_cast<int64_t>(serialOffset_) + SignedByte(serialOffset_);
  if (at < 0 || at + descriptor[0] > STRING_AREA_END) return false;
  std::memcpy(image_ + at, descriptor, descriptor[0]);
  return true;
}

void TFtE2Data::PutSerialDescriptor(const uint8_t* descriptor) {
  if (serialOffset_ < 0 || serialOffset_ + descriptor[0] > static_cast<int64_t>(IMAGE_BYTES))
    return;
  std::memcpy(image_ + serialOffset_, descriptor, descriptor[0]);
  image_[IMAGE_SERIAL_POINTER + 1] = descriptor[0];
}

uint16_t TFtE2Data::GetVendorId() const {
  return Word(IMAGE_VENDOR_ID / 2);
}

uint16_t TFtE2Data::GetProductId() const {
  return Word(IMAGE_PRODUCT_ID / 2);
}

uint32_t TFtE2Data::GetMaxPower() const {
  return image_[IMAGE_MAX_POWER] * 2u;
}

uint8_t TFtE2Data::GetAttributes() const {
  return image_[IMAGE_ATTRIBUTES];
}

void TFtE2Data::ReadText(int32_t offset, char* text) const {
  if (blank_) {
    text[0] = '\0';
    return;
  }
  ReadDescriptor(image_, IMAGE_BYTES, offset, text);
}

void TFtE2Data::GetManufacturer(char* text) const {
  ReadText(manufacturerOffset_, text);
}

void TFtE2Data::GetDescription(char* text) const {
  ReadText(productOffset_, text);
}

void TFtE2Data::GetSerial(char* text) const {
  ReadText(serialOffset_, text);
}

void TFtE2Data::GetManufacturerId(char* text) const {
  char serial[TEXT_BUFFER_BYTES];
  GetSerial(serial);
  const size_t length = strnlen(serial, 2);
  std::memcpy(text, serial, length);
  text[length] = '\0';
}

bool TFtE2Data::StringsFit(const char* manufacturer, const char* description,
                           const char* serialNumber) const {
  size_t end = layout_.stringBase + (layout_.emptyDescriptor ? sizeof EMPTY_DESCRIPTOR : 0);
  for (const char* text : {manufacturer, description, serialNumber}) {
    const size_t characters = text == nullptr ? 0 : strnlen(text, DESCRIPTOR_MAX_CHARACTERS + 1);
    if (characters > DESCRIPTOR_MAX_CHARACTERS) return false;
    end += DescriptorBytes(characters);
  }
  return end <= layout_.stringEnd;
}

void TFtE2Data::PutStrings(const char* manufacturer, const char* description,
                           const char* serialNumber) {
  uint8_t descriptor[DESCRIPTOR_MAX_BYTES];
  uint8_t at = static_cast<uint8_t>(layout_.stringBase);
  const char* texts[3] = {manufacturer, description, serialNumber};
  int32_t* offsets[3] = {&manufacturerOffset_, &productOffset_, &serialOffset_};
  for (int i = 0; i < 3; ++i) {
    const size_t length = BuildDescriptor(texts[i], descriptor);
    // Pointer bytes are 8 bits wide; callers check the fit first, so the sums do not wrap.
    image_[IMAGE_MANUFACTURER_POINTER + 2 * i] = at;
    image_[IMAGE_MANUFACTURER_POINTER + 2 * i + 1] = static_cast<uint8_t>(length);
    std::memcpy(image_ + at, descriptor, length);
    *offsets[i] = at;
    at = static_cast<uint8_t>(at + length);
  }
  for (int i = 0; i < 3; ++i) image_[IMAGE_MANUFACTURER_POINTER + 2 * i] |= STRING_POINTER_FLAG;
}

const char* TFtE2Data::SerialText(const char* given, const char* manufacturerId, uint16_t productId,
                                  char* generated) {
  if (given != nullptr && given[0] != '\0') return given;
  SerialNumberGenerator generator(manufacturerId, static_cast<uint16_t>(productId % 4));
  const char* text = generator.Generate();
  std::memcpy(generated, text, strnlen(text, 15) + 1);
  return generated;
}

}  // namespace ralvex::bridge::eeprom
