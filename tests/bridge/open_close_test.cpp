// Opening by index, serial number, description and location; closing; refusing closed handles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "bridge/lazy_init.h"
#include "bridge/open_close.h"
#include "tests/bridge/core_fixture.h"

namespace ralvex::bridge::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class OpenByIndex : public BenchTest {};

TEST_F(OpenByIndex, OpensExclusivelyAndRefusesASecondOpen) {
  bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  EXPECT_TRUE(bench_.Device(0).IsOpen());
  FT_HANDLE second = nullptr;
  EXPECT_EQ(FT_Open(0, &second), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(FT_Close(handle), FT_OK);
  EXPECT_FALSE(bench_.Device(0).IsOpen());
}

TEST_F(OpenByIndex, MissingIndexHeldDeviceAndNullHandlePointer) {
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
  sim::BridgeDeviceConfig held = DeviceConfig("HELD");
  held.heldOpen = true;
  bench_.AddDevice(held);
  EXPECT_EQ(FT_Open(0, &handle), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(FT_Open(1, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(FT_Open(-1, &handle), FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(FT_Open(0, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(handle, nullptr);
  EXPECT_TRUE(bench_.Device(0).Requests().empty());
}

TEST_F(OpenByIndex, ServerEditionOpensSessionAware) {
  bench_.AddDevice(DeviceConfig("AB123"));
  FT_Finalise();
  ASSERT_EQ(FT_Initialise(), FT_OK);
  EXPECT_FALSE(ServerEdition());
  EXPECT_EQ(DeviceOpenFlags(FILE_FLAG_OVERLAPPED), FILE_FLAG_OVERLAPPED);

  // The edition is read when the layer initialises.
  bench_.SetServerEdition(true);
  EXPECT_FALSE(ServerEdition());
  FT_Finalise();
  FT_HANDLE handle = OpenIndex(0);
  EXPECT_NE(handle, nullptr);
  EXPECT_TRUE(ServerEdition());
  EXPECT_EQ(DeviceOpenFlags(0), FILE_FLAG_SESSION_AWARE);
  EXPECT_EQ(DeviceOpenFlags(FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL),
            FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SESSION_AWARE);

  bench_.SetServerEdition(false);
  FT_Finalise();
  ASSERT_EQ(FT_Initialise(), FT_OK);
  EXPECT_FALSE(ServerEdition());
}

class OpenByMatch : public BenchTest {
 protected:
  void SetUp() override {
    sim::BridgeDeviceConfig first = DeviceConfig("KORA0001", sim::CHIP_232R);
    first.description = "First";
    first.location = 0x0111;
    bench_.AddDevice(first);
    sim::BridgeDeviceConfig second = DeviceConfig("KORA0002", sim::CHIP_232H);
    second.description = "Second";
    second.location = 0x0121;
    bench_.AddDevice(second);
    ClearLogs();
  }

  // What a candidate that was opened, asked one query and closed received.
  static std::vector<uint32_t> CandidateCodes(uint32_t query) {
    return Concat(OpenCodes(), {query});
  }
};

TEST_F(OpenByMatch, OpenExBySerialClosesTheFirstAndKeepsTheSecond) {
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(FT_OpenEx(const_cast<char*>("KORA0002"), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
  Keep(handle);
  EXPECT_THAT(Codes(bench_.Device(0)), ElementsAreArray(CandidateCodes(0x0022009Cu)));
  EXPECT_FALSE(bench_.Device(0).IsOpen());
  // The match asks the family once more.
  EXPECT_THAT(Codes(bench_.Device(1)),
              ElementsAreArray(Concat(CandidateCodes(0x0022009Cu), {0x00220198u})));
  EXPECT_TRUE(bench_.Device(1).IsOpen());
  EXPECT_EQ(LookupHandle(handle)->deviceType, FT_DEVICE_232H);
  EXPECT_EQ(OpenHandleCount(), 1u);
}

TEST_F(OpenByMatch, SerialNumbersMatchExactlyIncludingCase) {
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("kora0002"), FT_OPEN_BY_SERIAL_NUMBER, &handle),
            FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("KORA000"), FT_OPEN_BY_SERIAL_NUMBER, &handle),
            FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("KORA00021"), FT_OPEN_BY_SERIAL_NUMBER, &handle),
            FT_DEVICE_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(OpenHandleCount(), 0u);
  EXPECT_FALSE(bench_.Device(0).IsOpen());
  EXPECT_FALSE(bench_.Device(1).IsOpen());
}

TEST_F(OpenByMatch, OpenExByDescriptionAndByLocationValue) {
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(FT_OpenEx(const_cast<char*>("First"), FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
  Keep(handle);
  EXPECT_EQ(Codes(bench_.Device(0))[2], 0x002200A0u);
  EXPECT_EQ(FT_Close(handle), FT_OK);

  // The location travels as the argument's value, not through a pointer.
  ASSERT_EQ(FT_OpenEx(reinterpret_cast<PVOID>(uintptr_t{0x0121}), FT_OPEN_BY_LOCATION, &handle),
            FT_OK);
  Keep(handle);
  EXPECT_STREQ(LookupHandle(handle)->serialNumber, "KORA0002");
  EXPECT_EQ(Codes(bench_.Device(1))[2], 0x002200A4u);
  EXPECT_EQ(bench_.Device(1).Requests()[2].input.size(), 64u);
}

TEST_F(OpenByMatch, SerialBitWinsOverDescriptionAndLocation) {
  FT_HANDLE handle = nullptr;
  ASSERT_EQ(FT_OpenEx(const_cast<char*>("KORA0001"), 7, &handle), FT_OK);
  Keep(handle);
  EXPECT_EQ(Codes(bench_.Device(0))[2], 0x0022009Cu);
}

TEST_F(OpenByMatch, OpenExRefusesBadArgumentsWithoutTouchingDevices) {
  FT_HANDLE handle = nullptr;
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("KORA0001"), 0, &handle), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("KORA0001"), 8, &handle), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_OpenEx(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_OpenEx(nullptr, FT_OPEN_BY_DESCRIPTION, &handle), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("KORA0001"), FT_OPEN_BY_SERIAL_NUMBER, nullptr),
            FT_INVALID_PARAMETER);
  EXPECT_TRUE(bench_.Device(0).Requests().empty());
}

TEST_F(OpenByMatch, OpenExReportsTheLastCandidatesFailure) {
  bench_.Device(1).SetHeldOpen(true);
  FT_HANDLE handle = nullptr;
  // The last candidate could not be opened: its status is the result.
  EXPECT_EQ(FT_OpenEx(const_cast<char*>("KORA0002"), FT_OPEN_BY_SERIAL_NUMBER, &handle),
            FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(OpenHandleCount(), 0u);
}

TEST_F(OpenByMatch, CreateFileMatchesLikeOpenExAndOpensOverlapped) {
  FT_HANDLE handle = FT_W32_CreateFile(
      "KORA0002", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
      FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL | FT_OPEN_BY_SERIAL_NUMBER, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  Keep(handle);
  EXPECT_THAT(Codes(bench_.Device(0)), ElementsAreArray(CandidateCodes(0x0022009Cu)));
  EXPECT_FALSE(bench_.Device(0).IsOpen());
  EXPECT_EQ(LookupHandle(handle)->deviceType, FT_DEVICE_232H);

  // Opened for overlapped I/O: a read with nothing to deliver is left pending.
  const FtHandleRecord* record = LookupHandle(handle);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  uint8_t buffer[4];
  DWORD count = 99;
  EXPECT_FALSE(ReadFile(record->deviceHandle, buffer, sizeof(buffer), &count, &overlapped));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(count, 0u);
  CancelIo(record->deviceHandle);
  GetOverlappedResult(record->deviceHandle, &overlapped, &count, TRUE);
  CloseHandle(overlapped.hEvent);
}

TEST_F(OpenByMatch, CreateFileRefusesMissingSelectorsAndNames) {
  EXPECT_EQ(FT_W32_CreateFile("KORA0001", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(FT_W32_CreateFile(nullptr, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FT_OPEN_BY_DESCRIPTION, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(FT_W32_CreateFile("NOBODY", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FT_OPEN_BY_SERIAL_NUMBER, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_THAT(Codes(bench_.Device(1)), ElementsAreArray(CandidateCodes(0x0022009Cu)));
  EXPECT_EQ(OpenHandleCount(), 0u);
}

TEST_F(OpenByMatch, CreateFileSkipsCandidatesItCannotOpen) {
  bench_.Device(0).SetHeldOpen(true);
  FT_HANDLE handle =
      FT_W32_CreateFile(reinterpret_cast<LPCSTR>(uintptr_t{0x0121}), GENERIC_READ | GENERIC_WRITE,
                        0, nullptr, OPEN_EXISTING, FT_OPEN_BY_LOCATION, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  Keep(handle);
  EXPECT_STREQ(LookupHandle(handle)->serialNumber, "KORA0002");
}

class OpenClose : public BenchTest {};

TEST_F(OpenClose, CloseRefusesHandlesThatAreNotOpen) {
  EXPECT_EQ(FT_Close(INVALID_HANDLE_VALUE), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_Close(nullptr), FT_INVALID_HANDLE);
  SetLastError(0);
  EXPECT_FALSE(FT_W32_CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(OpenClose, EveryFunctionRefusesAClosedHandle) {
  sim::BridgeDevice& device = bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  ASSERT_TRUE(FT_W32_CloseHandle(handle));
  device.ClearRequests();

  DWORD word = 0;
  EXPECT_EQ(FT_Close(handle), FT_INVALID_HANDLE);
  EXPECT_FALSE(FT_W32_CloseHandle(handle));
  EXPECT_EQ(FT_GetDeviceInfo(handle, nullptr, nullptr, nullptr, nullptr, nullptr),
            FT_NOT_SUPPORTED);
  EXPECT_EQ(FT_GetDriverVersion(handle, &word), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_IoCtl(handle, 0x9C, nullptr, 0, nullptr, 0, &word, nullptr), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_ResetDevice(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_ResetPort(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_CyclePort(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_StopInTask(handle), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_RestartInTask(handle), FT_INVALID_HANDLE);
  EXPECT_TRUE(device.Requests().empty());
}

TEST_F(OpenClose, CloseOfARecordAlreadyUnlinkedTouchesNothing) {
  bench_.AddDevice(DeviceConfig("AB123"));
  FtHandleRecord* record = nullptr;
  ASSERT_EQ(OpenDeviceByIndex(0, DeviceOpenArguments{}, &record), FT_OK);
  ASSERT_TRUE(RemoveHandleRecord(record));
  // As when another thread's close won the race: reported, and nothing closed twice.
  EXPECT_EQ(CloseRecord(record), FT_DEVICE_NOT_FOUND);
  EXPECT_TRUE(bench_.Device(0).IsOpen());
  InsertHandleRecord(record);
  EXPECT_EQ(CloseRecord(record), FT_OK);
  EXPECT_FALSE(bench_.Device(0).IsOpen());
}

}  // namespace
}  // namespace ralvex::bridge::testing
