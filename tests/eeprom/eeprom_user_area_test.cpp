// The user-area functions on programmed bench devices: size, where the bytes land on the device,
// reading them back, and writes that do not fit.
#include <gtest/gtest.h>

#include <vector>

#include "tests/eeprom/eeprom_fixture.h"

namespace ralvex::eeprom_test {
namespace {

using sim::ChipFamily;
using enum sim::ChipFamily;

class UserAreaTest : public EepromTest {
 protected:
  // Programs the default texts through the chip record of the device's type.
  void Program(FT_DEVICE type, size_t size) {
    std::vector<uint8_t> record(size, 0);
    auto* header = reinterpret_cast<FT_EEPROM_HEADER*>(record.data());
    header->deviceType = type;
    header->VendorId = 0x1209;
    header->ProductId = 0x0002;
    const Texts t;
    ASSERT_EQ(
        FT_EEPROM_Program(handle_, record.data(), static_cast<DWORD>(size), t.manufacturer.c_str(),
                          t.manufacturerId.c_str(), t.description.c_str(), t.serial.c_str()),
        FT_OK);
    device_->ClearRequests();
  }
};

TEST_F(UserAreaTest, SizeWriteAndReadOnEveryLayout) {
  // Strings "Ralvex", "Load Bridge", "RX000123" take 56 bytes from the string base; then the
  // empty descriptor and the PnP word. The 232R uses the 232B rule from its own pointers.
  const struct {
    const char* name;
    ChipFamily chip;
    FT_DEVICE type;
    size_t recordSize;
    uint32_t size;
    uint32_t firstAt, firstBytes, secondAt;
    uint32_t checksumAt;
  } cases[] = {
      {"232B", CHIP_BM, FT_DEVICE_BM, sizeof(FT_EEPROM_232B), 46, 80, 46, 0, 0x7E},
      {"232R", CHIP_232R, FT_DEVICE_232R, sizeof(FT_EEPROM_232R), 42, 84, 42, 0, 0x7E},
      // Large: 96 bytes where the strings were, then after the moved serial number (0xC6 + 18).
      {"232H", CHIP_232H, FT_DEVICE_232H, sizeof(FT_EEPROM_232H), 96 + 36, 0x20, 96, 218, 0xFE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Plug(c.chip);
    Program(c.type, c.recordSize);
    DWORD size = 0;
    ASSERT_EQ(FT_EE_UASize(handle_, &size), FT_OK);
    EXPECT_EQ(size, c.size);

    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x30 + i);
    ASSERT_EQ(FT_EE_UAWrite(handle_, data.data(), size), FT_OK);
    const auto w = Words();
    for (uint32_t i = 0; i < size; ++i) {
      const uint32_t at = i < c.firstBytes ? c.firstAt + i : c.secondAt + (i - c.firstBytes);
      ASSERT_EQ(ByteOf(w, at), data[i]) << "user byte " << i << " at 0x" << std::hex << at;
    }
    EXPECT_EQ(w[c.checksumAt / 2], Checksum(w, c.checksumAt));
    EXPECT_EQ(SentTo(SLOT_ERASE).size(), 1u);

    std::vector<uint8_t> back(size + 10, 0);
    DWORD count = 0;
    ASSERT_EQ(FT_EE_UARead(handle_, back.data(), static_cast<DWORD>(back.size()), &count), FT_OK);
    EXPECT_EQ(count, size) << "a longer read stops at the size";
    back.resize(size);
    EXPECT_EQ(back, data);

    device_->ClearRequests();
    data.push_back(0);
    EXPECT_EQ(FT_EE_UAWrite(handle_, data.data(), size + 1), FT_EEPROM_WRITE_FAILED);
    EXPECT_FALSE(EepromTouched());
    EXPECT_EQ(Words(), w);
  }
}

TEST_F(UserAreaTest, EmptyAreasZeroLengthsAndNullPointers) {
  Plug(CHIP_BM);  // blank: no user area
  DWORD size = 99;
  EXPECT_EQ(FT_EE_UASize(handle_, &size), FT_OK);
  EXPECT_EQ(size, 0u);
  uint8_t byte = 1;
  EXPECT_EQ(FT_EE_UAWrite(handle_, &byte, 1), FT_EEPROM_WRITE_FAILED);
  DWORD count = 77;
  EXPECT_EQ(FT_EE_UARead(handle_, &byte, 0, &count), FT_OK);
  EXPECT_EQ(count, 77u) << "a zero-length read leaves the count alone";
  device_->ClearRequests();
  EXPECT_EQ(FT_EE_UASize(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_EE_UARead(handle_, nullptr, 4, &count), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_EE_UARead(handle_, &byte, 1, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_EE_UAWrite(handle_, nullptr, 1), FT_INVALID_PARAMETER);
  EXPECT_TRUE(device_->Requests().empty());
}

TEST_F(UserAreaTest, The232RLatencyTimerIsRestoredWhateverTheOutcome) {
  Plug(CHIP_232R);
  Program(FT_DEVICE_232R, sizeof(FT_EEPROM_232R));
  ASSERT_EQ(FT_SetLatencyTimer(handle_, 9), FT_OK);
  uint8_t data[200] = {};
  EXPECT_EQ(FT_EE_UAWrite(handle_, data, 4), FT_OK);
  EXPECT_EQ(device_->LineState().latencyTimer, 9);
  EXPECT_EQ(FT_EE_UAWrite(handle_, data, sizeof data), FT_EEPROM_WRITE_FAILED);
  EXPECT_EQ(device_->LineState().latencyTimer, 9);
}

}  // namespace
}  // namespace ralvex::eeprom_test
