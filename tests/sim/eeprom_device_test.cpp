// The simulated EEPROM behind the word, erase, configuration and ECC requests.
#include <gtest/gtest.h>

#include "sim/bridge_device.h"
#include "sim/eeprom_memory.h"
#include "tests/sim/device_test_support.h"

namespace ralvex::sim {
namespace {

using testing::CallSlot;
using testing::Le32;
using testing::MakeConfig;
using testing::OpenOrDie;
using testing::ReadLe16;

uint16_t ReadWord(posix::DeviceFile& file, uint32_t index) {
  testing::Reply reply = CallSlot(file, 32, Le32(index), 2);
  EXPECT_EQ(reply.error, 0u);
  EXPECT_EQ(reply.returned, 2u);
  return ReadLe16(reply.out, 0);
}

uint32_t WriteWord(posix::DeviceFile& file, uint16_t index, uint16_t value) {
  return CallSlot(file, 33,
                  {static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8),
                   static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)})
      .error;
}

std::shared_ptr<BridgeDevice> MakeDevice(ChipFamily chip, uint32_t words) {
  BridgeDeviceConfig config = MakeConfig(chip);
  config.eepromWords = words;
  return std::make_shared<BridgeDevice>(config);
}

// The type probe of the EEPROM programming code: erase, write 0x00C0 to word 0xC0, then see where
// it landed. Each size must wrap so that exactly one of the probe's reads finds it first.
struct ProbeCase {
  uint32_t words;
  bool at0;
  bool at40;
  bool atC0;
};

class EepromWrapAround : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(EepromWrapAround, ProbeWordLandsWhereTheSizeWrapsIt) {
  const ProbeCase& c = GetParam();
  BridgeDeviceConfig config = MakeConfig(CHIP_2232H);
  config.eepromWords = c.words;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 34).error, 0u);
  ASSERT_EQ(WriteWord(*file, 0xC0, 0x00C0), 0u);
  EXPECT_EQ(ReadWord(*file, 0) == 0x00C0, c.at0);
  EXPECT_EQ(ReadWord(*file, 0x40) == 0x00C0, c.at40);
  EXPECT_EQ(ReadWord(*file, 0xC0), 0x00C0);
  EXPECT_EQ(device->EepromWordCount(), c.words);
  EXPECT_EQ(device->EepromWords().size(), c.words);
  // A 32-bit index far past the end wraps as well.
  EXPECT_EQ(ReadWord(*file, 0x100000C0), 0x00C0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EepromWrapAround,
                         ::testing::Values(ProbeCase{64, true, true, true},
                                           ProbeCase{128, false, true, true},
                                           ProbeCase{256, false, false, true},
                                           ProbeCase{1024, false, false, true}));

TEST(EepromDevice, EraseBlanksEveryWordAndChecksItsKey) {
  BridgeDeviceConfig config = MakeConfig(CHIP_232R);
  config.eeprom = {0x4000, 0x0403, 0x6001};
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadWord(*file, 1), 0x0403);
  EXPECT_EQ(ReadWord(*file, 3), 0xFFFF);  // beyond the initial image: blank

  EXPECT_EQ(CallSlot(*file, 34, Le32(0x12345678)).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot(*file, 34, {0xAD}).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ReadWord(*file, 1), 0x0403);

  ASSERT_EQ(CallSlot(*file, 34, Le32(0xADEE0BAD)).error, 0u);
  for (uint16_t word : device->EepromWords()) EXPECT_EQ(word, 0xFFFF);
}

TEST(EepromDevice, WithoutEepromReadsZeroAndWritesVanish) {
  auto device = MakeDevice(CHIP_232R, 0);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadWord(*file, 0), 0x0000);
  EXPECT_EQ(WriteWord(*file, 1, 0x0403), 0u);
  EXPECT_EQ(ReadWord(*file, 1), 0x0000);
  EXPECT_EQ(CallSlot(*file, 34).error, 0u);
  EXPECT_EQ(ReadWord(*file, 2), 0x0000);
  EXPECT_TRUE(device->EepromWords().empty());
}

TEST(EepromDevice, WritesThatDoNotStickAreAcceptedButLost) {
  BridgeDeviceConfig config = MakeConfig(CHIP_232H);
  config.eepromWritesStick = false;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(WriteWord(*file, 2, 0x6014), 0u);
  EXPECT_EQ(ReadWord(*file, 2), 0xFFFF);
  EXPECT_EQ(CallSlot(*file, 116, {0x10, 0x55}).error, 0u);
  EXPECT_EQ(CallSlot(*file, 115, {0x10}, 1).out[0], 0xFF);

  device->SetEepromWritesStick(true);
  EXPECT_EQ(WriteWord(*file, 2, 0x6014), 0u);
  EXPECT_EQ(ReadWord(*file, 2), 0x6014);
}

