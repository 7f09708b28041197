// The three multi-port chips on EEPROMs of every size: where the program paths put the strings,
// the type word and the checksum, how the user area splits on a large EEPROM, and that both
// record kinds (and the older FT_PROGRAM_DATA layout) come back as they were written.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/eeprom/multiport_fixture.h"

namespace ralvex::eeprom_test {
namespace {

// Record bytes [begin, end) of any record type.
template <typename Record>
std::vector<uint8_t> Bytes(const Record& record, size_t begin, size_t end) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return std::vector<uint8_t>(bytes + begin, bytes + end);
}

// Every option of a chip set to a mixed pattern, for both FT_PROGRAM_DATA layouts (their member
// names are the same), and the chip's block of such a record.
template <typename Data>
void Fill2232(Data& data) {
  data.Rev5 = 1;  // what a read reports on this chip
  data.IsoInA = 1;
  data.IsoOutB = 1;
  data.PullDownEnable5 = 1;
  data.SerNumEnable5 = 1;
  data.USBVersionEnable5 = 1;
  data.USBVersion5 = 0x0110;
  data.AIsHighCurrent = 1;
  data.IFAIsFifo = 1;
  data.IFAIsFastSer = 1;
  data.AIsVCP = 1;
  data.IFBIsFifoTar = 1;
}
template <typename Data>
std::vector<uint8_t> Block2232(const Data& data) {
  return Bytes(data, offsetof(Data, Rev5), offsetof(Data, BIsVCP) + 1);
}

template <typename Data>
void Fill2232H(Data& data) {
  data.SerNumEnable7 = 1;
  data.ALSlowSlew = 1;
  data.ALDriveCurrent = 16;
  data.AHSchmittInput = 1;
  data.AHDriveCurrent = 8;
  data.BLDriveCurrent = 4;
  data.BHSlowSlew = 1;
  data.BHSchmittInput = 1;
  data.BHDriveCurrent = 12;
  data.IFAIsFifoTar7 = 1;
  data.IFBIsFifo7 = 1;
  data.IFBIsFastSer7 = 1;
  data.BIsVCP7 = 1;
  data.PowerSaveEnable = 1;
}
template <typename Data>
std::vector<uint8_t> Block2232H(const Data& data) {
  return Bytes(data, offsetof(Data, PullDownEnable7), offsetof(Data, PowerSaveEnable) + 1);
}

template <typename Data>
void Fill4232H(Data& data) {
  data.PullDownEnable8 = 1;
  data.ASchmittInput = 1;
  data.ADriveCurrent = 12;
  data.BSlowSlew = 1;
  data.BDriveCurrent = 4;
  data.CDriveCurrent = 16;
  data.DSlowSlew = 1;
  data.DSchmittInput = 1;
  data.DDriveCurrent = 8;
  data.BRIIsTXDEN = 1;
  data.CRIIsTXDEN = 1;
  data.AIsVCP8 = 1;
  data.DIsVCP8 = 1;
}
template <typename Data>
std::vector<uint8_t> Block4232H(const Data& data) {
  return Bytes(data, offsetof(Data, PullDownEnable8), offsetof(Data, DIsVCP8) + 1);
}

// A chip record with a mixed pattern of options (valid values only, so it reads back the same).
std::vector<uint8_t> FullRecord(const MultiPortChip& chip) {
  std::vector<uint8_t> record = NewRecord(chip);
  auto* header = reinterpret_cast<FT_EEPROM_HEADER*>(record.data());
  header->SerNumEnable = 1;
  header->SelfPowered = 1;
  if (chip.deviceType == FT_DEVICE_2232C) {
    auto* r = reinterpret_cast<FT_EEPROM_2232*>(record.data());
    r->AIsHighCurrent = 1;
    r->AIsFifo = 1;
    r->BIsFifoTar = 1;
    r->BIsFastSer = 1;
    r->BDriverType = 1;
  } else if (chip.deviceType == FT_DEVICE_2232H) {
    auto* r = reinterpret_cast<FT_EEPROM_2232H*>(record.data());
    r->ALSchmittInput = 1;
    r->ALDriveCurrent = 8;
    r->AHSlowSlew = 1;
    r->AHDriveCurrent = 16;
    r->BLDriveCurrent = 12;
    r->BHDriveCurrent = 4;
    r->BHSchmittInput = 1;
    r->AIsFastSer = 1;
    r->BIsFifo = 1;
    r->PowerSaveEnable = 1;
    r->ADriverType = 1;
  } else {
    auto* r = reinterpret_cast<FT_EEPROM_4232H*>(record.data());
    r->ASlowSlew = 1;
    r->ADriveCurrent = 16;
    r->BDriveCurrent = 4;
    r->CSchmittInput = 1;
    r->CDriveCurrent = 8;
    r->DDriveCurrent = 12;
    r->ARIIsTXDEN = 1;
    r->DRIIsTXDEN = 1;
    r->BDriverType = 1;
    r->CDriverType = 1;
  }
  return record;
}

struct SizeCase {
  MultiPortChip chip;
  uint32_t eepromWords;
  uint16_t typeWord;
  uint32_t wordsWritten;
  uint32_t checksumByte;
  uint32_t stringsAt;       // where the manufacturer descriptor lands
  uint32_t userAreaBytes;   // with the test's texts
  uint32_t userAreaAt;      // first user-area byte
  uint32_t secondRegionAt;  // where it continues after 128 bytes; 0: one region
};

// TextBuffers of 5, 9 and 8 characters: descriptors of 12, 20 and 18 bytes.
const SizeCase SIZE_CASES[] = {
    {CHIP_2232, 64, 0x46, 64, 0x7E, 0x16, 50, 0x4C, 0},
    {CHIP_2232, 128, 0x56, 128, 0xFE, 0x96, 180, 0x16, 0xCA},
    {CHIP_2232, 256, 0x66, 128, 0xFE, 0x96, 180, 0x16, 0xCA},
    {CHIP_2232H, 64, 0x46, 64, 0x7E, 0x1A, 46, 0x50, 0},
    {CHIP_2232H, 128, 0x56, 128, 0xFE, 0x9A, 176, 0x1A, 0xCE},
    {CHIP_2232H, 256, 0x66, 128, 0xFE, 0x9A, 176, 0x1A, 0xCE},
    {CHIP_4232H, 64, 0x46, 64, 0x7E, 0x1A, 46, 0x50, 0},
    {CHIP_4232H, 128, 0x56, 128, 0xFE, 0x9A, 176, 0x1A, 0xCE},
    {CHIP_4232H, 256, 0x66, 128, 0xFE, 0x9A, 176, 0x1A, 0xCE},
};

std::string SizeCaseName(const ::testing::TestParamInfo<SizeCase>& info) {
  return std::string(info.param.chip.name) + "_" + std::to_string(info.param.eepromWords) + "Words";
}

class MultiPortSizes : public MultiPortTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(MultiPortSizes, EepromProgramLaysOutTheImageForTheProbedSize) {
  const SizeCase& c = GetParam();
  Plug(c.chip, c.eepromWords);
  std::vector<uint8_t> record = NewRecord(c.chip);
  ASSERT_EQ(Program(record), FT_OK);

