// FT_ListDevices in its three modes, and the device-information list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/bridge/core_fixture.h"

namespace ralvex::bridge::testing {
namespace {

using ::testing::ElementsAre;

PVOID IndexArg(uintptr_t index) {
  return reinterpret_cast<PVOID>(index);
}

class EnumEmpty : public BenchTest {};

TEST_F(EnumEmpty, NoDevicePresent) {
  DWORD count = 99;
  EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 0u);

  char buffer[16] = "untouched";
  EXPECT_EQ(FT_ListDevices(IndexArg(0), buffer, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
            FT_DEVICE_NOT_FOUND);
  EXPECT_STREQ(buffer, "untouched");

  char* entries[1] = {buffer};
  count = 99;
  EXPECT_EQ(FT_ListDevices(entries, &count, FT_LIST_ALL), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(count, 0u);

  count = 99;
  EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(
      FT_GetDeviceInfoDetail(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      FT_DEVICE_NOT_FOUND);
}

class EnumList : public BenchTest {
 protected:
  void SetUp() override {
    sim::BridgeDeviceConfig first = DeviceConfig("FIRST01");
    first.description = "First bridge";
    first.location = 0x0111;
    bench_.AddDevice(first);
    sim::BridgeDeviceConfig second = DeviceConfig("SECOND02", sim::CHIP_2232H);
    second.description = "Second bridge";
    second.location = 0x0121;
    bench_.AddDevice(second);
    ClearLogs();
  }
};

TEST_F(EnumList, NumberOnlyCountsWithoutOpening) {
  DWORD count = 0;
  EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(bench_.Device(0).Requests().empty());
  EXPECT_EQ(FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
}

TEST_F(EnumList, ModeBitsMustSelectExactlyOneMode) {
  DWORD count = 0;
  char buffer[64];
  EXPECT_EQ(FT_ListDevices(&count, buffer, 0xC0000000u), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_ListDevices(&count, buffer, 0), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_ListDevices(&count, buffer, FT_OPEN_BY_SERIAL_NUMBER), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_ListDevices(IndexArg(0), nullptr, FT_LIST_BY_INDEX), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_ListDevices(nullptr, &count, FT_LIST_ALL), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_ListDevices(buffer, nullptr, FT_LIST_ALL), FT_INVALID_PARAMETER);
  EXPECT_TRUE(bench_.Device(0).Requests().empty());
}

TEST_F(EnumList, ByIndexOpensQueriesAndClosesOnlyThatDevice) {
  char serial[16] = {};
  ASSERT_EQ(FT_ListDevices(IndexArg(1), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
            FT_OK);
  EXPECT_STREQ(serial, "SECOND02");
  EXPECT_TRUE(bench_.Device(0).Requests().empty());
  const auto requests = bench_.Device(1).Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].code, 0x0022009Cu);
  EXPECT_EQ(requests[2].input, std::vector<uint8_t>(64, 0));
  EXPECT_EQ(requests[2].outputLength, 64u);
  EXPECT_FALSE(bench_.Device(1).IsOpen());
}

TEST_F(EnumList, ByIndexAtTheCountIsNotFound) {
  char serial[16] = "untouched";
  EXPECT_EQ(FT_ListDevices(IndexArg(2), serial, FT_LIST_BY_INDEX), FT_DEVICE_NOT_FOUND);
  EXPECT_STREQ(serial, "untouched");
}

TEST_F(EnumList, QueryBitsChooseDescriptionThenLocationThenSerial) {
  char text[64] = {};
  ASSERT_EQ(FT_ListDevices(IndexArg(0), text,
                           FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION),
            FT_OK);
  EXPECT_STREQ(text, "First bridge");
  EXPECT_EQ(Codes(bench_.Device(0)).back(), 0x002200A0u);

  // No query bit at all: the serial number.
  ASSERT_EQ(FT_ListDevices(IndexArg(0), text, FT_LIST_BY_INDEX), FT_OK);
  EXPECT_STREQ(text, "FIRST01");
  EXPECT_EQ(Codes(bench_.Device(0)).back(), 0x0022009Cu);

  DWORD location = 0;
  ASSERT_EQ(FT_ListDevices(IndexArg(1), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_OK);
  EXPECT_EQ(location, 0x0121u);
  EXPECT_EQ(Codes(bench_.Device(1)).back(), 0x002200A4u);
}

TEST_F(EnumList, AllModeListsEveryDeviceInOrder) {
  char first[64] = {};
  char second[64] = {};
  char* entries[3] = {first, second, nullptr};
  DWORD count = 0;
  ASSERT_EQ(FT_ListDevices(entries, &count, FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION), FT_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_STREQ(first, "First bridge");
  EXPECT_STREQ(second, "Second bridge");

  DWORD locations[2] = {};
  ASSERT_EQ(FT_ListDevices(locations, &count, FT_LIST_ALL | FT_OPEN_BY_LOCATION), FT_OK);
  EXPECT_THAT(locations, ElementsAre(0x0111u, 0x0121u));
}

TEST_F(EnumList, AllModeSkipsANullEntryWithoutAdvancing) {
  char only[64] = {};
  char* entries[2] = {nullptr, only};
  DWORD count = 0;
  ASSERT_EQ(FT_ListDevices(entries, &count, FT_LIST_ALL), FT_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_STREQ(only, "");  // never reached: position 0 stays the null entry
}

TEST_F(EnumList, DeviceHeldElsewhereKeepsItsPlaceWithAnEmptyEntry) {
  sim::BridgeDeviceConfig third = DeviceConfig("THIRD03");
  third.location = 0x0131;
  bench_.AddDevice(third);
  bench_.Device(1).SetHeldOpen(true);

  char a[64], b[64] = "stale", c[64];
  char* entries[3] = {a, b, c};
  DWORD count = 0;
  ASSERT_EQ(FT_ListDevices(entries, &count, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
  EXPECT_EQ(count, 3u);
  EXPECT_STREQ(a, "FIRST01");
  EXPECT_STREQ(b, "");
  EXPECT_STREQ(c, "THIRD03");

  DWORD locations[3] = {7, 7, 7};
  ASSERT_EQ(FT_ListDevices(locations, &count, FT_LIST_ALL | FT_OPEN_BY_LOCATION), FT_OK);
  EXPECT_THAT(locations, ElementsAre(0x0111u, 0u, 0x0131u));

  char serial[16] = "untouched";
  EXPECT_EQ(FT_ListDevices(IndexArg(1), serial, FT_LIST_BY_INDEX), FT_DEVICE_NOT_OPENED);
  EXPECT_STREQ(serial, "untouched");
}

TEST_F(EnumList, RefusedQueryWritesNothingAndIsTheResultOfTheLastDevice) {
  sim::BridgeDeviceConfig third = DeviceConfig("THIRD03");
  third.refuse = {39};
  bench_.AddDevice(third);
  char a[64], b[64], c[64] = "untouched";
  char* entries[3] = {a, b, c};
  DWORD count = 0;
  EXPECT_EQ(FT_ListDevices(entries, &count, FT_LIST_ALL), FT_IO_ERROR);
  EXPECT_STREQ(a, "FIRST01");
  EXPECT_STREQ(b, "SECOND02");
  EXPECT_STREQ(c, "untouched");
  EXPECT_FALSE(bench_.Device(2).IsOpen());

  char serial[16] = "untouched";
  EXPECT_EQ(FT_ListDevices(IndexArg(2), serial, FT_LIST_BY_INDEX), FT_IO_ERROR);
  EXPECT_STREQ(serial, "untouched");
}

TEST_F(EnumList, InfoListReportsEveryKindOfDevice) {
  sim::BridgeDeviceConfig held = DeviceConfig("HELD03");
  held.heldOpen = true;
  bench_.AddDevice(held);
  sim::BridgeDeviceConfig mine = DeviceConfig("MINE04", sim::CHIP_4232H);
  mine.description = "Held by this process";
  mine.location = 0x0141;
  bench_.AddDevice(mine);
  FT_HANDLE handle = OpenIndex(3);

  DWORD count = 0;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  ASSERT_EQ(count, 4u);
  FT_DEVICE_LIST_INFO_NODE nodes[4];
  std::memset(nodes, 0xEE, sizeof(nodes));
  DWORD copied = 0;
  ASSERT_EQ(FT_GetDeviceInfoList(nodes, &copied), FT_OK);
  ASSERT_EQ(copied, 4u);

  EXPECT_EQ(nodes[0].Flags, 0u);
  EXPECT_EQ(nodes[0].Type, FT_DEVICE_232R);
  EXPECT_EQ(nodes[0].ID, (0x0403u << 16) | bench_.Device(0).ProductId());
  EXPECT_EQ(nodes[0].LocId, 0x0111u);
  EXPECT_STREQ(nodes[0].SerialNumber, "FIRST01");
  EXPECT_STREQ(nodes[0].Description, "First bridge");
  EXPECT_EQ(nodes[0].ftHandle, nullptr);

  EXPECT_EQ(nodes[1].Flags, bench_.Device(1).HighSpeed() ? FT_FLAGS_HISPEED : 0u);
  EXPECT_EQ(nodes[1].Type, FT_DEVICE_2232H);

  // Held by another program: nothing but the flag and an unknown type.
  EXPECT_EQ(nodes[2].Flags, FT_FLAGS_OPENED);
  EXPECT_EQ(nodes[2].Type, FT_DEVICE_UNKNOWN);
  EXPECT_EQ(nodes[2].ID, 0u);
  EXPECT_EQ(nodes[2].LocId, 0u);
  EXPECT_STREQ(nodes[2].SerialNumber, "");
  EXPECT_EQ(nodes[2].ftHandle, nullptr);

  // Held by this process: its real identity and its handle.
  EXPECT_EQ(nodes[3].Flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
  EXPECT_EQ((nodes[3].Flags & FT_FLAGS_HISPEED) != 0, bench_.Device(3).HighSpeed());
  EXPECT_EQ(nodes[3].Type, FT_DEVICE_4232H);
  EXPECT_STREQ(nodes[3].SerialNumber, "MINE04");
  EXPECT_STREQ(nodes[3].Description, "Held by this process");
  EXPECT_EQ(nodes[3].LocId, 0x0141u);
  EXPECT_EQ(nodes[3].ftHandle, handle);
}

TEST_F(EnumList, InfoListAsksLocationWithFourByteBuffers) {
  DWORD count = 0;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  const auto requests = bench_.Device(0).Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].code, 0x002200A4u);
  EXPECT_EQ(requests[2].input.size(), 4u);
  EXPECT_EQ(requests[2].outputLength, 4u);
  EXPECT_FALSE(bench_.Device(0).IsOpen());
}

TEST_F(EnumList, InfoListQueriesNeedTheirPointers) {
  EXPECT_EQ(FT_CreateDeviceInfoList(nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_GetDeviceInfoList(nullptr, nullptr), FT_INVALID_PARAMETER);
  DWORD count = 0;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  DWORD copied = 0;
  EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &copied), FT_OK);  // the count alone
  EXPECT_EQ(copied, 2u);
}

TEST_F(EnumList, DetailCopiesFixedFieldsAndStopsAtTheCount) {
  DWORD count = 0;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  DWORD flags = 9, type = 9, id = 0, location = 0;
  char serial[16];
  char description[64];
  FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(1);
  ASSERT_EQ(FT_GetDeviceInfoDetail(1, &flags, &type, &id, &location, serial, description, &handle),
            FT_OK);
  EXPECT_EQ(type, FT_DEVICE_2232H);
  EXPECT_EQ(id, (0x0403u << 16) | bench_.Device(1).ProductId());
  EXPECT_EQ(location, 0x0121u);
  EXPECT_STREQ(serial, "SECOND02");
  EXPECT_STREQ(description, "Second bridge");
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(
      FT_GetDeviceInfoDetail(1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      FT_OK);
  EXPECT_EQ(FT_GetDeviceInfoDetail(2, &flags, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            FT_DEVICE_NOT_FOUND);
}

TEST_F(EnumList, InfoListIsASnapshotUntilRebuilt) {
  DWORD count = 0;
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  bench_.AddDevice(DeviceConfig("LATE05"));
  DWORD copied = 0;
  EXPECT_EQ(FT_GetDeviceInfoList(nullptr, &copied), FT_OK);
  EXPECT_EQ(copied, 2u);
  ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 3u);
}

// Strings copied out of query replies stay inside the caller's buffers.
class EnumBounds : public BenchTest {};

TEST_F(EnumBounds, UnterminatedQueryRepliesAreCutToTheCallersBuffers) {
  auto driver =
      std::make_shared<ScriptedDriver>([](uint32_t code, const void*, uint32_t, void* out,
                                          uint32_t outLength, uint32_t* returned) -> uint32_t {
        const uint32_t primary = code & ~0x2000u;  // whichever table the open settled on
        if ((primary == 0x0022009Cu || primary == 0x002200A0u) && outLength == 64) {
          std::memset(out, 'S', 64);  // 64 characters, no terminator
          *returned = 64;
        }
        return 0;
      });
  PlugScripted("FULL", driver);

  struct {
    char serial[16];
    char guard[8];
  } s;
  std::memset(&s, 'x', sizeof(s));
  ASSERT_EQ(FT_ListDevices(IndexArg(0), s.serial, FT_LIST_BY_INDEX), FT_OK);
  EXPECT_EQ(std::string(s.serial), std::string(15, 'S'));
  EXPECT_EQ(std::string(s.guard, 8), std::string(8, 'x'));

  struct {
    char description[64];
    char guard[8];
  } d;
  std::memset(&d, 'x', sizeof(d));
  char* entries[1] = {d.description};
  DWORD count = 0;
  ASSERT_EQ(FT_ListDevices(entries, &count, FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION), FT_OK);
  EXPECT_EQ(std::string(d.description), std::string(63, 'S'));
  EXPECT_EQ(std::string(d.guard, 8), std::string(8, 'x'));
}

}  // namespace
}  // namespace ralvex::bridge::testing
