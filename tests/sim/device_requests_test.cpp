// The request side of the simulated bridge device: which codes it serves, and the payloads of
// the identity, device-information, line-setting and register requests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"
#include "tests/sim/device_test_support.h"

namespace ralvex::sim {
namespace {

using devside::AlternateRequestCode;
using devside::PrimaryRequestCode;
using devside::REQUEST_SLOT_COUNT;

using testing::Call;
using testing::CallSlot;
using testing::Le32;
using testing::MakeConfig;
using testing::OpenOrDie;
using testing::ReadLe16;
using testing::ReadLe32;

struct SlotCase {
  uint32_t slot;
  std::vector<uint8_t> in;
  uint32_t out;
  uint32_t returned;
};

// Every slot the driver serves, with the buffer lengths the access layer sends and a payload
// the device accepts. Cycle port and the two event waits have their own tests.
std::vector<SlotCase> ServedSlots() {
  std::vector<uint8_t> dcb(28, 0);
  dcb[0] = 28;
  std::memcpy(dcb.data() + 4, Le32(115200).data(), 4);
  dcb[18] = 8;
  std::vector<uint8_t> vendorShort(132, 0);
  vendorShort[2] = 2;
  std::vector<uint8_t> vendorLong(134, 0);
  vendorLong[4] = 2;
  std::vector<uint8_t> timeouts20(20, 0);
  return {
      {0, {}, 0, 0},
      {1, {}, 0, 0},
      {2, {}, 0, 0},
      {3, {}, 0, 0},
      {32, Le32(5), 2, 2},
      {33, {5, 0, 0x34, 0x12}, 0, 0},
      {33, {5, 0, 0x34, 0x12}, 4, 0},
      {34, Le32(0xADEE0BAD), 0, 0},
      {34, {}, 0, 0},
      {35, std::vector<uint8_t>(12, 1), 0, 0},
      {36, Le32(0), 4, 4},
      {37, std::vector<uint8_t>(12, 0), 12, 12},
      {38, {0x1A, 0x00}, 0, 0},
      {39, std::vector<uint8_t>(64, 0), 64, 8},
      {40, std::vector<uint8_t>(64, 0), 64, 17},
      {41, std::vector<uint8_t>(64, 0), 64, 4},
      {41, Le32(0), 4, 4},
      {65, Le32(115200), 0, 0},
      {67, {0, 0, 8}, 0, 0},
      {68, {}, 0, 0},
      {69, {}, 0, 0},
      {71, {0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0}, 0, 0},
      {71, timeouts20, 0, 0},
      {72, {}, 20, 20},
      {73, {}, 0, 0},
      {74, {}, 0, 0},
      {76, {}, 0, 0},
      {77, {}, 0, 0},
      {81, Le32(1), 0, 0},
      {83, Le32(3), 0, 0},
      {86, {}, 0, 0},
      {87, {0x7E, 1, 0x3F, 0}, 0, 0},
      {89, {0x00, 0x01, 0x11, 0x13}, 0, 0},
      {90, Le32(0), 4, 4},
      {90, {}, 4, 4},
      {91, Le32(0), 4, 4},
      {92, {2}, 0, 0},
      {93, {}, 1, 1},
      {94, {0xFF, 0x01}, 0, 0},
      {95, {}, 1, 1},
      {96, {0, 0x10, 0, 0, 0, 0x10, 0, 0}, 0, 0},
      {97, Le32(1), 0, 0},
      {99, std::vector<uint8_t>(16, 0), 16, 16},
      {100, dcb, 0, 0},
      {101, dcb, 28, 28},
      {102, std::vector<uint8_t>(96, 0), 96, 96},
      {103, {}, 0, 0},
      {104, {}, 0, 0},
      {105, Le32(100), 0, 0},
      {106, {}, 0, 0},
      {107, Le32(10000), 0, 0},
      {108, {}, 0, 0},
      {109, {}, 0, 0},
      {110, {}, 0, 0},
      {111, {}, 4, 4},
      {112, {}, 4, 4},
      {113, {}, 2, 2},
      {114, {}, 4, 4},
      {115, {0x10}, 1, 1},
      {116, {0x10, 0x55}, 0, 0},
      {117, {0x10}, 2, 2},
      {118, Le32(0), 4, 4},
      {119, {}, 0, 0},
      {120, {}, 0, 0},
      {121, vendorShort, 132, 132},
      {122, vendorShort, 0, 0},
      {123, vendorLong, 134, 134},
      {124, vendorLong, 0, 0},
  };
}

class DeviceRequestTable : public ::testing::TestWithParam<bool> {};

TEST_P(DeviceRequestTable, EveryServedSlotAnswersWithItsReplyLength) {
  bool alternate = GetParam();
  BridgeDeviceConfig config = MakeConfig(CHIP_232H, "KORA0001");
  config.description = "Tester Bridge 01A";
  config.alternateRequests = alternate;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  for (const SlotCase& c : ServedSlots()) {
    uint32_t code = alternate ? AlternateRequestCode(c.slot) : PrimaryRequestCode(c.slot);
    testing::Reply reply = Call(*file, code, c.in, c.out);
    EXPECT_EQ(reply.error, 0u) << "slot " << c.slot;
    EXPECT_EQ(reply.returned, c.returned) << "slot " << c.slot;
  }
}

TEST_P(DeviceRequestTable, CodesOfTheOtherTableAndInvalidSlotsAreRefused) {
  bool alternate = GetParam();
  BridgeDeviceConfig config = MakeConfig();
  config.alternateRequests = alternate;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  for (uint32_t slot = 0; slot < REQUEST_SLOT_COUNT; ++slot) {
    uint32_t other = alternate ? PrimaryRequestCode(slot) : AlternateRequestCode(slot);
    EXPECT_EQ(Call(*file, other, {}, 0).error, ERROR_INVALID_FUNCTION) << "slot " << slot;
    if (!IsValidRequestSlot(slot)) {
      uint32_t own = alternate ? AlternateRequestCode(slot) : PrimaryRequestCode(slot);
      EXPECT_EQ(Call(*file, own, std::vector<uint8_t>(64, 0), 64).error, ERROR_INVALID_FUNCTION)
          << "slot " << slot;
    }
  }
  // Slot 125 of the primary table holds 0, which no device serves; so are codes off the grid.
  EXPECT_EQ(Call(*file, 0, {}, 0).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(Call(*file, 0xFFFFFFFF, {}, 0).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(Call(*file, PrimaryRequestCode(113) + 1, {}, 2).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(Call(*file, 0x1C4, {}, 2).error, ERROR_INVALID_FUNCTION);
}

INSTANTIATE_TEST_SUITE_P(PrimaryAndAlternate, DeviceRequestTable, ::testing::Bool());

TEST(DeviceRequests, ValidSlotList) {
  std::vector<uint32_t> valid;
  for (uint32_t slot = 0; slot < 130; ++slot) {
    if (IsValidRequestSlot(slot)) valid.push_back(slot);
  }
  std::vector<uint32_t> expected = {0,  1,  2,  3,  16, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41,
                                    65, 67, 68, 69, 71, 72, 73, 74, 76, 77, 81, 82, 83, 86, 87};
  for (uint32_t slot = 89; slot <= 124; ++slot) expected.push_back(slot);
  EXPECT_EQ(valid, expected);
}

TEST(DeviceRequests, RefusedSlotsAreRefusedAndTheRestServed) {
  BridgeDeviceConfig config = MakeConfig();
  config.refuse = {113, 65};
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CallSlot(*file, 113, {}, 2).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(CallSlot(*file, 65, Le32(9600)).error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(CallSlot(*file, 102, std::vector<uint8_t>(96, 0), 96).error, 0u);
  EXPECT_EQ(device->LineState().baudRate, 9600u);
}

TEST(DeviceRequests, ShortBuffersAreRefusedWithoutAnswer) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  testing::Reply info = CallSlot(*file, 102, std::vector<uint8_t>(96, 0), 95);
  EXPECT_EQ(info.error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(info.returned, 0u);
  EXPECT_EQ(CallSlot(*file, 67, {0, 0}).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot(*file, 37, {}, 8).error, ERROR_INVALID_PARAMETER);
  // A null buffer with a length.
  uint32_t returned = 7;
  EXPECT_EQ(file->Control(PrimaryRequestCode(65), nullptr, 4, nullptr, 0, &returned),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(device->LineState().baudRate, 9600u);
}

TEST(DeviceIdentity, StringQueriesCountWithoutTheTerminator) {
  BridgeDeviceConfig config = MakeConfig(CHIP_232R, "KORA1234");
  config.description = "USB PD Tester";
  config.location = 0x0121;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);

  testing::Reply serial = CallSlot(*file, 39, std::vector<uint8_t>(64, 0), 64);
  EXPECT_EQ(serial.returned, 8u);
  EXPECT_STREQ(reinterpret_cast<const char*>(serial.out.data()), "KORA1234");
  testing::Reply description = CallSlot(*file, 40, std::vector<uint8_t>(64, 0), 64);
  EXPECT_EQ(description.returned, 13u);
  EXPECT_STREQ(reinterpret_cast<const char*>(description.out.data()), "USB PD Tester");
  testing::Reply location = CallSlot(*file, 41, std::vector<uint8_t>(64, 0), 64);
  EXPECT_EQ(location.returned, 4u);
  EXPECT_EQ(ReadLe32(location.out, 0), 0x0121u);
}

TEST(DeviceIdentity, EmptySerialAndOverlongStringsStayInsideTheirFields) {
  BridgeDeviceConfig config = MakeConfig(CHIP_232R, "");
  config.description = std::string(80, 'D');
  std::string error;
  EXPECT_FALSE(ValidateBridgeDeviceConfig(config, &error));
  EXPECT_NE(error.find("description"), std::string::npos);
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CallSlot(*file, 39, std::vector<uint8_t>(64, 0), 64).returned, 0u);
  testing::Reply info = CallSlot(*file, 102, std::vector<uint8_t>(96, 0), 96);
  EXPECT_EQ(info.out[16], 0);
  EXPECT_EQ(info.out[95], 0);  // 63 characters and the terminator
  EXPECT_EQ(info.out[94], 'D');
}

TEST(DeviceIdentity, DeviceInformationReplyLayout) {
  BridgeDeviceConfig config = MakeConfig(CHIP_232R, "KORA1234");
  config.description = "USB PD Tester";
  config.pid = 0x6001;
  config.extra = 0xCAFEF00D;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> request(96, 0);
  request[0] = 17;  // the access layer presets "not supported"
  testing::Reply info = CallSlot(*file, 102, request, 96);
  ASSERT_EQ(info.error, 0u);
  EXPECT_EQ(ReadLe32(info.out, 0), 0u);
  EXPECT_EQ(ReadLe32(info.out, 4), 0x40360012u);
  EXPECT_EQ(ReadLe32(info.out, 8), 0x04036001u);
  EXPECT_EQ(ReadLe32(info.out, 12), 0xCAFEF00Du);
  EXPECT_STREQ(reinterpret_cast<const char*>(info.out.data() + 16), "KORA1234");
  EXPECT_STREQ(reinterpret_cast<const char*>(info.out.data() + 32), "USB PD Tester");
}

TEST(DeviceIdentity, ChipCodesAndFamilyDefaults) {
  struct Case {
    ChipFamily chip;
    uint32_t code;
    uint16_t packet;
  };
  for (const Case& c : {Case{CHIP_100AX, 0x40383720, 64}, Case{CHIP_2232H, 0x40360101, 512},
                        Case{CHIP_232H, 0x40360140, 512}, Case{CHIP_X_SERIES, 0x40360150, 64},
                        Case{CHIP_4222_PROG, 0x4030FEC0, 512}, Case{CHIP_UMFTPD3A, 0x403603E0, 64},
                        Case{CHIP_UNKNOWN, 0x40360000, 64}}) {
    auto device = std::make_shared<BridgeDevice>(MakeConfig(c.chip));
    auto file = OpenOrDie(*device);
    ASSERT_NE(file, nullptr);
    testing::Reply info = CallSlot(*file, 102, std::vector<uint8_t>(96, 0), 96);
    EXPECT_EQ(ReadLe32(info.out, 4), c.code) << ChipFamilyName(c.chip);
    EXPECT_EQ(ReadLe16(CallSlot(*file, 113, {}, 2).out, 0), c.packet) << ChipFamilyName(c.chip);
    EXPECT_STREQ(reinterpret_cast<const char*>(info.out.data() + 32),
                 std::string(DefaultDescription(c.chip)).c_str());
  }
}

TEST(DeviceIdentity, ChipFamilyNamesRoundTrip) {
  for (size_t i = 0; i < CHIP_FAMILY_COUNT; ++i) {
    ChipFamily chip = static_cast<ChipFamily>(i);
    EXPECT_EQ(ParseChipFamily(ChipFamilyName(chip)), chip);
  }
  EXPECT_EQ(ParseChipFamily("x_series"), std::nullopt);
  EXPECT_EQ(ParseChipFamily(""), std::nullopt);
}

TEST(DeviceIdentity, HighSpeedOverrideDriverVersionAndComPort) {
  BridgeDeviceConfig config = MakeConfig(CHIP_232R);
  config.highSpeed = true;
  config.driverVersion = 0x00021808;
  config.comPort = 7;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadLe16(CallSlot(*file, 113, {}, 2).out, 0), 512);
  EXPECT_EQ(ReadLe32(CallSlot(*file, 111, {}, 4).out, 0), 0x00021808u);
  EXPECT_EQ(ReadLe32(CallSlot(*file, 114, {}, 4).out, 0), 7u);

  auto plain = std::make_shared<BridgeDevice>(MakeConfig());
  auto plainFile = OpenOrDie(*plain);
  EXPECT_EQ(ReadLe32(CallSlot(*plainFile, 114, {}, 4).out, 0), 0u);  // no COM port
}

TEST(DeviceLineSettings, BaudRateLimitsFollowTheBusSpeed) {
  auto full = std::make_shared<BridgeDevice>(MakeConfig(CHIP_232R));
  auto file = OpenOrDie(*full);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CallSlot(*file, 65, Le32(0)).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot(*file, 65, Le32(3'000'001)).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(full->LineState().baudRate, 9600u);
  EXPECT_EQ(CallSlot(*file, 65, Le32(3'000'000)).error, 0u);
  EXPECT_EQ(full->LineState().baudRate, 3'000'000u);

  auto high = std::make_shared<BridgeDevice>(MakeConfig(CHIP_2232H));
  auto highFile = OpenOrDie(*high);
  EXPECT_EQ(CallSlot(*highFile, 65, Le32(12'000'000)).error, 0u);
  EXPECT_EQ(CallSlot(*highFile, 65, Le32(12'000'001)).error, ERROR_INVALID_PARAMETER);
}

TEST(DeviceLineSettings, DataCharacteristicsAreStopParityWordLength) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 67, {2, 1, 7}).error, 0u);
  BridgeLineState line = device->LineState();
  EXPECT_EQ(line.stopBits, 2);
  EXPECT_EQ(line.parity, 1);
  EXPECT_EQ(line.wordLength, 7);
  // The argument order (word length first) is a classic mistake: 8 as stop bits is refused.
  EXPECT_EQ(CallSlot(*file, 67, {8, 0, 0}).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot(*file, 67, {0, 5, 8}).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(device->LineState().wordLength, 7);
}

TEST(DeviceLineSettings, TimeoutFormsShareOneSetting) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 71, {0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0}).error, 0u);
  testing::Reply got = CallSlot(*file, 72, {}, 20);
  EXPECT_EQ(ReadLe32(got.out, 0), 0u);
  EXPECT_EQ(ReadLe32(got.out, 4), 0u);
  EXPECT_EQ(ReadLe32(got.out, 8), 10000u);
  EXPECT_EQ(ReadLe32(got.out, 12), 0u);
  EXPECT_EQ(ReadLe32(got.out, 16), 10000u);

  std::vector<uint8_t> commtimeouts;
  for (uint32_t v : {0xFFFFFFFFu, 2u, 30u, 4u, 50u}) {
    std::vector<uint8_t> b = Le32(v);
    commtimeouts.insert(commtimeouts.end(), b.begin(), b.end());
  }
  ASSERT_EQ(CallSlot(*file, 71, commtimeouts).error, 0u);
  EXPECT_EQ(CallSlot(*file, 72, {}, 20).out, commtimeouts);
  // Only the two forms exist.
  EXPECT_EQ(CallSlot(*file, 71, std::vector<uint8_t>(12, 0)).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot(*file, 72, {}, 20).out, commtimeouts);
}