TEST(EepromDevice, InvalidSizeFallsBackToTheFamilyDefault) {
  BridgeDeviceConfig config = MakeConfig(CHIP_X_SERIES);
  config.eepromWords = 100;
  std::string error;
  EXPECT_FALSE(ValidateBridgeDeviceConfig(config, &error));
  EXPECT_NE(error.find("eeprom_words"), std::string::npos);
  auto device = std::make_shared<BridgeDevice>(config);
  EXPECT_EQ(device->EepromWordCount(), 1024u);

  BridgeDeviceConfig image = MakeConfig(CHIP_232R);
  image.eeprom.assign(65, 0);
  EXPECT_FALSE(ValidateBridgeDeviceConfig(image, &error));
  EXPECT_EQ(std::make_shared<BridgeDevice>(image)->EepromWords().size(),
            64u);  // the excess is dropped
}

TEST(EepromDevice, ConfigurationAndEccOnlyWhereTheChipHasThem) {
  for (ChipFamily chip : {CHIP_232H, CHIP_X_SERIES}) {
    auto device = std::make_shared<BridgeDevice>(MakeConfig(chip));
    auto file = OpenOrDie(*device);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(CallSlot(*file, 116, {0x22, 0x5A}).error, 0u);
    testing::Reply config = CallSlot(*file, 115, {0x22}, 1);
    EXPECT_EQ(config.returned, 1u);
    EXPECT_EQ(config.out[0], 0x5A);
    uint16_t before = ReadLe16(CallSlot(*file, 117, {0x05}, 2).out, 0);
    ASSERT_EQ(WriteWord(*file, 0x05, 0x1234), 0u);
    testing::Reply ecc = CallSlot(*file, 117, {0x05}, 2);
    EXPECT_EQ(ecc.returned, 2u);
    EXPECT_NE(ReadLe16(ecc.out, 0), before);  // check bits follow the word
  }
  auto r = std::make_shared<BridgeDevice>(MakeConfig(CHIP_232R));
  auto file = OpenOrDie(*r);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CallSlot(*file, 115, {0x22}, 1).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(CallSlot(*file, 116, {0x22, 0x5A}).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(CallSlot(*file, 117, {0x05}, 2).error, ERROR_INVALID_FUNCTION);
}

struct FactoryWordCase {
  ChipFamily chip;
  uint16_t factoryWord;
  uint16_t readAt42;  // after word 2 was written 0x1234 and 0x42 written 0xBEEF
};

class FactoryWord : public ::testing::TestWithParam<FactoryWordCase> {};

// A 232R's word 0x42 sits outside its 64 programmable words: it neither wraps onto word 2 nor
// changes with writes or an erase. Other 64-word chips wrap 0x42 onto word 2.
TEST_P(FactoryWord, SitsOutsideTheProgrammableWordsOfA232ROnly) {
  const FactoryWordCase& c = GetParam();
  BridgeDeviceConfig config = MakeConfig(c.chip);
  config.eepromWords = 64;
  config.factoryWord = c.factoryWord;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(WriteWord(*file, 2, 0x1234), 0u);
  ASSERT_EQ(WriteWord(*file, 0x42, 0xBEEF), 0u);
  EXPECT_EQ(ReadWord(*file, 0x42), c.readAt42);
  EXPECT_EQ(ReadWord(*file, 0x43), ReadWord(*file, 3));  // its neighbours still wrap
  ASSERT_EQ(CallSlot(*file, 34, Le32(0xADEE0BAD)).error, 0u);
  EXPECT_EQ(ReadWord(*file, 0x42), c.chip == CHIP_232R ? c.factoryWord : 0xFFFF);
  EXPECT_EQ(device->EepromWords().size(), 64u);
}

INSTANTIATE_TEST_SUITE_P(Chips, FactoryWord,
                         ::testing::Values(FactoryWordCase{CHIP_232R, 0x0000, 0x0000},
                                           FactoryWordCase{CHIP_232R, 0x0001, 0x0001},
                                           FactoryWordCase{CHIP_BM, 0x0000, 0xBEEF}));

TEST(EepromMemory, EccDistinguishesSingleBitChanges) {
  EepromMemory memory(64, {});
  std::vector<uint16_t> seen;
  for (int bit = -1; bit < 16; ++bit) {
    memory.Write(0, bit < 0 ? 0 : static_cast<uint16_t>(1u << bit));
    seen.push_back(memory.ReadEcc(0));
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}

}  // namespace
}  // namespace ralvex::sim
