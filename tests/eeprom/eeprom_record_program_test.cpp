// FT_EEPROM_Program and FT_EEPROM_Read against bench devices of the single-port families: what
// lands in the device's EEPROM word by word, what is sent, and what comes back.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/eeprom/eeprom_fixture.h"

namespace ralvex::eeprom_test {
namespace {

using sim::ChipFamily;
using enum sim::ChipFamily;

FT_EEPROM_HEADER Header(FT_DEVICE type) {
  FT_EEPROM_HEADER header{};
  header.deviceType = type;
  header.VendorId = 0x1209;
  header.ProductId = 0x7A31;
  header.SerNumEnable = 1;
  header.MaxPower = 300;
  header.SelfPowered = 1;
  header.RemoteWakeup = 0;
  header.PullDownEnable = 1;
  return header;
}

FT_EEPROM_232B Record232B() {
  return FT_EEPROM_232B{Header(FT_DEVICE_BM)};
}

FT_EEPROM_232R Record232R() {
  FT_EEPROM_232R r{};
  r.common = Header(FT_DEVICE_232R);
  r.HighDriveIOs = 1;
  r.InvertRXD = 1;
  r.InvertRI = 1;
  r.Cbus0 = 1;
  r.Cbus1 = 2;
  r.Cbus2 = 3;
  r.Cbus3 = 10;
  r.Cbus4 = 12;
  r.RIsD2XX = 1;
  return r;
}

FT_EEPROM_232H Record232H() {
  FT_EEPROM_232H r{};
  r.common = Header(FT_DEVICE_232H);
  r.ACDriveCurrent = 8;
  r.ACSchmittInput = 1;
  r.ADDriveCurrent = 16;
  r.ADSlowSlew = 1;
  for (UCHAR i = 0; i < 10; ++i) (&r.Cbus0)[i] = i;
  r.FT1248Lsb = 1;
  r.IsFastSer = 1;
  r.PowerSaveEnable = 1;
  r.DriverType = 1;
  return r;
}

FT_EEPROM_X_SERIES RecordX() {
  FT_EEPROM_X_SERIES r{};
  r.common = Header(FT_DEVICE_X_SERIES);
  r.ACDriveCurrent = 12;
  r.ADDriveCurrent = 4;
  r.ADSchmittInput = 1;
  for (UCHAR i = 0; i < 7; ++i) (&r.Cbus0)[i] = static_cast<UCHAR>(15 + i);
  r.InvertCTS = 1;
  r.BCDEnable = 1;
  r.BCDDisableSleep = 1;
  r.I2CSlaveAddress = 0x1234;
  r.I2CDeviceId = 0xAB563412;
  r.I2CDisableSchmitt = 1;
  r.FT1248Cpol = 1;
  r.RS485EchoSuppress = 1;
  r.DriverType = 1;
  return r;
}

struct Placed {
  uint32_t at;
  uint8_t value;
};

struct ChipCase {
  const char* name;
  ChipFamily chip;
  uint32_t words;
  std::function<std::vector<uint8_t>()> record;
  uint16_t release;
  uint32_t stringsAt;   // where the descriptors physically are
  uint8_t pointerBase;  // byte 0x0E
  uint32_t checksumAt;
  uint32_t skipFirst, skipEnd;  // words outside the checksum
  size_t wordWrites;
  size_t erases;
  std::vector<Placed> chipBytes;
};

template <typename Record>
std::function<std::vector<uint8_t>()> Bytes(Record (*make)()) {
  return [make] {
    const Record r = make();
    std::vector<uint8_t> bytes(sizeof r);
    std::memcpy(bytes.data(), &r, sizeof r);
    return bytes;
  };
}

// The record bytes with the padding the compiler leaves undefined set to 0.
std::vector<uint8_t> WithoutPadding(std::vector<uint8_t> record) {
  for (size_t at : {size_t{9}, size_t{11}, size_t{15}}) record[at] = 0;
  if (record.size() == sizeof(FT_EEPROM_232H)) {
    for (size_t at = offsetof(FT_EEPROM_232H, DriverType) + 1; at < record.size(); ++at) {
      record[at] = 0;
    }
  }
  if (record.size() == sizeof(FT_EEPROM_X_SERIES)) {
    record[42] = record[43] = record[55] = 0;
  }
  return record;
}

std::vector<ChipCase> Cases() {
  return {
      {"232B",
       CHIP_BM,
       64,
       Bytes(Record232B),
       0x0400,
       0x14,
       0x94,
       0x7E,
       0,
       0,
       64,
       1,
       {{0x0C, 0x00}, {0x0D, 0x02}}},
      // Bit 1 HighDriveIOs, bit 3 clear (RIsD2XX set), endpoint size 0x40.
      {"232R",
       CHIP_232R,
       64,
       Bytes(Record232R),
       0x0600,
       0x18,
       0x98,
       0x7E,
       0,
       0,
       64,
       1,
       {{0x00, 0x02},
        {0x01, 0x40},
        {0x0B, 0x82},
        {0x0C, 0x00},
        {0x0D, 0x02},
        {0x14, 0x21},
        {0x15, 0xA3},
        {0x16, 0x0C}}},
      // A 128-word part: strings moved from 0x20 to 0xA0, two probes (erase + test word each).
      {"232H 128 words",
       CHIP_232H,
       128,
       Bytes(Record232H),
       0x0900,
       0xA0,
       0xA0,
       0xFE,
       0,
       0,
       128 + 2,
       2,
       {{0x00, 0x14},
        {0x01, 0x82},
        {0x0C, 0x79},
        {0x18, 0x10},
        {0x19, 0x32},
        {0x1C, 0x98},
        {0x1E, 0x56},
        {0x1F, 0x00},
        {0x8A, 0x48}}},
      {"232H 256 words",
       CHIP_232H,
       256,
       Bytes(Record232H),
       0x0900,
       0xA0,
       0xA0,
       0xFE,
       0,
       0,
       128 + 2,
       2,
       {{0x1E, 0x66}, {0x1F, 0x00}}},
      {"X series",
       CHIP_X_SERIES,
       1024,
       Bytes(RecordX),
       0x1000,
       0xA0,
       0xA0,
       0xFE,
       0x12,
       0x40,
       1024,
       1,
       {{0x00, 0x8D},
        {0x0A, 0x9C},
        {0x0B, 0x08},
        {0x0C, 0x28},
        {0x14, 0x34},
        {0x15, 0x12},
        {0x16, 0x12},
        {0x17, 0x34},
        {0x18, 0x56},
        {0x19, 0x00},
        {0x1A, 15},
        {0x20, 21}}},
  };
}

class RecordProgramTest : public EepromTest {};

TEST_F(RecordProgramTest, EveryChipLeavesItsLayoutOnTheDevice) {
  for (const ChipCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    Plug(c.chip, c.words);
    std::vector<uint8_t> record = c.record();
    const Texts t;
    ASSERT_EQ(FT_EEPROM_Program(handle_, record.data(), static_cast<DWORD>(record.size()),
                                t.manufacturer.c_str(), t.manufacturerId.c_str(),
                                t.description.c_str(), t.serial.c_str()),
              FT_OK);
    const auto w = Words();
    EXPECT_EQ(w[1], 0x1209);
    EXPECT_EQ(w[2], 0x7A31);
    EXPECT_EQ(w[3], c.release);
    EXPECT_EQ(ByteOf(w, 0x08), 0xC0) << "self-powered";
    EXPECT_EQ(ByteOf(w, 0x09), 150) << "300 mA";
    EXPECT_EQ(ByteOf(w, 0x0A) & 0x0C, 0x0C) << "serial number and pull-down enable";
    // Pointer bytes and descriptors, in order, each right after the one before.
    const uint8_t lengths[3] = {static_cast<uint8_t>(2 + 2 * t.manufacturer.size()),
                                static_cast<uint8_t>(2 + 2 * t.description.size()),
                                static_cast<uint8_t>(2 + 2 * t.serial.size())};
    EXPECT_EQ(ByteOf(w, 0x0E), c.pointerBase);
    EXPECT_EQ(ByteOf(w, 0x10), static_cast<uint8_t>(c.pointerBase + lengths[0]));
    EXPECT_EQ(ByteOf(w, 0x12), static_cast<uint8_t>(c.pointerBase + lengths[0] + lengths[1]));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ByteOf(w, 0x0F + 2 * i), lengths[i]);
    EXPECT_EQ(DescriptorAt(w, c.stringsAt), t.manufacturer);
    EXPECT_EQ(DescriptorAt(w, c.stringsAt + lengths[0]), t.description);
    EXPECT_EQ(DescriptorAt(w, c.stringsAt + lengths[0] + lengths[1]), t.serial);
    EXPECT_EQ(w[c.checksumAt / 2], Checksum(w, c.checksumAt, c.skipFirst, c.skipEnd));
    for (const Placed& p : c.chipBytes) {
      EXPECT_EQ(ByteOf(w, p.at), p.value) << "byte 0x" << std::hex << p.at;
    }
    // Programming erases without the erase key; every word goes out once (plus probe words).
    const auto erases = SentTo(SLOT_ERASE);
    EXPECT_EQ(erases.size(), c.erases);
    for (const auto& e : erases) EXPECT_TRUE(e.input.empty());
    EXPECT_EQ(SentTo(SLOT_WRITE).size(), c.wordWrites);

    // And back through the chip record.
    std::vector<uint8_t> back(record.size(), 0);
    std::memcpy(back.data(), record.data(), sizeof(FT_DEVICE));
    char m[64], id[64], d[64], s[64];
    ASSERT_EQ(FT_EEPROM_Read(handle_, back.data(), static_cast<DWORD>(back.size()), m, id, d, s),
              FT_OK);
    if (c.chip == CHIP_X_SERIES) {
      // The device ID keeps 24 bits.
      reinterpret_cast<FT_EEPROM_X_SERIES*>(record.data())->I2CDeviceId &= 0xFFFFFF;
    }
    EXPECT_EQ(WithoutPadding(back), WithoutPadding(record));
    EXPECT_STREQ(m, t.manufacturer.c_str());
    EXPECT_STREQ(id, "RX");
    EXPECT_STREQ(d, t.description.c_str());
    EXPECT_STREQ(s, t.serial.c_str());
  }
}

TEST_F(RecordProgramTest, RangeChecksAndBadArgumentsLeaveTheDeviceUntouched) {
  const Texts t;
  const std::string tooLong(40, 'x');  // three of these cannot fit below byte 124
  struct Case {
    const char* what;
    ChipFamily chip;
    std::function<void(std::vector<uint8_t>&)> change;
    int sizeDelta = 0;
    const char* manufacturer = nullptr;
    FT_STATUS expected = FT_INVALID_PARAMETER;
  };
  const Case cases[] = {
      {"232R Cbus4 13", CHIP_232R,
       [](auto& r) { reinterpret_cast<FT_EEPROM_232R*>(r.data())->Cbus4 = 13; }},
      {"232H Cbus9 13", CHIP_232H,
       [](auto& r) { reinterpret_cast<FT_EEPROM_232H*>(r.data())->Cbus9 = 13; }},
      {"X Cbus6 22", CHIP_X_SERIES,
       [](auto& r) { reinterpret_cast<FT_EEPROM_X_SERIES*>(r.data())->Cbus6 = 22; }},
      {"X Cbus6 21", CHIP_X_SERIES,
       [](auto& r) { reinterpret_cast<FT_EEPROM_X_SERIES*>(r.data())->Cbus6 = 21; }, 0, nullptr,
       FT_OK},
      {"size one byte short", CHIP_232R, [](auto&) {}, -1},
      {"size one byte long", CHIP_232H, [](auto&) {}, +1},
      {"VendorId 0", CHIP_232H,
       [](auto& r) { reinterpret_cast<FT_EEPROM_HEADER*>(r.data())->VendorId = 0; }},
      {"another chip's type", CHIP_232H,
       [](auto& r) { reinterpret_cast<FT_EEPROM_HEADER*>(r.data())->deviceType = FT_DEVICE_BM; }},
      {"strings past byte 124", CHIP_232H, [](auto&) {}, 0, tooLong.c_str()},
      {"strings past 0xFD on the X series", CHIP_X_SERIES, [](auto&) {}, 0, tooLong.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Plug(c.chip);
    std::vector<uint8_t> record;
    if (c.chip == CHIP_232R) record = Bytes(Record232R)();
    if (c.chip == CHIP_232H) record = Bytes(Record232H)();
    if (c.chip == CHIP_X_SERIES) record = Bytes(RecordX)();
    c.change(record);
    record.resize(record.size() + 4);
    const auto before = Words();
    EXPECT_EQ(FT_EEPROM_Program(
                  handle_, record.data(), static_cast<DWORD>(record.size() - 4 + c.sizeDelta),
                  c.manufacturer ? c.manufacturer : t.manufacturer.c_str(),
                  t.manufacturerId.c_str(), c.manufacturer ? c.manufacturer : t.description.c_str(),
                  c.manufacturer ? c.manufacturer : t.serial.c_str()),
              c.expected);
    if (c.expected != FT_OK) {
      EXPECT_FALSE(EepromTouched());
      EXPECT_EQ(Words(), before);
    }
  }
  Plug(CHIP_232R);
  auto record = Bytes(Record232R)();
  EXPECT_EQ(FT_EEPROM_Program(handle_, record.data(), 32, nullptr, "RX", "D", nullptr),
            FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_EEPROM_Program(handle_, nullptr, 32, "M", "RX", "D", nullptr), FT_INVALID_PARAMETER);
  char text[64];
  EXPECT_EQ(FT_EEPROM_Read(handle_, record.data(), 32, text, text, nullptr, text),
            FT_INVALID_PARAMETER);
  EXPECT_TRUE(device_->Requests().empty());
}

TEST_F(RecordProgramTest, ReadsOfBlankAndMissingEepromsSayWhy) {
  const struct {
    std::optional<uint32_t> words;
    FT_STATUS expected;
  } cases[] = {{64, FT_EEPROM_NOT_PROGRAMMED}, {0, FT_EEPROM_NOT_PRESENT}};
  for (const auto& c : cases) {
    Plug(CHIP_232R, c.words);
    FT_EEPROM_232R record{};
    record.common.deviceType = FT_DEVICE_232R;
    FT_PROGRAM_DATA data{};
    data.Signature2 = 0xFFFFFFFF;
    char m[64], id[64], d[64], s[64];
    EXPECT_EQ(FT_EEPROM_Read(handle_, &record, sizeof record, m, id, d, s), c.expected);
    EXPECT_EQ(FT_EE_Read(handle_, &data), c.expected);
  }
}

TEST_F(RecordProgramTest, HostileImagesReadWithinTheirBuffers) {
  // Pointer and length bytes of 0x80 and more, and descriptors reaching past the 64 words.
  for (const uint16_t fill : {0x8080, 0xFFFE, 0x7F7F, 0x4141}) {
    SCOPED_TRACE(fill);
    Plug(CHIP_BM, 64, std::vector<uint16_t>(64, fill));
    struct Guarded {
      char text[64];
      char guard[16];
    } buffers[4];
    for (auto& b : buffers) std::memset(&b, '#', sizeof b);
    FT_PROGRAM_DATA data{};
    data.Signature2 = 0xFFFFFFFF;
    data.Manufacturer = buffers[0].text;
    data.ManufacturerId = buffers[1].text;
    data.Description = buffers[2].text;
    data.SerialNumber = buffers[3].text;
    EXPECT_EQ(FT_EE_Read(handle_, &data), FT_OK);
    FT_EEPROM_232B record{};
    record.common.deviceType = FT_DEVICE_BM;
    EXPECT_EQ(FT_EEPROM_Read(handle_, &record, sizeof record, buffers[0].text, buffers[1].text,
                             buffers[2].text, buffers[3].text),
              FT_OK);
    for (const auto& b : buffers) {
      EXPECT_LT(strnlen(b.text, sizeof b.text), sizeof b.text);
      EXPECT_EQ(std::string(b.guard, sizeof b.guard), std::string(sizeof b.guard, '#'));
    }
    DWORD size = 0;
    EXPECT_EQ(FT_EE_UASize(handle_, &size), FT_OK);
    EXPECT_LT(size, 128u);
    std::vector<uint8_t> user(256, 0);
    DWORD count = 0;
    EXPECT_EQ(FT_EE_UARead(handle_, user.data(), static_cast<DWORD>(user.size()), &count), FT_OK);
    EXPECT_EQ(count, size);
  }
}

TEST_F(RecordProgramTest, XSeriesKeepsItsUserAreaAndPlacesShortStringsAtA0) {
  Plug(CHIP_X_SERIES);
  std::vector<uint8_t> user(1884);
  for (size_t i = 0; i < user.size(); ++i) user[i] = static_cast<uint8_t>(i * 7 + 1);
  // A programmed image first, so the user area has somewhere to live.
  auto record = RecordX();
  ASSERT_EQ(FT_EEPROM_Program(handle_, &record, sizeof record, "AB", "AB", "D", "S"), FT_OK);
  ASSERT_EQ(FT_EE_UAWrite(handle_, user.data(), static_cast<DWORD>(user.size())), FT_OK);
  auto w = Words();
  EXPECT_EQ(ByteOf(w, 0x24), user[0]);
  EXPECT_EQ(ByteOf(w, 0x7F), user[91]);
  EXPECT_EQ(ByteOf(w, 0x100), user[92]);
  EXPECT_EQ(ByteOf(w, 0x7FF), user[1883]);

  device_->ClearRequests();
  record.Cbus0 = 3;
  ASSERT_EQ(FT_EEPROM_Program(handle_, &record, sizeof record, "AB", "AB", "Desc", "S1"), FT_OK);
  EXPECT_EQ(SentTo(SLOT_READ).size(), 958u + 1024u) << "preserving reads, then the verify";
  w = Words();
  EXPECT_EQ(ByteOf(w, 0x0E), 0xA0);
  EXPECT_EQ(ByteOf(w, 0x0F), 6);
  EXPECT_EQ(ByteOf(w, 0x10), 0xA6);
  const uint8_t descriptor[6] = {0x06, 0x03, 0x41, 0x00, 0x42, 0x00};
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(ByteOf(w, 0xA0 + i), descriptor[i]) << i;
  EXPECT_EQ(ByteOf(w, 0x1A), 3);
  std::vector<uint8_t> back(user.size());
  DWORD count = 0;
  ASSERT_EQ(FT_EE_UARead(handle_, back.data(), static_cast<DWORD>(back.size()), &count), FT_OK);
  EXPECT_EQ(count, user.size());
  EXPECT_EQ(back, user);
}

TEST_F(RecordProgramTest, ModePrecedenceAndUnknownDriveCurrentOn232H) {
  Plug(CHIP_232H);
  FT_EEPROM_232H record = Record232H();
  record.IsFifo = 1;
  record.IsFastSer = 1;
  record.ACDriveCurrent = 6;
  record.DriverType = 2;  // only 1 selects the driver bit
  ASSERT_EQ(FT_EEPROM_Program(handle_, &record, sizeof record, "M", "RX", "D", "S"), FT_OK);
  EXPECT_EQ(Byte(0x00), 0x01);
  EXPECT_EQ(Byte(0x0C) & 0x03, 0x00);
  FT_EEPROM_232H back{};
  back.common.deviceType = FT_DEVICE_232H;
  char m[64], id[64], d[64], s[64];
  ASSERT_EQ(FT_EEPROM_Read(handle_, &back, sizeof back, m, id, d, s), FT_OK);
  EXPECT_EQ(back.IsFifo, 1);
  EXPECT_EQ(back.IsFastSer, 0);
  EXPECT_EQ(back.ACDriveCurrent, 4);
  EXPECT_EQ(back.DriverType, 0);
}

TEST_F(RecordProgramTest, WritesThatDoNotStickFailAndPutTheLatencyBack) {
  sim::BridgeDeviceConfig config = Config(CHIP_232R);
  config.eepromWritesStick = false;
  Plug(config);
  ASSERT_EQ(FT_SetLatencyTimer(handle_, 7), FT_OK);
  auto record = Record232R();
  EXPECT_EQ(FT_EEPROM_Program(handle_, &record, sizeof record, "M", "RX", "D", "S"),
            FT_EEPROM_WRITE_FAILED);
  EXPECT_EQ(device_->LineState().latencyTimer, 7);
  FT_PROGRAM_DATA data{};
  data.Signature2 = 0xFFFFFFFF;
  data.VendorId = 0x1209;
  data.ProductId = 0x7A31;
  char m[] = "M", id[] = "RX", d[] = "D";
  data.Manufacturer = m;
  data.ManufacturerId = id;
  data.Description = d;
  device_->ClearRequests();
  EXPECT_EQ(FT_EE_Program(handle_, &data), FT_EEPROM_WRITE_FAILED);
  EXPECT_EQ(device_->LineState().latencyTimer, 7);
  // Raised to 119 for the writes, then put back.
  const auto latency = SentTo(SLOT_SET_LATENCY);
  ASSERT_EQ(latency.size(), 2u);
  EXPECT_EQ(latency[0].input, std::vector<uint8_t>{119});
  EXPECT_EQ(latency[1].input, std::vector<uint8_t>{7});
}

}  // namespace
}  // namespace ralvex::eeprom_test