TEST(DeviceLineSettings, FlowCharsLatencyBitModeAndNotification) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CallSlot(*file, 89, {0x00, 0x01, 0x11, 0x13}).error, 0u);
  EXPECT_EQ(CallSlot(*file, 89, {0x00, 0x08, 0x11, 0x13}).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot(*file, 87, {0x7E, 1, 0x3F, 1}).error, 0u);
  EXPECT_EQ(CallSlot(*file, 93, {}, 1).out[0], 16);  // default latency
  EXPECT_EQ(CallSlot(*file, 92, {119}).error, 0u);
  EXPECT_EQ(CallSlot(*file, 93, {}, 1).out[0], 119);
  EXPECT_EQ(CallSlot(*file, 94, {0xF0, 0x01}).error, 0u);
  EXPECT_EQ(CallSlot(*file, 95, {}, 1).out[0], 0xF0);
  std::vector<uint8_t> notify = Le32(0x1000);
  for (uint32_t v : {0x3u, 0x55AAu}) {
    std::vector<uint8_t> b = Le32(v);
    notify.insert(notify.end(), b.begin(), b.end());
  }
  EXPECT_EQ(CallSlot(*file, 35, notify).error, 0u);
  EXPECT_EQ(CallSlot(*file, 96, {0, 0, 0, 0, 0, 0x10, 0, 0}).error, ERROR_INVALID_PARAMETER);

  BridgeLineState line = device->LineState();
  EXPECT_EQ(line.flowControl, 0x0100);
  EXPECT_EQ(line.xonChar, 0x11);
  EXPECT_EQ(line.xoffChar, 0x13);
  EXPECT_EQ(line.eventChar, 0x7E);
  EXPECT_EQ(line.errorChar, 0x3F);
  EXPECT_EQ(line.bitMode, 0x01);
  EXPECT_EQ(line.notifyHandle, 0x1000u);
  EXPECT_EQ(line.notifyMask, 0x3u);
  EXPECT_EQ(line.notifyParam, 0x55AAu);
  EXPECT_EQ(line.usbInSize, 4096u);
}

