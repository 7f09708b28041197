// The driver channel: library version, request-slot selection, the request tables, the
// device-information request and lazy initialisation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "bridge/device_info.h"
#include "bridge/request_tables.h"
#include "tests/bridge/core_fixture.h"

namespace ralvex::bridge::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST(CoreVersion, LibraryVersionIs030214AndNeedsAPointer) {
  DWORD version = 0;
  EXPECT_EQ(FT_GetLibraryVersion(&version), FT_OK);
  EXPECT_EQ(version, 0x00030214u);
  EXPECT_EQ(FT_GetLibraryVersion(nullptr), FT_INVALID_PARAMETER);
}

TEST(CoreTables, ServedSlotsAndTheLastSlotDifferBetweenTables) {
  EXPECT_EQ(PRIMARY_REQUEST_TABLE[39], 0x0022009Cu);
  EXPECT_EQ(ALTERNATE_REQUEST_TABLE[39], 0x0022209Cu);
  for (uint32_t slot : {4u, 15u, 17u, 31u, 42u, 64u, 66u, 70u, 75u, 78u, 80u, 84u, 85u, 88u}) {
    EXPECT_EQ(PRIMARY_REQUEST_TABLE[slot], REQUEST_CODE_UNSERVED) << slot;
    EXPECT_EQ(ALTERNATE_REQUEST_TABLE[slot], REQUEST_CODE_UNSERVED) << slot;
  }
  for (uint32_t slot = 89; slot <= 124; ++slot) {
    EXPECT_EQ(ALTERNATE_REQUEST_TABLE[slot], PRIMARY_REQUEST_TABLE[slot] + 0x2000u) << slot;
  }
  EXPECT_EQ(PRIMARY_REQUEST_TABLE[125], 0u);
  EXPECT_EQ(ALTERNATE_REQUEST_TABLE[125], REQUEST_CODE_UNSERVED);
}

TEST(CoreChipCodes, KnownCodesMapAndOthersAreUnknown) {
  EXPECT_EQ(DeviceTypeOfChipCode(0x40383720u), FT_DEVICE_100AX);
  EXPECT_EQ(DeviceTypeOfChipCode(0x4030FEC0u), FT_DEVICE_4222_PROG);
  EXPECT_EQ(DeviceTypeOfChipCode(0x403603E0u), FT_DEVICE_UMFTPD3A);
  EXPECT_EQ(DeviceTypeOfChipCode(0x40360000u), FT_DEVICE_UNKNOWN);
  EXPECT_EQ(DeviceTypeOfChipCode(0u), FT_DEVICE_UNKNOWN);
}

class CoreChannel : public BenchTest {};

TEST_F(CoreChannel, IoCtlTakesTheSlotFromFullAndShortCodes) {
  sim::BridgeDevice& device = bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  for (DWORD code : {0x0022009Cu, 0x0000009Cu}) {
    device.ClearRequests();
    char reply[64] = {};
    DWORD returned = 0;
    ASSERT_EQ(FT_IoCtl(handle, code, reply, 64, reply, 64, &returned, nullptr), FT_OK);
    EXPECT_STREQ(reply, "AB123");
    const auto requests = device.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].code, 0x0022009Cu);
    EXPECT_EQ(requests[0].input.size(), 64u);
    EXPECT_EQ(requests[0].outputLength, 64u);
  }
}

TEST_F(CoreChannel, IoCtlRefusesUnsendableRequestsWithoutSending) {
  sim::BridgeDevice& device = bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  device.ClearRequests();
  DWORD returned = 0;
  // Slot 126 and the highest slot bits 2-13 can name.
  EXPECT_EQ(FT_IoCtl(handle, 0x1F8, nullptr, 0, nullptr, 0, &returned, nullptr),
            FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_IoCtl(handle, 0x3FFC, nullptr, 0, nullptr, 0, &returned, nullptr),
            FT_INVALID_PARAMETER);
  // A length without a buffer is refused as the system's probe would refuse it.
  EXPECT_EQ(FT_IoCtl(handle, 0x9C, nullptr, 64, nullptr, 0, &returned, nullptr), FT_IO_ERROR);
  EXPECT_EQ(FT_IoCtl(handle, 0x9C, nullptr, 0, nullptr, 64, &returned, nullptr), FT_IO_ERROR);
  EXPECT_TRUE(device.Requests().empty());
  // Slot 125 exists; its primary entry is 0, which the driver refuses.
  EXPECT_EQ(FT_IoCtl(handle, 0x1F4, nullptr, 0, nullptr, 0, &returned, nullptr), FT_IO_ERROR);
  // An unserved slot is sent as the all-ones code and refused.
  EXPECT_EQ(FT_IoCtl(handle, 0x10, nullptr, 0, nullptr, 0, nullptr, nullptr), FT_IO_ERROR);
  EXPECT_THAT(Codes(device), ElementsAre(0u, 0xFFFFFFFFu));
}

