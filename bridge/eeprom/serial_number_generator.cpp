#include "bridge/eeprom/serial_number_generator.h"

#include <cstring>

namespace ralvex::bridge::eeprom {

namespace {
constexpr char DIGITS[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr size_t PREFIX_CHARACTERS = 2;
constexpr size_t TIME_CHARACTERS = 6;
}  // namespace

SerialNumberGenerator::SerialNumberGenerator(const char* prefix, uint16_t seed)
    : text_{}, prefix_{}, seed_(seed) {
  if (prefix == nullptr) return;
  // Only two characters reach the result; a longer prefix must not run past the fields.
  const size_t length = strnlen(prefix, sizeof prefix_ - 1);
  std::memcpy(prefix_, prefix, length);
  std::memcpy(text_, prefix, length);
}

const char* SerialNumberGenerator::Generate() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return Generate(now);
}

const char* SerialNumberGenerator::Generate(const SYSTEMTIME& now) {
  // Years count from 1999 so that the packed value stays small for decades.
  uint64_t value = static_cast<uint64_t>(static_cast<int64_t>(now.wYear) - 1900 - 99) |
                   static_cast<uint64_t>(seed_) << 4;
  value = value << 4 | static_cast<uint64_t>(now.wMonth - 1u);
  value = value << 5 | now.wDay;
  value = value << 5 | now.wHour;
  value = value << 6 | now.wMinute;
  value = value << 5 | static_cast<uint64_t>(now.wSecond / 2);

  char reversed[16];
  size_t count = 0;
  do {
    reversed[count++] = DIGITS[value % 36];
    value /= 36;
  } while (value != 0 && count < sizeof reversed);
  char digits[TIME_CHARACTERS + 1] = {};
  if (count < TIME_CHARACTERS) {
    // Padded on the left to six characters.
    const size_t pad = TIME_CHARACTERS - count;
    std::memset(digits, '0', pad);
    for (size_t i = 0; i < count; ++i) digits[pad + i] = reversed[count - 1 - i];
  } else {
    // The most significant six characters.
    for (size_t i = 0; i < TIME_CHARACTERS; ++i) digits[i] = reversed[count - 1 - i];
  }
  std::memcpy(text_ + PREFIX_CHARACTERS, digits, TIME_CHARACTERS + 1);
  return text_;
}

}  // namespace ralvex::bridge::eeprom