TEST(DeviceLineSettings, CommStateMirrorsTheLineBothWays) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 65, Le32(115200)).error, 0u);
  ASSERT_EQ(CallSlot(*file, 73).error, 0u);  // DTR on
  testing::Reply dcb = CallSlot(*file, 101, std::vector<uint8_t>(28, 0), 28);
  EXPECT_EQ(ReadLe32(dcb.out, 0), 28u);
  EXPECT_EQ(ReadLe32(dcb.out, 4), 115200u);
  uint32_t flags = ReadLe32(dcb.out, 8);
  EXPECT_EQ(flags & 1u, 1u);         // binary
  EXPECT_EQ((flags >> 4) & 3u, 1u);  // DTR enabled
  EXPECT_EQ(dcb.out[18], 8);

  std::vector<uint8_t> set = dcb.out;
  std::memcpy(set.data() + 4, Le32(57600).data(), 4);
  set[18] = 7;
  set[19] = 2;                                      // even
  set[20] = 2;                                      // two stop bits
  uint32_t newFlags = 1u | (1u << 2) | (2u << 12);  // CTS handshake
  std::memcpy(set.data() + 8, Le32(newFlags).data(), 4);
  ASSERT_EQ(CallSlot(*file, 100, set).error, 0u);
  BridgeLineState line = device->LineState();
  EXPECT_EQ(line.baudRate, 57600u);
  EXPECT_EQ(line.wordLength, 7);
  EXPECT_EQ(line.parity, 2);
  EXPECT_EQ(line.stopBits, 2);
  EXPECT_EQ(line.flowControl, 0x0100);
  testing::Reply again = CallSlot(*file, 101, {}, 28);
  EXPECT_EQ(ReadLe32(again.out, 4), 57600u);
  EXPECT_EQ((ReadLe32(again.out, 8) >> 12) & 3u, 2u);

  std::vector<uint8_t> bad = set;
  std::memcpy(bad.data() + 4, Le32(0).data(), 4);
  EXPECT_EQ(CallSlot(*file, 100, bad).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(device->LineState().baudRate, 57600u);
}