TEST_F(CoreChannel, OpenSendsDeviceInformationThenPacketSize) {
  sim::BridgeDevice& device = bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  const auto requests = device.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, 0x00220198u);
  std::vector<uint8_t> expected(96, 0);
  expected[0] = 17;  // FT_NOT_SUPPORTED preset: the driver must overwrite it
  EXPECT_EQ(requests[0].input, expected);
  EXPECT_EQ(requests[0].outputLength, 96u);
  EXPECT_EQ(requests[1].code, 0x002201C4u);
  EXPECT_TRUE(requests[1].input.empty());
  EXPECT_EQ(requests[1].outputLength, 2u);

  const FtHandleRecord* record = LookupHandle(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->requestTable, PRIMARY_REQUEST_TABLE.data());
  EXPECT_EQ(record->deviceType, FT_DEVICE_232R);
  EXPECT_EQ(record->id, (0x0403u << 16) | device.ProductId());
  EXPECT_STREQ(record->serialNumber, "AB123");
  EXPECT_EQ(std::string(record->description), device.Description());
  EXPECT_EQ(record->devInst, device.DevInst());
  EXPECT_EQ(record->maxPacketSize, device.HighSpeed() ? 512 : 64);
  EXPECT_NE(record->interfaceDetail, nullptr);
}

TEST_F(CoreChannel, DeviceOnlyOnTheAlternateTableKeepsItForEveryRequest) {
  sim::BridgeDeviceConfig config = DeviceConfig("ALT1", sim::CHIP_2232H);
  config.alternateRequests = true;
  sim::BridgeDevice& device = bench_.AddDevice(config);
  FT_HANDLE handle = OpenIndex(0);
  EXPECT_THAT(Codes(device), ElementsAre(0x00220198u, 0x00222198u, 0x002221C4u));
  EXPECT_EQ(LookupHandle(handle)->requestTable, ALTERNATE_REQUEST_TABLE.data());
  EXPECT_EQ(LookupHandle(handle)->deviceType, FT_DEVICE_2232H);

  device.ClearRequests();
  DWORD version = 0;
  EXPECT_EQ(FT_GetDriverVersion(handle, &version), FT_OK);
  EXPECT_EQ(version, device.Config().driverVersion);
  EXPECT_EQ(FT_ResetDevice(handle), FT_OK);
  char reply[64] = {};
  DWORD returned = 0;
  EXPECT_EQ(FT_IoCtl(handle, 0x9C, reply, 64, reply, 64, &returned, nullptr), FT_OK);
  EXPECT_THAT(Codes(device), ElementsAre(0x002221BCu, 0x00222004u, 0x0022209Cu));
}

TEST_F(CoreChannel, DeviceRefusingInformationOnBothTablesOpensWithEmptyIdentity) {
  sim::BridgeDeviceConfig config = DeviceConfig("NOINFO");
  config.refuse = {102};
  sim::BridgeDevice& device = bench_.AddDevice(config);
  FT_HANDLE handle = OpenIndex(0);
  // The second table's answer is not checked: the handle keeps the alternate table.
  EXPECT_THAT(Codes(device), ElementsAre(0x00220198u, 0x00222198u, 0x002221C4u));
  const FtHandleRecord* record = LookupHandle(handle);
  EXPECT_EQ(record->deviceType, 0u);
  EXPECT_EQ(record->id, 0u);
  EXPECT_STREQ(record->serialNumber, "");
  EXPECT_STREQ(record->description, "");
  EXPECT_EQ(record->maxPacketSize, 0);  // asked through the alternate table, which it refuses
}

