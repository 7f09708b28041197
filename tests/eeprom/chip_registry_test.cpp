// The chip registry: each row's layout against the public records it serves, how device types
// without a row are served or refused, and the layout flags that reach the device.
#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <vector>

#include "bridge/eeprom/chip_registry.h"
#include "tests/eeprom/multiport_fixture.h"

namespace ralvex::eeprom_test {
namespace {

using bridge::FtHandleRecord;
using bridge::eeprom::ChipPurpose;
using bridge::eeprom::ChipRow;
using sim::ChipFamily;
using enum sim::ChipFamily;

// Every device type with a chip record in the public header, and its family on the bench.
struct TypeWithRecord {
  const char* name;
  uint32_t deviceType;
  size_t recordSize;
  ChipFamily family;
};
constexpr TypeWithRecord RECORD_TYPES[] = {
    {"232B", FT_DEVICE_BM, sizeof(FT_EEPROM_232B), CHIP_BM},
    {"2232", FT_DEVICE_2232C, sizeof(FT_EEPROM_2232), CHIP_2232C},
    {"232R", FT_DEVICE_232R, sizeof(FT_EEPROM_232R), CHIP_232R},
    {"2232H", FT_DEVICE_2232H, sizeof(FT_EEPROM_2232H), CHIP_2232H},
    {"4232H", FT_DEVICE_4232H, sizeof(FT_EEPROM_4232H), CHIP_4232H},
    {"232H", FT_DEVICE_232H, sizeof(FT_EEPROM_232H), CHIP_232H},
    {"X series", FT_DEVICE_X_SERIES, sizeof(FT_EEPROM_X_SERIES), CHIP_X_SERIES},
};

// Device types without a chip record, and values that name no type at all.
constexpr uint32_t TYPES_WITHOUT_RECORD[] = {
    FT_DEVICE_AM,
    FT_DEVICE_100AX,
    FT_DEVICE_UNKNOWN,
    FT_DEVICE_4222H_0,
    FT_DEVICE_4222H_1_2,
    FT_DEVICE_4222H_3,
    FT_DEVICE_4222_PROG,
    FT_DEVICE_900,
    FT_DEVICE_930,
    FT_DEVICE_UMFTPD3A,
    17,
    0xFFFFFFFF,
};

FtHandleRecord RecordOfType(uint32_t deviceType) {
  FtHandleRecord record{};
  record.deviceType = deviceType;
  return record;
}

TEST(ChipRegistry, EveryRecordTypeHasOneRowWhoseLayoutAndChipAgree) {
  EXPECT_EQ(std::size(bridge::eeprom::CHIP_ROWS), std::size(RECORD_TYPES))
      << "a row without a record";
  for (const TypeWithRecord& type : RECORD_TYPES) {
    SCOPED_TRACE(type.name);
    size_t rows = 0;
    for (const ChipRow& row : bridge::eeprom::CHIP_ROWS) {
      rows += row.layout.deviceType == type.deviceType ? 1 : 0;
    }
    ASSERT_EQ(rows, 1u);
    const ChipRow* row = bridge::eeprom::FindChipRow(type.deviceType);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->layout.recordSize, type.recordSize);
    EXPECT_EQ(bridge::eeprom::EepromRecordSize(type.deviceType), type.recordSize);
    // Both purposes build the chip of the type's own row, on that row's layout.
    const FtHandleRecord record = RecordOfType(type.deviceType);
    for (const ChipPurpose purpose :
         {bridge::eeprom::CHIP_FOR_IMAGE, bridge::eeprom::CHIP_FOR_EEPROM_RECORD}) {
      const auto chip = bridge::eeprom::CreateChip(purpose, &record);
      ASSERT_NE(chip, nullptr) << purpose;
      EXPECT_EQ(&chip->Layout(), &row->layout) << purpose;
    }
  }
}

// What every layout must keep to whatever its chip: its words fit the image, the type word and
// every option field lie before the strings, the strings end by the checksum, and the record
// fields lie in the chip's own part of its record.
TEST(ChipRegistry, EveryLayoutFitsItsImageAndItsRecords) {
  for (const ChipRow& row : bridge::eeprom::CHIP_ROWS) {
    const bridge::eeprom::ChipLayout& layout = row.layout;
    SCOPED_TRACE(layout.deviceType);
    EXPECT_LE(layout.wordCount * 2, bridge::eeprom::IMAGE_BYTES);
    EXPECT_LE(layout.checksumOffset + 2, layout.wordCount * 2);
    EXPECT_LT(layout.stringBase, layout.stringEnd);
    EXPECT_LE(layout.stringEnd, layout.checksumOffset);
    if (layout.typeWordByte != 0) {
      EXPECT_LE(layout.typeWordByte + 2, layout.stringBase);
    }
    for (const auto& field : layout.recordFields) {
      EXPECT_LT(field.imageByte, layout.stringBase) << "record field at " << field.recordOffset;
      EXPECT_GE(field.recordOffset, sizeof(FT_EEPROM_HEADER));
      EXPECT_LE(field.recordOffset + field.recordBytes, layout.recordSize);
    }
    for (const auto& field : layout.programDataFields) {
      EXPECT_LT(field.imageByte, layout.stringBase) << "option field at " << field.recordOffset;
    }
    EXPECT_LE(layout.cbusOffset + layout.cbusCount, layout.recordSize);
    EXPECT_EQ(layout.takesProgramData, !layout.programDataFields.empty());
  }
}

TEST(ChipRegistry, TypesWithoutARowAreRefusedRecordsAndRead232BImages) {
  for (const uint32_t type : TYPES_WITHOUT_RECORD) {
    SCOPED_TRACE(type);
    EXPECT_EQ(bridge::eeprom::FindChipRow(type), nullptr);
    EXPECT_EQ(bridge::eeprom::EepromRecordSize(type), 0u);
    const FtHandleRecord record = RecordOfType(type);
    EXPECT_EQ(bridge::eeprom::CreateChip(bridge::eeprom::CHIP_FOR_EEPROM_RECORD, &record), nullptr);
    const auto chip = bridge::eeprom::CreateChip(bridge::eeprom::CHIP_FOR_IMAGE, &record);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->Layout().deviceType, FT_DEVICE_BM);
  }
}