TEST(DeviceRegisters, VendorRequestsShortAndLongForms) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> set(132, 0);
  set[0] = 0x20;  // register address
  set[2] = 3;     // length
  set[4] = 0xA1;
  set[5] = 0xB2;
  set[6] = 0xC3;
  ASSERT_EQ(CallSlot(*file, 122, set).error, 0u);

  std::vector<uint8_t> get(132, 0);
  get[0] = 0x21;
  get[2] = 2;
  testing::Reply reply = CallSlot(*file, 121, get, 132);
  ASSERT_EQ(reply.error, 0u);
  EXPECT_EQ(reply.out[0], 0x21);
  EXPECT_EQ(reply.out[4], 0xB2);
  EXPECT_EQ(reply.out[5], 0xC3);
  EXPECT_EQ(reply.out[6], 0);

  // The long form reads the same space with a 16-bit address, data from offset 6.
  std::vector<uint8_t> getEx(134, 0);
  getEx[0] = 0x20;
  getEx[4] = 2;
  testing::Reply ex = CallSlot(*file, 123, getEx, 134);
  ASSERT_EQ(ex.error, 0u);
  EXPECT_EQ(ex.out[6], 0xA1);
  EXPECT_EQ(ex.out[7], 0xB2);

  // More than the 128-byte data area, or beyond the register space, is refused.
  std::vector<uint8_t> tooLong(134, 0);
  tooLong[4] = 129;
  EXPECT_EQ(CallSlot(*file, 124, tooLong).error, ERROR_INVALID_PARAMETER);
  std::vector<uint8_t> beyond(134, 0);
  beyond[0] = 0xFF;
  beyond[1] = 0x01;  // 0x1FF
  beyond[4] = 2;
  EXPECT_EQ(CallSlot(*file, 124, beyond).error, ERROR_INVALID_PARAMETER);
}

