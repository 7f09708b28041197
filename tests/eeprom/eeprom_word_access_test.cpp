// Word access, erase, configuration bytes and the EEPROM type probe, seen in the request log and
// on the device's words.
#include <gtest/gtest.h>

#include <vector>

#include "bridge/eeprom/chip_232h.h"
#include "bridge/handle_record.h"
#include "tests/eeprom/eeprom_fixture.h"

namespace ralvex::eeprom_test {
namespace {

using sim::ChipFamily;
using enum sim::ChipFamily;

class WordAccessTest : public EepromTest {};

TEST_F(WordAccessTest, WordRequestsCarryTheirPayloads) {
  Plug(CHIP_232R, 64, {0x1111, 0x2222, 0x3333});
  WORD value = 0;
  ASSERT_EQ(FT_ReadEE(handle_, 0x42, &value), FT_OK);
  ASSERT_EQ(FT_WriteEE(handle_, 5, 0xBEEF), FT_OK);
  ASSERT_EQ(FT_ReadEE(handle_, 5, &value), FT_OK);
  EXPECT_EQ(value, 0xBEEF);
  const auto reads = SentTo(SLOT_READ);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].input, (std::vector<uint8_t>{0x42, 0, 0, 0}));
  EXPECT_EQ(reads[0].outputLength, 2u);
  const auto writes = SentTo(SLOT_WRITE);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].input, (std::vector<uint8_t>{5, 0, 0xEF, 0xBE}));
  EXPECT_EQ(writes[0].outputLength, 0u);

  ASSERT_EQ(FT_EraseEE(handle_), FT_OK);
  const auto erases = SentTo(SLOT_ERASE);
  ASSERT_EQ(erases.size(), 1u);
  EXPECT_EQ(erases[0].input, (std::vector<uint8_t>{0xAD, 0x0B, 0xEE, 0xAD}));
  for (uint16_t word : Words()) ASSERT_EQ(word, 0xFFFF);

  device_->ClearRequests();
  EXPECT_EQ(FT_ReadEE(handle_, 0, nullptr), FT_INVALID_PARAMETER);
  EXPECT_TRUE(device_->Requests().empty());
  EXPECT_EQ(FT_ReadEE(INVALID_HANDLE_VALUE, 0, &value), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_WriteEE(INVALID_HANDLE_VALUE, 0, 0), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_EraseEE(INVALID_HANDLE_VALUE), FT_INVALID_HANDLE);
}

TEST_F(WordAccessTest, ConfigurationAndEccOnlyWhereTheChipHasThem) {
  const struct {
    ChipFamily chip;
    FT_STATUS expected;
  } cases[] = {{CHIP_232H, FT_OK},
               {CHIP_X_SERIES, FT_OK},
               {CHIP_232R, FT_NOT_SUPPORTED},
               {CHIP_2232H, FT_NOT_SUPPORTED}};
  for (const auto& c : cases) {
    Plug(c.chip);
    UCHAR byte = 0;
    WORD ecc = 0;
    EXPECT_EQ(FT_EE_WriteConfig(handle_, 0x10, 0x5A), c.expected);
    EXPECT_EQ(FT_EE_ReadConfig(handle_, 0x10, &byte), c.expected);
    EXPECT_EQ(FT_EE_ReadECC(handle_, 0x01, &ecc), c.expected);
    if (c.expected == FT_OK) {
      EXPECT_EQ(byte, 0x5A);
      EXPECT_EQ(SentTo(116).at(0).input, (std::vector<uint8_t>{0x10, 0x5A}));
      EXPECT_EQ(SentTo(117).at(0).outputLength, 2u);
    } else {
      EXPECT_TRUE(device_->Requests().empty());
    }
    device_->ClearRequests();
    EXPECT_EQ(FT_EE_ReadConfig(handle_, 0, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_EE_ReadECC(handle_, 0, nullptr), FT_INVALID_PARAMETER);
    EXPECT_TRUE(device_->Requests().empty());
  }
}

TEST_F(WordAccessTest, The232HProbeTellsEepromSizesByWrapAround) {
  const struct {
    uint32_t words;
    uint16_t type;
  } cases[] = {{64, 0x56}, {128, 0x56}, {256, 0x66}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    Plug(CHIP_232H, c.words, std::vector<uint16_t>(c.words, 0x1234));
    bridge::eeprom::TFtEE232H chip(bridge::LookupHandle(handle_));
    chip.ProbeEepromType();
    EXPECT_EQ(chip.EepromType(), c.type);
    EXPECT_EQ(chip.ChecksumOffset(), 0xFEu);
    EXPECT_EQ(SentTo(SLOT_ERASE).size(), 1u);
    EXPECT_TRUE(SentTo(SLOT_ERASE)[0].input.empty());
    // Erased apart from the test word, which lands on word 0xC0 modulo the size.
    const auto w = Words();
    for (uint32_t i = 0; i < c.words; ++i) {
      ASSERT_EQ(w[i], i == 0xC0 % c.words ? 0x00C0 : 0xFFFF) << i;
    }
  }
}

TEST_F(WordAccessTest, A232HWithoutAnsweringEepromIsLaidOutAsTheTypeItDeclares) {
  sim::BridgeDeviceConfig config = Config(CHIP_232H);
  config.eepromWritesStick = false;  // the probe's test word never shows
  Plug(config);
  FT_EEPROM_232H record{};
  record.common.deviceType = FT_DEVICE_232H;
  record.common.VendorId = 0x1209;
  record.common.ProductId = 3;
  // Stops before the write so that the image built for the device can be looked at.
  struct BuildOnly : bridge::eeprom::TFtEE232H {
    using TFtEE232H::TFtEE232H;
    FT_STATUS WriteImage() override {
      ProbeEepromType();
      return FT_OK;
    }
  } chip(bridge::LookupHandle(handle_));
  ASSERT_EQ(chip.ProgramRecord(&record, {"Maker", "MK", "Thing", "MK1"}), FT_OK);
  EXPECT_EQ(chip.Word(0x1E / 2), 0x56);
  EXPECT_EQ(chip.WordCount(), 128u);
  EXPECT_EQ(chip.Image()[0xA0 + 1], 0x03) << "strings moved up";
  // Once the words do stick, a read finds the strings where the type says.
  device_->SetEepromWritesStick(true);
  ASSERT_TRUE(chip.WriteAll());
  FT_EEPROM_232H back{};
  back.common.deviceType = FT_DEVICE_232H;
  char m[64], id[64], d[64], s[64];
  ASSERT_EQ(FT_EEPROM_Read(handle_, &back, sizeof back, m, id, d, s), FT_OK);
  EXPECT_STREQ(m, "Maker");
  EXPECT_STREQ(d, "Thing");
  EXPECT_STREQ(s, "MK1");
}

}  // namespace
}  // namespace ralvex::eeprom_test