TEST_F(CoreChannel, GetDeviceInfoReportsFamilyIdStringsAndExtraWord) {
  sim::BridgeDeviceConfig config = DeviceConfig("AX0001", sim::CHIP_100AX);
  config.vid = 0x1A2B;
  config.pid = 0x00FF;
  config.description = "Bridge under test";
  config.extra = 0xCAFEF00D;
  bench_.AddDevice(config);
  bench_.AddDevice(DeviceConfig("UNK1", sim::CHIP_UNKNOWN));

  FT_HANDLE handle = OpenIndex(0);
  FT_DEVICE type = 99;
  DWORD id = 0;
  DWORD extra = 0;
  char serial[16];
  char description[64];
  ASSERT_EQ(FT_GetDeviceInfo(handle, &type, &id, serial, description, &extra), FT_OK);
  EXPECT_EQ(type, FT_DEVICE_100AX);
  EXPECT_EQ(id, 0x1A2B00FFu);
  EXPECT_STREQ(serial, "AX0001");
  EXPECT_STREQ(description, "Bridge under test");
  EXPECT_EQ(extra, 0xCAFEF00Du);

  FT_HANDLE unknown = OpenIndex(1);
  ASSERT_EQ(FT_GetDeviceInfo(unknown, &type, nullptr, nullptr, nullptr, nullptr), FT_OK);
  EXPECT_EQ(type, FT_DEVICE_UNKNOWN);
}

TEST_F(CoreChannel, GetDeviceInfoWithNoOutputsOnlyAsksTheDevice) {
  sim::BridgeDevice& device = bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  device.ClearRequests();
  EXPECT_EQ(FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr), FT_OK);
  EXPECT_THAT(Codes(device), ElementsAre(0x00220198u));
}

TEST_F(CoreChannel, GetDriverVersionNeedsAPointerAndSendsSlot111) {
  sim::BridgeDeviceConfig config = DeviceConfig("AB123");
  config.driverVersion = 0x00030405;
  sim::BridgeDevice& device = bench_.AddDevice(config);
  FT_HANDLE handle = OpenIndex(0);
  device.ClearRequests();
  EXPECT_EQ(FT_GetDriverVersion(handle, nullptr), FT_INVALID_PARAMETER);
  EXPECT_TRUE(device.Requests().empty());
  DWORD version = 0;
  EXPECT_EQ(FT_GetDriverVersion(handle, &version), FT_OK);
  EXPECT_EQ(version, 0x00030405u);
  const auto requests = device.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].code, 0x002201BCu);
  EXPECT_TRUE(requests[0].input.empty());
  EXPECT_EQ(requests[0].outputLength, 4u);
}

TEST_F(CoreChannel, FinaliseThenOpenInitialisesAgain) {
  bench_.AddDevice(DeviceConfig("AB123"));
  EXPECT_EQ(FT_Initialise(), FT_OK);
  EXPECT_EQ(FT_Initialise(), FT_OK);
  FT_Finalise();
  FT_Finalise();  // a second one finds nothing to release
  FT_HANDLE handle = OpenIndex(0);
  ASSERT_NE(LookupHandle(handle), nullptr);
  // Open handles survive finalisation and can still be closed afterwards.
  FT_Finalise();
  EXPECT_EQ(FT_Close(handle), FT_OK);
  DWORD count = 0;
  FT_Finalise();
  EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 1u);
}

// Replies no well-behaved device gives: the layer must stay within its buffers.
class CoreScriptedReplies : public BenchTest {};

uint32_t DeviceInfoReply(uint32_t code, void* out, uint32_t outLength, uint32_t status,
                         const char* serial16, uint32_t* returned) {
  // Either table: a device refusing the primary one would be moved to the alternate.
  if ((code & ~0x2000u) != 0x00220198u || outLength != 96) return 0;
  auto* bytes = static_cast<uint8_t*>(out);
  std::memset(bytes, 0, 96);
  std::memcpy(bytes, &status, 4);
  const uint32_t chip = 0x40360012u;  // 232R
  std::memcpy(bytes + 4, &chip, 4);
  std::memcpy(bytes + 16, serial16, 16);
  std::memset(bytes + 32, 'D', 64);  // description without a terminator
  *returned = 96;
  return 0;
}