TEST(DeviceRegisters, ModemStatusFollowsThePeer) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadLe32(CallSlot(*file, 90, Le32(0), 4).out, 0), 0u);
  device->SetPeer(std::make_shared<LoopbackPeer>());
  EXPECT_EQ(ReadLe32(CallSlot(*file, 90, Le32(0), 4).out, 0), MS_CTS_ON | MS_DSR_ON);
  // The change is an event the host can see.
  EXPECT_EQ(ReadLe32(CallSlot(*file, 36, Le32(0), 4).out, 0) & 0x2u, 0x2u);
}

TEST(DeviceRequestLog, RecordsEveryRequestWithItsAnswer) {
  BridgeDeviceConfig config = MakeConfig();
  config.refuse = {92};
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  CallSlot(*file, 67, {0, 0, 8});
  CallSlot(*file, 92, {5});
  CallSlot(*file, 113, {}, 2);
  std::vector<DeviceRequest> log = device->Requests();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].code, 0x0022010Cu);
  EXPECT_EQ(log[0].input, (std::vector<uint8_t>{0, 0, 8}));
  EXPECT_EQ(log[0].outputLength, 0u);
  EXPECT_EQ(log[0].error, 0u);
  EXPECT_EQ(log[1].code, 0x00220170u);
  EXPECT_EQ(log[1].error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(log[2].outputLength, 2u);
  device->ClearRequests();
  EXPECT_TRUE(device->Requests().empty());
}

}  // namespace
}  // namespace ralvex::sim