class ChipRegistryOnDevice : public EepromTest {
 protected:
  uint32_t DeviceType() {
    FT_DEVICE type = FT_DEVICE_UNKNOWN;
    DWORD id = 0;
    EXPECT_EQ(FT_GetDeviceInfo(handle_, &type, &id, nullptr, nullptr, nullptr), FT_OK);
    device_->ClearRequests();
    return type;
  }
};

TEST_F(ChipRegistryOnDevice, AnUnlistedDeviceIsRefusedItsRecordUntouchedAndReadAsA232BImage) {
  for (const ChipFamily family : {CHIP_AM, CHIP_100AX, CHIP_4222H_0, CHIP_UNKNOWN}) {
    SCOPED_TRACE(sim::ChipFamilyName(family));
    Plug(family, 64);
    alignas(8) uint8_t record[256] = {};
    const uint32_t type = DeviceType();
    std::memcpy(record, &type, sizeof type);
    TextBuffers texts;
    for (const DWORD size : {DWORD{sizeof(FT_EEPROM_HEADER)}, DWORD{sizeof(FT_EEPROM_232B)}}) {
      EXPECT_EQ(FT_EEPROM_Read(handle_, record, size, texts.manufacturer, texts.manufacturerId,
                               texts.description, texts.serialNumber),
                FT_INVALID_PARAMETER);
      EXPECT_EQ(FT_EEPROM_Program(handle_, record, size, "M", "MK", "D", "MK1"),
                FT_INVALID_PARAMETER);
    }
    EXPECT_TRUE(device_->Requests().empty());
    DWORD bytes = 1;
    ASSERT_EQ(FT_EE_UASize(handle_, &bytes), FT_OK);
    EXPECT_EQ(SentTo(SLOT_READ).size(), 64u) << "the 64 words of a 232B image";
    EXPECT_EQ(bytes, 0u) << "blank";
  }
}

// The latency timer is raised (and put back) on every write path of the chips whose layout asks
// for it, and never touched on the others.
TEST_F(ChipRegistryOnDevice, OnlyTheLayoutsThatAskRaiseTheLatencyTimerOnEveryWritePath) {
  for (const TypeWithRecord& type : RECORD_TYPES) {
    SCOPED_TRACE(type.name);
    Plug(type.family);
    const size_t expected = type.deviceType == FT_DEVICE_232R ? 2 : 0;
    std::vector<uint8_t> record(type.recordSize, 0);
    auto* header = reinterpret_cast<FT_EEPROM_HEADER*>(record.data());
    header->deviceType = type.deviceType;
    header->VendorId = 0x1234;
    header->ProductId = 0x5678;
    ASSERT_EQ(FT_EEPROM_Program(handle_, record.data(), static_cast<DWORD>(record.size()), "Maker",
                                "MK", "Thing", "MK000001"),
              FT_OK);
    EXPECT_EQ(SentTo(SLOT_SET_LATENCY).size(), expected) << "FT_EEPROM_Program";
    device_->ClearRequests();
    uint8_t area[2] = {0x5A, 0xA5};
    ASSERT_EQ(FT_EE_UAWrite(handle_, area, sizeof area), FT_OK);
    EXPECT_EQ(SentTo(SLOT_SET_LATENCY).size(), expected) << "FT_EE_UAWrite";
    if (type.deviceType == FT_DEVICE_X_SERIES) continue;  // FT_EE_Program refuses it
    device_->ClearRequests();
    TextBuffers texts;
    FT_PROGRAM_DATA data = NewProgramData(texts);
    ASSERT_EQ(FT_EE_Program(handle_, &data), FT_OK);
    EXPECT_EQ(SentTo(SLOT_SET_LATENCY).size(), expected) << "FT_EE_Program";
  }
}

}  // namespace
}  // namespace ralvex::eeprom_test