TEST_F(CoreScriptedReplies, DriverStatusInTheReplyIsPassedThroughAndWritesNothing) {
  auto driver = std::make_shared<ScriptedDriver>(
      [](uint32_t code, const void*, uint32_t, void* out, uint32_t outLength, uint32_t* ret) {
        return DeviceInfoReply(code, out, outLength, FT_IO_ERROR, "0123456789ABCDEF", ret);
      });
  PlugScripted("STATUS4", driver);
  FT_HANDLE handle = OpenIndex(0);
  FT_DEVICE type = 77;
  char serial[16] = "untouched";
  EXPECT_EQ(FT_GetDeviceInfo(handle, &type, nullptr, serial, nullptr, nullptr), FT_IO_ERROR);
  EXPECT_EQ(type, 77u);
  EXPECT_STREQ(serial, "untouched");
}

// A driver that refuses the request yet leaves a success status in the buffer: the refusal
// wins. Reporting success would leave the caller's outputs unwritten, and copying them from a
// refused reply would hand out whatever the driver left half-written.
TEST_F(CoreScriptedReplies, RefusedRequestWithSuccessStatusIsAnIoErrorAndWritesNothing) {
  auto driver = std::make_shared<ScriptedDriver>(
      [](uint32_t code, const void*, uint32_t, void* out, uint32_t outLength, uint32_t* ret) {
        const uint32_t refused = (code & ~0x2000u) == 0x00220198u ? 31u : 0u;  // general failure
        DeviceInfoReply(code, out, outLength, FT_OK, "REFUSED00000000", ret);
        return refused;
      });
  PlugScripted("REFUSED", driver);
  FT_HANDLE handle = OpenIndex(0);
  FT_DEVICE type = 77;
  char serial[16] = "untouched";
  EXPECT_EQ(FT_GetDeviceInfo(handle, &type, nullptr, serial, nullptr, nullptr), FT_IO_ERROR);
  EXPECT_EQ(type, 77u);
  EXPECT_STREQ(serial, "untouched");
  // The open learnt nothing from the refused replies either.
  const FtHandleRecord* record = LookupHandle(handle);
  EXPECT_EQ(record->requestTable, ALTERNATE_REQUEST_TABLE.data());
  EXPECT_STREQ(record->serialNumber, "");
  EXPECT_EQ(record->deviceType, 0u);
}

TEST_F(CoreScriptedReplies, UnterminatedIdentityFieldsAreCutToTheirFields) {
  auto driver = std::make_shared<ScriptedDriver>(
      [](uint32_t code, const void*, uint32_t, void* out, uint32_t outLength, uint32_t* ret) {
        return DeviceInfoReply(code, out, outLength, FT_OK, "0123456789ABCDEF", ret);
      });
  PlugScripted("LONGSERIAL", driver);
  FT_HANDLE handle = OpenIndex(0);
  struct {
    char serial[16];
    char guard[8];
  } s;
  std::memset(&s, 'x', sizeof(s));
  struct {
    char description[64];
    char guard[8];
  } d;
  std::memset(&d, 'x', sizeof(d));
  ASSERT_EQ(FT_GetDeviceInfo(handle, nullptr, nullptr, s.serial, d.description, nullptr), FT_OK);
  EXPECT_STREQ(s.serial, "0123456789ABCDE");
  EXPECT_EQ(std::string(s.guard, 8), std::string(8, 'x'));
  EXPECT_EQ(std::string(d.description), std::string(63, 'D'));
  EXPECT_EQ(std::string(d.guard, 8), std::string(8, 'x'));
  const FtHandleRecord* record = LookupHandle(handle);
  EXPECT_STREQ(record->serialNumber, "0123456789ABCDE");
  EXPECT_EQ(std::strlen(record->description), 63u);
}

}  // namespace
}  // namespace ralvex::bridge::testing