  // Two probes, each an erase without input and the test word at 0xC0; then the image.
  const std::vector<sim::DeviceRequest> erases = SentTo(SLOT_ERASE);
  ASSERT_EQ(erases.size(), 2u);
  for (const sim::DeviceRequest& erase : erases) EXPECT_TRUE(erase.input.empty());
  std::vector<uint32_t> writes = {0xC0, 0xC0};
  for (uint32_t i = 0; i < c.wordsWritten; ++i) writes.push_back(i);
  EXPECT_EQ(WrittenIndexes(), writes);

  EXPECT_EQ(WordAtByte(0x02), 0x1234);
  EXPECT_EQ(WordAtByte(0x04), 0x5678);
  EXPECT_EQ(WordAtByte(0x06), c.chip.release);
  EXPECT_EQ(Byte(0x08), 0x80);
  EXPECT_EQ(Byte(0x09), 45);
  EXPECT_EQ(WordAtByte(c.chip.typeWordByte), c.typeWord);

  // The pointer bytes name the unmoved positions on every size.
  const uint32_t base = c.chip.stringBase;
  const std::vector<uint8_t> pointers = {static_cast<uint8_t>(0x80 | base),        12,
                                         static_cast<uint8_t>(0x80 | (base + 12)), 20,
                                         static_cast<uint8_t>(0x80 | (base + 32)), 18};
  for (uint32_t i = 0; i < pointers.size(); ++i) EXPECT_EQ(Byte(0x0E + i), pointers[i]) << i;
  EXPECT_EQ(TextAt(c.stringsAt), "Maker");
  EXPECT_EQ(TextAt(c.stringsAt + 12), "Dual port");
  EXPECT_EQ(TextAt(c.stringsAt + 32), "SN123456");

