// The image framework on its own: checksum, descriptors read from hostile images, the serial
// number generator, the generic user area and the field map's drive-current code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bridge/eeprom/chip_232h.h"
#include "bridge/eeprom/chip_registry.h"
#include "bridge/eeprom/field_map.h"
#include "bridge/eeprom/serial_number_generator.h"
#include "bridge/eeprom/string_descriptor.h"
#include "tests/eeprom/eeprom_fixture.h"

namespace ralvex::bridge::eeprom {
namespace {

TEST(EepromImage, ChecksumOfZeroImageOverSmallAndLargeImages) {
  TFtEE232 small(nullptr);
  TFtEE232H large(nullptr);
  for (TFtE2Data* chip : {static_cast<TFtE2Data*>(&small), static_cast<TFtE2Data*>(&large)}) {
    chip->UpdateChecksum();
    EXPECT_EQ(chip->Checksum(), 0x5555) << chip->ChecksumOffset();
    EXPECT_EQ(chip->Word(chip->ChecksumOffset() / 2), 0x5555);
  }
  EXPECT_EQ(small.ChecksumOffset(), 0x7Eu);
  EXPECT_EQ(large.ChecksumOffset(), 0xFEu);
}

TEST(EepromImage, DescriptorsFromHostileImagesStayInBounds) {
  struct Case {
    const char* what;
    uint32_t offset;
    uint8_t length;
    const char* expected;
  };
  const Case cases[] = {
      {"length 0x80 is negative", 0x10, 0x80, ""},
      {"length 0xFF is negative", 0x10, 0xFF, ""},
      {"length 0 is empty", 0x10, 0x00, ""},
      {"length 0x7F, the longest, gives 62 characters", 0x10, 0x7F, nullptr},
      {"runs off the image end", IMAGE_BYTES - 4, 0x40, "A"},
  };
  for (const Case& c : cases) {
    uint8_t image[IMAGE_BYTES];
    std::memset(image, 'A', sizeof image);
    image[c.offset] = c.length;
    image[c.offset + 1] = 0x03;
    char text[TEXT_BUFFER_BYTES + 8];
    std::memset(text, '#', sizeof text);
    ReadDescriptor(image, IMAGE_BYTES, c.offset, text);
    if (c.expected != nullptr) {
      EXPECT_STREQ(text, c.expected) << c.what;
    } else {
      EXPECT_EQ(std::strlen(text), 62u) << c.what;
    }
    EXPECT_EQ(text[TEXT_BUFFER_BYTES], '#') << c.what << ": wrote past 64 bytes";
  }
  char text[TEXT_BUFFER_BYTES];
  ReadDescriptor(nullptr, 0, -1, text);
  EXPECT_STREQ(text, "");
}

TEST(EepromImage, SerialNumberGeneratorUsesTwoPrefixCharactersAndBase36Time) {
  SYSTEMTIME when{};
  when.wYear = 2026;
  when.wMonth = 12;
  when.wDay = 8;
  when.wHour = 10;
  when.wMinute = 30;
  when.wSecond = 59;
  // (126 - 99) | 2 << 4, then month 11, day, hour, minute, second / 2.
  uint64_t packed = (2026 - 1900 - 99) | (2u << 4);
  packed = packed << 4 | 11;
  packed = packed << 5 | 8;
  packed = packed << 5 | 10;
  packed = packed << 6 | 30;
  packed = packed << 5 | 29;
  std::string digits;
  for (uint64_t v = packed; v != 0; v /= 36)
    digits.insert(digits.begin(), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36]);
  digits = digits.size() < 6 ? std::string(6 - digits.size(), '0') + digits : digits.substr(0, 6);

  EXPECT_EQ(std::string(SerialNumberGenerator("AB", 2).Generate(when)), "AB" + digits);
  EXPECT_EQ(std::string(SerialNumberGenerator("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2).Generate(when)),
            "AB" + digits);
  EXPECT_STREQ(SerialNumberGenerator("A", 2).Generate(when), "A");
  EXPECT_STREQ(SerialNumberGenerator(nullptr, 2).Generate(when), "");
  const std::string now = SerialNumberGenerator("AB", 0).Generate();
  EXPECT_EQ(now.size(), 8u);
  EXPECT_EQ(now.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
}

class EepromImageOnDevice : public eeprom_test::EepromTest {};

TEST_F(EepromImageOnDevice, UserAreaOfABlankImageIsEmptyAndOversizedWritesChangeNothing) {
  Plug(sim::CHIP_BM, 64);
  TFtEE232 blank(LookupHandle(handle_));
  ASSERT_TRUE(blank.Load());
  ASSERT_EQ(blank.Word(0x12 / 2), 0xFFFF) << "a blank EEPROM's string pointers";
  EXPECT_EQ(blank.UserAreaStart(), 0u);
  EXPECT_EQ(blank.UserAreaSize(), 0u);

  TFtEE232 chip(nullptr);
  chip.Encode(ChipSettings{"M", "D", "", FT_PROGRAM_DATA{}});
  const uint32_t bytes = chip.UserAreaSize() * 2;
  ASSERT_GT(bytes, 0u);
  uint8_t before[IMAGE_BYTES];
  std::memcpy(before, chip.Image().data(), sizeof before);
  std::vector<uint8_t> data(bytes + 1, 0x5A);
  EXPECT_FALSE(chip.UserAreaWrite(data.data(), bytes + 1));
  EXPECT_EQ(std::memcmp(before, chip.Image().data(), sizeof before), 0);
  EXPECT_TRUE(chip.UserAreaWrite(data.data(), bytes));
  EXPECT_EQ(chip.Image()[chip.UserAreaStart() * 2 + bytes - 1], 0x5A);
  EXPECT_EQ(chip.UserAreaStart() * 2 + bytes, chip.ChecksumOffset()) << "ends at the checksum";
}

TEST(EepromImage, DriveCurrentCodes) {
  const struct {
    uint32_t milliamps;
    uint8_t code;
    uint8_t readBack;
  } cases[] = {{4, 0, 4}, {8, 1, 8}, {12, 2, 12}, {16, 3, 16}, {6, 0, 4}, {0, 0, 4}, {255, 0, 4}};
  for (const auto& c : cases) {
    EXPECT_EQ(DriveCurrentCode(c.milliamps), c.code) << c.milliamps;
    EXPECT_EQ(DriveCurrentMilliamps(c.code), c.readBack) << c.milliamps;
  }
}

}  // namespace
}  // namespace ralvex::bridge::eeprom