  // The empty descriptor and the zero PnP word go after the serial number; when the strings
  // moved, they land where the serial number was, and nothing else stays below 0x80.
  const bool moved = c.stringsAt != base;
  const uint32_t emptyAt = base + 32 + (moved ? 0 : 18);
  EXPECT_EQ(WordAtByte(emptyAt), 0x0302);
  EXPECT_EQ(WordAtByte(emptyAt + 2), 0x0000);
  if (moved) {
    for (uint32_t at = base; at < 0x80; at += 2) {
      if (at != emptyAt) {
        EXPECT_EQ(WordAtByte(at), 0) << "byte " << at;
      }
    }
  }
  EXPECT_EQ(WordAtByte(c.checksumByte), Checksum(Words(), c.checksumByte));
}

TEST_P(MultiPortSizes, EeProgramMovesTheStringsWithTheirTail) {
  const SizeCase& c = GetParam();
  Plug(c.chip, c.eepromWords);
  TextBuffers texts;
  FT_PROGRAM_DATA data = NewProgramData(texts);
  ASSERT_EQ(FT_EE_Program(handle_, &data), FT_OK);

  // The probe's erase and test word, then one more erase and the image.
  const std::vector<sim::DeviceRequest> erases = SentTo(SLOT_ERASE);
  ASSERT_EQ(erases.size(), 2u);
  for (const sim::DeviceRequest& erase : erases) EXPECT_TRUE(erase.input.empty());
  std::vector<uint32_t> writes = {0xC0};
  for (uint32_t i = 0; i < c.wordsWritten; ++i) writes.push_back(i);
  EXPECT_EQ(WrittenIndexes(), writes);

  EXPECT_EQ(WordAtByte(0x06), c.chip.release);
  EXPECT_EQ(WordAtByte(c.chip.typeWordByte), c.typeWord);
  EXPECT_EQ(TextAt(c.stringsAt), "Maker");
  EXPECT_EQ(TextAt(c.stringsAt + 12), "Dual port");
  EXPECT_EQ(TextAt(c.stringsAt + 32), "SN123456");
  // The empty descriptor and the PnP word (1: PnP off) were in place before the move.
  EXPECT_EQ(WordAtByte(c.stringsAt + 50), 0x0302);
  EXPECT_EQ(WordAtByte(c.stringsAt + 52), 0x0001);
  if (c.stringsAt != c.chip.stringBase) {
    for (uint32_t at = c.chip.stringBase; at < 0x80; at += 2) {
      EXPECT_EQ(WordAtByte(at), 0) << "byte " << at;
    }
  }
  EXPECT_EQ(WordAtByte(c.checksumByte), Checksum(Words(), c.checksumByte));
}

TEST_P(MultiPortSizes, UserAreaFillsItsRegionsAndRefusesOneByteMore) {
  const SizeCase& c = GetParam();
  Plug(c.chip, c.eepromWords);
  std::vector<uint8_t> record = NewRecord(c.chip);
  ASSERT_EQ(Program(record), FT_OK);

  DWORD size = 0;
  ASSERT_EQ(FT_EE_UASize(handle_, &size), FT_OK);
  ASSERT_EQ(size, c.userAreaBytes);
  std::vector<uint8_t> data(size);
  for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(0x31 + 7 * i);
  ASSERT_EQ(FT_EE_UAWrite(handle_, data.data(), size), FT_OK);

  const uint32_t firstBytes = c.secondRegionAt == 0 ? size : 128;
  for (uint32_t i = 0; i < size; ++i) {
    const uint32_t at = i < firstBytes ? c.userAreaAt + i : c.secondRegionAt + i - firstBytes;
    ASSERT_EQ(Byte(at), data[i]) << "user byte " << i << " at " << at;
  }
  EXPECT_EQ(WordAtByte(c.checksumByte), Checksum(Words(), c.checksumByte));

  std::vector<uint8_t> back(size + 16, 0);
  DWORD count = 0;
  ASSERT_EQ(FT_EE_UARead(handle_, back.data(), size + 16, &count), FT_OK);
  EXPECT_EQ(count, size);
  back.resize(size);
  EXPECT_EQ(back, data);
  TextBuffers texts;
  std::vector<uint8_t> readBack = NewRecord(c.chip);
  ASSERT_EQ(Read(readBack, texts), FT_OK);
  EXPECT_STREQ(texts.serialNumber, "SN123456");

  device_->ClearRequests();
  std::vector<uint8_t> tooLong(size + 1, 0x55);
  EXPECT_EQ(FT_EE_UAWrite(handle_, tooLong.data(), size + 1), FT_EEPROM_WRITE_FAILED);
  EXPECT_TRUE(SentTo(SLOT_ERASE).empty());
  EXPECT_TRUE(SentTo(SLOT_WRITE).empty());
}

TEST_P(MultiPortSizes, BothRecordKindsComeBackAsWritten) {
  const SizeCase& c = GetParam();
  Plug(c.chip, c.eepromWords);
  {
    SCOPED_TRACE("FT_EEPROM_Program, FT_EEPROM_Read");
    std::vector<uint8_t> record = FullRecord(c.chip);
    ASSERT_EQ(Program(record), FT_OK);
    std::vector<uint8_t> back = NewRecord(c.chip);
    TextBuffers texts;
    ASSERT_EQ(Read(back, texts), FT_OK);
    EXPECT_EQ(back, record);
    EXPECT_STREQ(texts.manufacturer, "Maker");
    EXPECT_STREQ(texts.manufacturerId, "SN");
    EXPECT_STREQ(texts.description, "Dual port");
    EXPECT_STREQ(texts.serialNumber, "SN123456");
  }

  using Block = std::vector<uint8_t> (*)(const FT_PROGRAM_DATA&);
  using LegacyBlock = std::vector<uint8_t> (*)(const FT_PROGRAM_DATA_LEGACY&);
  Block block = Block4232H<FT_PROGRAM_DATA>;
  LegacyBlock legacyBlock = Block4232H<FT_PROGRAM_DATA_LEGACY>;
  size_t legacyEnd = offsetof(FT_PROGRAM_DATA_LEGACY, DIsVCP8) + 1;
  TextBuffers texts;
  FT_PROGRAM_DATA data = NewProgramData(texts);
  FT_PROGRAM_DATA_LEGACY legacy;
  std::memset(&legacy, 0, sizeof legacy);
  if (c.chip.deviceType == FT_DEVICE_2232C) {
    Fill2232(data);
    Fill2232(legacy);
    block = Block2232<FT_PROGRAM_DATA>;
    legacyBlock = Block2232<FT_PROGRAM_DATA_LEGACY>;
    legacyEnd = offsetof(FT_PROGRAM_DATA_LEGACY, BIsVCP) + 1;
  } else if (c.chip.deviceType == FT_DEVICE_2232H) {
    Fill2232H(data);
    Fill2232H(legacy);
    block = Block2232H<FT_PROGRAM_DATA>;
    legacyBlock = Block2232H<FT_PROGRAM_DATA_LEGACY>;
    legacyEnd = offsetof(FT_PROGRAM_DATA_LEGACY, PowerSaveEnable) + 1;
  } else {
    Fill4232H(data);
    Fill4232H(legacy);
  }
  {
    SCOPED_TRACE("FT_EE_Program, FT_EE_Read");
    data.SelfPowered = 1;
    data.PnP = 1;
    ASSERT_EQ(FT_EE_Program(handle_, &data), FT_OK);
    TextBuffers backTexts;
    FT_PROGRAM_DATA back = ReadInto(backTexts);
    ASSERT_EQ(FT_EE_Read(handle_, &back), FT_OK);
    EXPECT_EQ(block(back), block(data));
    EXPECT_EQ(back.VendorId, 0x1234);
    EXPECT_EQ(back.ProductId, 0x5678);
    EXPECT_EQ(back.MaxPower, 90);
    EXPECT_EQ(back.SelfPowered, 1);
    EXPECT_EQ(back.RemoteWakeup, 0);
    EXPECT_EQ(back.PnP, 1);
    EXPECT_STREQ(backTexts.manufacturer, "Maker");
    EXPECT_STREQ(backTexts.manufacturerId, "SN");
    EXPECT_STREQ(backTexts.description, "Dual port");
    EXPECT_STREQ(backTexts.serialNumber, "SN123456");
  }
  {
    SCOPED_TRACE("older record layout");
    TextBuffers oldTexts;
    NewProgramData(oldTexts);
    legacy.VendorId = 0x4321;
    legacy.ProductId = 0x8765;
    legacy.MaxPower = 100;
    legacy.Manufacturer = oldTexts.manufacturer;
    legacy.ManufacturerId = oldTexts.manufacturerId;
    legacy.Description = oldTexts.description;
    legacy.SerialNumber = oldTexts.serialNumber;
    ASSERT_EQ(FT_EE_Program(handle_, reinterpret_cast<FT_PROGRAM_DATA*>(&legacy)), FT_OK);
    EXPECT_EQ(WordAtByte(0x02), 0x4321);

    // The read fills the chip's part of the older record and not a byte after it.
    FT_PROGRAM_DATA_LEGACY back;
    std::memset(&back, 0xEE, sizeof back);
    TextBuffers backTexts;
    back.Manufacturer = backTexts.manufacturer;
    back.ManufacturerId = backTexts.manufacturerId;
    back.Description = backTexts.description;
    back.SerialNumber = backTexts.serialNumber;
    ASSERT_EQ(FT_EE_Read(handle_, reinterpret_cast<FT_PROGRAM_DATA*>(&back)), FT_OK);
    EXPECT_EQ(back.VendorId, 0x4321);
    EXPECT_EQ(back.ProductId, 0x8765);
    EXPECT_EQ(back.MaxPower, 100);
    EXPECT_EQ(legacyBlock(back), legacyBlock(legacy));
    EXPECT_STREQ(backTexts.description, "Dual port");
    EXPECT_EQ(Bytes(back, legacyEnd, sizeof back),
              std::vector<uint8_t>(sizeof back - legacyEnd, 0xEE));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryChipAndSize, MultiPortSizes, ::testing::ValuesIn(SIZE_CASES),
                         SizeCaseName);

// FT_PROGRAM_DATA bytes [begin, end) from the first to the last named field.
#define DATA_RANGE(first, last)                                           \
  std::pair<size_t, size_t> {                                             \
    offsetof(FT_PROGRAM_DATA, first), offsetof(FT_PROGRAM_DATA, last) + 1 \
  }

// What FT_EE_Read clears of the blocks of other chips in the caller's record, and what it leaves.
struct ClearCase {
  MultiPortChip chip;
  std::vector<std::pair<size_t, size_t>> cleared;
  std::vector<std::pair<size_t, size_t>> kept;
};

const ClearCase CLEAR_CASES[] = {
    {CHIP_2232,
     {{offsetof(FT_PROGRAM_DATA, Rev4), offsetof(FT_PROGRAM_DATA, Rev5)}},
     {DATA_RANGE(UseExtOsc, RIsD2XX), DATA_RANGE(PullDownEnable7, PowerSaveEnable),
      DATA_RANGE(PullDownEnable8, DIsVCP8), DATA_RANGE(PullDownEnableH, PowerSaveEnableH)}},
    {CHIP_2232H,
     {DATA_RANGE(Rev4, RIsD2XX)},
     {DATA_RANGE(PullDownEnable8, DIsVCP8), DATA_RANGE(PullDownEnableH, PowerSaveEnableH)}},
    {CHIP_4232H,
     {DATA_RANGE(Rev4, RIsD2XX), DATA_RANGE(ALSlowSlew, BIsVCP7)},
     {DATA_RANGE(PullDownEnable7, SerNumEnable7), DATA_RANGE(PowerSaveEnable, PowerSaveEnable),
      DATA_RANGE(PullDownEnableH, PowerSaveEnableH)}},
};

class MultiPortClears : public MultiPortTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(MultiPortClears, EeReadClearsTheBlocksOfSomeOtherChipsOnly) {
  const ClearCase& c = GetParam();
  Plug(c.chip, 64);
  std::vector<uint8_t> record = NewRecord(c.chip);
  ASSERT_EQ(Program(record), FT_OK);

  FT_PROGRAM_DATA data;
  std::memset(&data, 0x5A, sizeof data);
  TextBuffers texts;
  const FT_PROGRAM_DATA pointers = ReadInto(texts);
  std::memcpy(&data, &pointers, offsetof(FT_PROGRAM_DATA, MaxPower));
  ASSERT_EQ(FT_EE_Read(handle_, &data), FT_OK);
  for (const auto& [begin, end] : c.cleared) {
    EXPECT_EQ(Bytes(data, begin, end), std::vector<uint8_t>(end - begin, 0)) << "at " << begin;
  }
  for (const auto& [begin, end] : c.kept) {
    EXPECT_EQ(Bytes(data, begin, end), std::vector<uint8_t>(end - begin, 0x5A)) << "at " << begin;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryChip, MultiPortClears, ::testing::ValuesIn(CLEAR_CASES),
                         [](const ::testing::TestParamInfo<ClearCase>& info) {
                           return std::string(info.param.chip.name);
                         });

// Calls refused for their arguments leave the device untouched, on small and large EEPROMs.
struct GuardCase {
  MultiPortChip chip;
  uint32_t eepromWords;
};

const GuardCase GUARD_CASES[] = {
    {CHIP_2232, 64},   {CHIP_2232, 128}, {CHIP_2232H, 64},
    {CHIP_2232H, 256}, {CHIP_4232H, 64}, {CHIP_4232H, 128},
};

class MultiPortGuards : public MultiPortTest, public ::testing::WithParamInterface<GuardCase> {
 protected:
  void ExpectUntouched(FT_STATUS status, FT_STATUS expected, const char* what) {
    EXPECT_EQ(status, expected) << what;
    EXPECT_TRUE(device_->Requests().empty()) << what;
    device_->ClearRequests();
  }
};

TEST_P(MultiPortGuards, TextsMustFitTheUnmovedStringAreaOnEverySize) {
  const GuardCase& c = GetParam();
  Plug(c.chip, c.eepromWords);
  // Three descriptors and the empty one end at or before byte 124, counted from the string base
  // of a 64-word image; "D" and "S" take 4 bytes each.
  const size_t limit = (124 - c.chip.stringBase - 2) / 2 - 3;
  const std::string fits(limit - 2, 'm');
  const std::string over(limit - 1, 'm');

  std::vector<uint8_t> record = NewRecord(c.chip);
  ExpectUntouched(Program(record, over.c_str(), "D", "S"), FT_INVALID_PARAMETER,
                  "FT_EEPROM_Program, one character over");
  TextBuffers texts;
  FT_PROGRAM_DATA data = NewProgramData(texts);
  std::string manufacturer = over;
  data.Manufacturer = manufacturer.data();
  std::strcpy(texts.description, "D");
  std::strcpy(texts.serialNumber, "S");
  ExpectUntouched(FT_EE_Program(handle_, &data), FT_OTHER_ERROR, "FT_EE_Program, one over");

  ASSERT_EQ(Program(record, fits.c_str(), "D", "S"), FT_OK);
  TextBuffers back;
  std::vector<uint8_t> readBack = NewRecord(c.chip);
  ASSERT_EQ(Read(readBack, back), FT_OK);
  EXPECT_EQ(back.manufacturer, fits);
  EXPECT_STREQ(back.serialNumber, "S");

  manufacturer = fits;
  data.Manufacturer = manufacturer.data();
  ASSERT_EQ(FT_EE_Program(handle_, &data), FT_OK);
  FT_PROGRAM_DATA backData = ReadInto(back);
  ASSERT_EQ(FT_EE_Read(handle_, &backData), FT_OK);
  EXPECT_EQ(back.manufacturer, fits);
  EXPECT_STREQ(back.description, "D");
}

TEST_P(MultiPortGuards, BadRecordsAreRefusedBeforeTheProbeErases) {
  const GuardCase& c = GetParam();
  Plug(c.chip, c.eepromWords);
  TextBuffers texts;
  FT_PROGRAM_DATA data = NewProgramData(texts);
  data.VendorId = 0;
  ExpectUntouched(FT_EE_Program(handle_, &data), FT_INVALID_PARAMETER, "VendorId 0");
  data.VendorId = 0x1234;
  data.ProductId = 0;
  ExpectUntouched(FT_EE_Program(handle_, &data), FT_INVALID_PARAMETER, "ProductId 0");

  std::vector<uint8_t> record = NewRecord(c.chip);
  ExpectUntouched(
      FT_EEPROM_Program(handle_, record.data(), c.chip.recordSize - 1, "M", "AB", "D", "S"),
      FT_INVALID_PARAMETER, "record one byte short");
  reinterpret_cast<FT_EEPROM_HEADER*>(record.data())->VendorId = 0;
  ExpectUntouched(Program(record), FT_INVALID_PARAMETER, "record with VendorId 0");
}

INSTANTIATE_TEST_SUITE_P(SmallAndLarge, MultiPortGuards, ::testing::ValuesIn(GUARD_CASES),
                         [](const ::testing::TestParamInfo<GuardCase>& info) {
                           return std::string(info.param.chip.name) + "_" +
                                  std::to_string(info.param.eepromWords) + "Words";
                         });

// EEPROMs that cannot hold an image: none fitted, blank, or writes that do not stick.
struct FaultCase {
  MultiPortChip chip;
  uint32_t eepromWords;
  bool writesStick;
  FT_STATUS readStatus;
  FT_STATUS programStatus;
};

const FaultCase FAULT_CASES[] = {
    {CHIP_2232, 0, true, FT_EEPROM_NOT_PRESENT, FT_EEPROM_WRITE_FAILED},
    {CHIP_2232, 128, true, FT_EEPROM_NOT_PROGRAMMED, FT_OK},
    {CHIP_2232, 128, false, FT_EEPROM_NOT_PROGRAMMED, FT_EEPROM_WRITE_FAILED},
    {CHIP_2232H, 0, true, FT_EEPROM_NOT_PRESENT, FT_EEPROM_WRITE_FAILED},
    {CHIP_2232H, 256, true, FT_EEPROM_NOT_PROGRAMMED, FT_OK},
    {CHIP_2232H, 256, false, FT_EEPROM_NOT_PROGRAMMED, FT_EEPROM_WRITE_FAILED},
    {CHIP_4232H, 0, true, FT_EEPROM_NOT_PRESENT, FT_EEPROM_WRITE_FAILED},
    {CHIP_4232H, 64, true, FT_EEPROM_NOT_PROGRAMMED, FT_OK},
    {CHIP_4232H, 64, false, FT_EEPROM_NOT_PROGRAMMED, FT_EEPROM_WRITE_FAILED},
};

class MultiPortFaults : public MultiPortTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(MultiPortFaults, ReadsAndProgramsReportTheEeprom) {
  const FaultCase& c = GetParam();
  Plug(c.chip, c.eepromWords, c.writesStick);
  std::vector<uint8_t> record = NewRecord(c.chip);
  TextBuffers texts;
  EXPECT_EQ(Read(record, texts), c.readStatus);
  FT_PROGRAM_DATA data = ReadInto(texts);
  EXPECT_EQ(FT_EE_Read(handle_, &data), c.readStatus);
  if (c.readStatus == FT_EEPROM_NOT_PROGRAMMED) {
    // All 0xFFFF: the serial pointer names byte 0x7F and the lengths read as -1.
    DWORD size = 0xFFFF;
    EXPECT_EQ(FT_EE_UASize(handle_, &size), FT_OK);
    EXPECT_EQ(size, 0u);
  }

  EXPECT_EQ(Program(record), c.programStatus);
  if (c.programStatus != FT_OK) {
    // The failed image left nothing a read would take for a configuration.
    EXPECT_EQ(Read(record, texts), c.readStatus);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryChip, MultiPortFaults, ::testing::ValuesIn(FAULT_CASES),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.chip.name) + "_" +
                                  std::to_string(info.param.eepromWords) + "Words" +
                                  (info.param.writesStick ? "" : "_WritesDropped");
                         });

}  // namespace
}  // namespace ralvex::eeprom_test
