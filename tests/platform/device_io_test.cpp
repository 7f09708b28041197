// Device files: opening through the tree, control requests, synchronous and overlapped I/O,
// GetOverlappedResult, CancelIo and the draining close.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/posix/devices.h"
#include "platform/posix/handle_table.h"
#include "platform/win32.h"
#include "tests/platform/device_test_driver.h"

namespace ralvex::posix {
namespace {

using testing::CODE_ECHO;
using testing::CODE_OVERSIZE;
using testing::CODE_PARTIAL;
using testing::TestDriver;

constexpr const char* DEVICE_PATH =
    "\\\\?\\usb#vid_1234&pid_5678#sn01#{11223344-5566-7788-99aa-bbccddeeff00}";

class DeviceIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDeviceTree();
    driver_ = std::make_shared<TestDriver>();
    DeviceNodeInfo info;
    info.instanceId = "USB\\VID_1234&PID_5678\\SN01";
    info.interfaces.push_back({testing::TEST_INTERFACE_GUID, DEVICE_PATH});
    info.driver = driver_;
    node_ = AddDeviceNode(info);
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event_, nullptr);
  }
  void TearDown() override {
    CloseHandle(event_);
    ClearDeviceTree();
  }

  HANDLE Open(DWORD flags = FILE_FLAG_OVERLAPPED, DWORD share = 0,
              DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileA(DEVICE_PATH, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
  }
  bool Signalled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

  std::shared_ptr<TestDriver> driver_;
  DEVINST node_ = 0;
  HANDLE event_ = nullptr;
};

// ---- Opening ----

TEST_F(DeviceIoTest, OpensByPathIgnoringCaseAndEitherDevicePrefix) {
  std::string upper = DEVICE_PATH;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  HANDLE a = CreateFileA(upper.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(driver_->lastExclusive);
  EXPECT_TRUE(CloseHandle(a));
  std::string dot = DEVICE_PATH;
  dot[2] = '.';
  HANDLE b = CreateFileA(dot.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_EQ(driver_->OpenCount(), 0);
}

TEST_F(DeviceIoTest, MissingGoneOrStalePathGivesFileNotFound) {
  std::string other = std::string(DEVICE_PATH) + "x";
  SetLastError(0);
  EXPECT_EQ(CreateFileA(other.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  SetDeviceNodePresent(node_, false);  // unplugged
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetDeviceNodePresent(node_, true);
  HANDLE back = Open();
  ASSERT_NE(back, INVALID_HANDLE_VALUE);
  CloseHandle(back);

  RemoveDeviceNode(node_);
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(DeviceIoTest, ExclusiveOpenOfBusyDeviceIsAccessDeniedNotSharingViolation) {
  HANDLE first = Open();
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(first));
  HANDLE again = Open();  // closing released the device
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);

  HANDLE shared = Open(0, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(shared, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(driver_->lastExclusive);
  CloseHandle(shared);
}

TEST_F(DeviceIoTest, RefusesNullNameTemplateAndCreatingDispositions) {
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateFileA(DEVICE_PATH, GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(DEVICE_PATH, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, event_),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(driver_->OpenCount(), 0);
}

TEST_F(DeviceIoTest, ClosedHandleIsInvalidEverywhere) {
  HANDLE file = Open();
  ASSERT_TRUE(CloseHandle(file));
  EXPECT_TRUE(driver_->state->closed);
  uint8_t buffer[4];
  DWORD count = 77;
  OVERLAPPED ov{};
  EXPECT_FALSE(ReadFile(file, buffer, 4, &count, &ov));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(count, 77u);  // an unknown handle leaves the counter alone
  EXPECT_FALSE(DeviceIoControl(file, CODE_ECHO, nullptr, 0, nullptr, 0, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CancelIo(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// ---- Control requests ----

TEST_F(DeviceIoTest, ControlRequestsReportDriverResults) {
  HANDLE file = Open(0);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  uint8_t in[3] = {1, 2, 3};
  uint8_t out[8] = {};
  DWORD returned = 99;
  EXPECT_TRUE(DeviceIoControl(file, CODE_ECHO, in, 3, out, 8, &returned, nullptr));
  EXPECT_EQ(returned, 3u);
  EXPECT_EQ(out[2], 3);

  EXPECT_FALSE(DeviceIoControl(file, 0x00221234, in, 3, out, 8, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_EQ(returned, 0u);

  EXPECT_FALSE(DeviceIoControl(file, CODE_PARTIAL, nullptr, 0, out, 8, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(returned, 2u);  // partial data keeps its count

  // A driver cannot claim to have written past the caller's buffer.
  EXPECT_TRUE(DeviceIoControl(file, CODE_OVERSIZE, nullptr, 0, out, 8, &returned, nullptr));
  EXPECT_EQ(returned, 8u);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, ControlRefusesMissingCountAndNullBuffersWithLength) {
  HANDLE file = Open(0);
  uint8_t out[4];
  EXPECT_FALSE(DeviceIoControl(file, CODE_ECHO, nullptr, 0, out, 4, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(file, CODE_ECHO, nullptr, 4, out, 4, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
  EXPECT_FALSE(DeviceIoControl(file, CODE_ECHO, out, 4, nullptr, 4, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, OverlappedControlCompletesAtOnceAndSignals) {
  HANDLE file = Open();
  uint8_t in[2] = {9, 8};
  uint8_t out[2] = {};
  OVERLAPPED ov{};
  ov.hEvent = event_;
  EXPECT_TRUE(DeviceIoControl(file, CODE_ECHO, in, 2, out, 2, nullptr, &ov));
  EXPECT_TRUE(Signalled(event_));
  EXPECT_EQ(ov.Internal, 0u);
  EXPECT_EQ(ov.InternalHigh, 2u);
  DWORD count = 0;
  EXPECT_TRUE(GetOverlappedResult(file, &ov, &count, FALSE));
  EXPECT_EQ(count, 2u);

  ResetEvent(event_);
  EXPECT_FALSE(DeviceIoControl(file, 0x00221234, nullptr, 0, nullptr, 0, nullptr, &ov));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_TRUE(Signalled(event_));  // nobody waiting on it is left hanging
  EXPECT_FALSE(GetOverlappedResult(file, &ov, &count, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  CloseHandle(file);
}

// ---- Synchronous reads and writes ----

TEST_F(DeviceIoTest, SynchronousReadBlocksUntilTheDriverCompletes) {
  HANDLE file = Open(0);
  std::atomic<bool> returned{false};
  uint8_t buffer[8] = {};
  DWORD count = 0;
  BOOL ok = FALSE;
  std::thread reader([&] {
    ok = ReadFile(file, buffer, 8, &count, nullptr);
    returned = true;
  });
  while (driver_->Queued() == 0) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned);
  ASSERT_TRUE(driver_->CompleteNext(0, 8, 0x42));
  reader.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(buffer[7], 0x42);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, SynchronousTimeoutIsSuccessWithShortCountAndUntouchedLastError) {
  HANDLE file = Open(0);
  uint8_t buffer[8];
  DWORD count = 0;
  BOOL ok = FALSE;
  std::thread reader([&] {
    SetLastError(1234);
    ok = ReadFile(file, buffer, 8, &count, nullptr);
    EXPECT_EQ(GetLastError(), 1234u);
  });
  while (driver_->Queued() == 0) std::this_thread::yield();
  driver_->CompleteNext(STATUS_TIMEOUT, 3);
  reader.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(count, 3u);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, SynchronousFailureStillReportsBytesMoved) {
  HANDLE file = Open(0);
  uint8_t buffer[8];
  DWORD count = 0;
  BOOL ok = TRUE;
  std::thread reader([&] {
    ok = ReadFile(file, buffer, 8, &count, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  });
  while (driver_->Queued() == 0) std::this_thread::yield();
  driver_->CompleteNext(STATUS_DEVICE_NOT_CONNECTED, 5);
  reader.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(count, 5u);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, SynchronousWriteHandsTheBytesToTheDriver) {
  HANDLE file = Open(0);
  driver_->state->immediate = true;
  const uint8_t data[3] = {0x02, 0x01, 0x03};
  DWORD count = 0;
  EXPECT_TRUE(WriteFile(file, data, 3, &count, nullptr));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(driver_->state->written, (std::vector<uint8_t>{0x02, 0x01, 0x03}));
  CloseHandle(file);
}

TEST_F(DeviceIoTest, ReadAndWriteCheckArgumentsAndAccess) {
  HANDLE sync = Open(0, 0, GENERIC_READ);
  uint8_t buffer[4];
  DWORD count = 0;
  EXPECT_FALSE(ReadFile(sync, buffer, 4, nullptr, nullptr));  // nowhere to put the count
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(ReadFile(sync, nullptr, 4, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
  EXPECT_FALSE(WriteFile(sync, buffer, 4, &count, nullptr));  // opened for reading only
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  driver_->state->immediate = true;  // the driver copies zero bytes: no null pointer reaches it
  EXPECT_TRUE(ReadFile(sync, nullptr, 0, &count, nullptr));
  EXPECT_EQ(count, 0u);
  driver_->state->immediate = false;
  CloseHandle(sync);

  HANDLE overlapped = Open();
  count = 5;
  EXPECT_FALSE(ReadFile(overlapped, buffer, 4, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(WriteFile(overlapped, buffer, 4, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(driver_->Queued(), 0u);
  CloseHandle(overlapped);
}

// ---- Overlapped reads and writes ----

TEST_F(DeviceIoTest, ImmediateOverlappedCompletionReturnsTrueAndStillSignals) {
  HANDLE file = Open();
  driver_->state->immediate = true;
  uint8_t buffer[6];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  DWORD count = 0;
  EXPECT_TRUE(ReadFile(file, buffer, 6, &count, &ov));
  EXPECT_EQ(count, 6u);
  EXPECT_TRUE(Signalled(event_));
  EXPECT_EQ(ov.Internal, 0u);
  EXPECT_EQ(ov.InternalHigh, 6u);
  EXPECT_TRUE(HasOverlappedIoCompleted(&ov));
  CloseHandle(file);
}

TEST_F(DeviceIoTest, ImmediateOverlappedFailureIsFalseWithTheErrorAndNoCount) {
  HANDLE file = Open();
  driver_->state->immediate = true;
  driver_->state->immediateStatus = STATUS_IO_DEVICE_ERROR;
  uint8_t buffer[6];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  DWORD count = 9;
  EXPECT_FALSE(ReadFile(file, buffer, 6, &count, &ov));
  EXPECT_NE(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(count, 0u);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, PendingRequestResetsEventKeepsCountZeroAndInternalPending) {
  HANDLE file = Open();
  SetEvent(event_);  // left over from an earlier request
  uint8_t buffer[4];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  ov.InternalHigh = 1234;
  DWORD count = 7;
  EXPECT_FALSE(ReadFile(file, buffer, 4, &count, &ov));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(Signalled(event_));
  EXPECT_EQ(ov.Internal, STATUS_PENDING);
  EXPECT_FALSE(HasOverlappedIoCompleted(&ov));

  // The decision rests on Internal: a set event does not make a pending request complete.
  SetEvent(event_);
  DWORD got = 55;
  EXPECT_FALSE(GetOverlappedResult(file, &ov, &got, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  ResetEvent(event_);

  ASSERT_TRUE(driver_->CompleteNext(0, 4));
  EXPECT_TRUE(Signalled(event_));
  EXPECT_EQ(ov.Internal, 0u);
  EXPECT_EQ(ov.InternalHigh, 4u);
  EXPECT_TRUE(GetOverlappedResult(file, &ov, &got, FALSE));
  EXPECT_EQ(got, 4u);
  EXPECT_TRUE(Signalled(event_));  // GetOverlappedResult never resets the event
  CloseHandle(file);
}

TEST_F(DeviceIoTest, ReadAndWriteMayBeInFlightTogether) {
  HANDLE file = Open();
  HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  uint8_t in[4];
  const uint8_t out[2] = {1, 2};
  OVERLAPPED rov{};
  rov.hEvent = event_;
  OVERLAPPED wov{};
  wov.hEvent = writeEvent;
  EXPECT_FALSE(ReadFile(file, in, 4, nullptr, &rov));
  EXPECT_FALSE(WriteFile(file, out, 2, nullptr, &wov));
  EXPECT_EQ(driver_->Queued(), 2u);
  driver_->CompleteNext(0, 1);  // the read
  driver_->CompleteNext(0, 2);  // the write
  DWORD count = 0;
  EXPECT_TRUE(GetOverlappedResult(file, &rov, &count, TRUE));
  EXPECT_EQ(count, 1u);
  EXPECT_TRUE(GetOverlappedResult(file, &wov, &count, TRUE));
  EXPECT_EQ(count, 2u);
  CloseHandle(writeEvent);
  CloseHandle(file);
}

// ---- GetOverlappedResult ----

TEST_F(DeviceIoTest, WaitingResultBlocksOnTheEventUntilAnotherThreadCompletes) {
  HANDLE file = Open();
  uint8_t buffer[4];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  ASSERT_FALSE(ReadFile(file, buffer, 4, nullptr, &ov));
  std::thread completer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    driver_->CompleteNext(0, 3);
  });
  DWORD count = 0;
  EXPECT_TRUE(GetOverlappedResult(file, &ov, &count, TRUE));
  EXPECT_EQ(count, 3u);
  completer.join();
  CloseHandle(file);
}

TEST_F(DeviceIoTest, WaitingResultWithoutEventWaitsOnTheFile) {
  HANDLE file = Open();
  uint8_t buffer[4];
  OVERLAPPED ov{};
  ASSERT_FALSE(ReadFile(file, buffer, 4, nullptr, &ov));
  EXPECT_FALSE(Signalled(file));
  std::thread completer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    driver_->CompleteNext(STATUS_TIMEOUT, 0);
  });
  DWORD count = 9;
  EXPECT_TRUE(GetOverlappedResult(file, &ov, &count, TRUE));  // a time-out is a success
  EXPECT_EQ(count, 0u);
  completer.join();
  EXPECT_TRUE(Signalled(file));  // the file signals when its I/O completes
  CloseHandle(file);
}

TEST_F(DeviceIoTest, FailedResultStillReportsTheCount) {
  HANDLE file = Open();
  uint8_t buffer[8];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  ASSERT_FALSE(ReadFile(file, buffer, 8, nullptr, &ov));
  driver_->CompleteNext(STATUS_BUFFER_OVERFLOW, 6);
  DWORD count = 0;
  EXPECT_FALSE(GetOverlappedResult(file, &ov, &count, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(count, 6u);
  CloseHandle(file);
}

TEST_F(DeviceIoTest, ResultRefusesNullArguments) {
  DWORD count = 0;
  OVERLAPPED ov{};
  EXPECT_FALSE(GetOverlappedResult(nullptr, nullptr, &count, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(GetOverlappedResult(nullptr, &ov, nullptr, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ov.Internal = STATUS_PENDING;  // waiting on no event and no file cannot work
  EXPECT_FALSE(GetOverlappedResult(INVALID_HANDLE_VALUE, &ov, &count, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// ---- CancelIo ----

TEST_F(DeviceIoTest, CancelIoCompletesOwnRequestsWithAbortAndSignals) {
  HANDLE file = Open();
  uint8_t buffer[4];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  ASSERT_FALSE(ReadFile(file, buffer, 4, nullptr, &ov));
  EXPECT_TRUE(CancelIo(file));
  EXPECT_TRUE(Signalled(event_));
  DWORD count = 9;
  EXPECT_FALSE(GetOverlappedResult(file, &ov, &count, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(CancelIo(file));  // nothing left: still a successful request
  CloseHandle(file);
}

TEST_F(DeviceIoTest, CancelIoFromAnotherThreadLeavesOurRequestsAlone) {
  HANDLE file = Open();
  uint8_t buffer[4];
  OVERLAPPED ov{};
  ov.hEvent = event_;
  ASSERT_FALSE(ReadFile(file, buffer, 4, nullptr, &ov));
  BOOL cancelled = FALSE;
  std::thread other([&] { cancelled = CancelIo(file); });
  other.join();
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(driver_->state->cancels, 0);
  EXPECT_EQ(ov.Internal, STATUS_PENDING);
  EXPECT_FALSE(Signalled(event_));
  driver_->CompleteNext(0, 4);
  DWORD count = 0;
  EXPECT_TRUE(GetOverlappedResult(file, &ov, &count, FALSE));
  EXPECT_EQ(count, 4u);
  CloseHandle(file);
}

// ---- Close ----

TEST_F(DeviceIoTest, CloseCancelsPendingRequestsBeforeReturning) {
  driver_->state->cancelFromThread = true;  // the cancel lands 50 ms later
  HANDLE file = Open();
  // Caller memory that dies right after CloseHandle: any later completion write would be a
  // use-after-free under the address sanitizer.
  auto ov = std::make_unique<OVERLAPPED[]>(2);
  auto buffer = std::make_unique<uint8_t[]>(16);
  ov[0].hEvent = event_;
  ASSERT_FALSE(ReadFile(file, buffer.get(), 16, nullptr, &ov[0]));
  ASSERT_FALSE(WriteFile(file, buffer.get(), 4, nullptr, &ov[1]));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(ov[0].Internal, STATUS_CANCELLED);
  EXPECT_EQ(ov[1].Internal, STATUS_CANCELLED);
  EXPECT_TRUE(Signalled(event_));
  EXPECT_TRUE(driver_->state->closed);
  EXPECT_EQ(driver_->OpenCount(), 0);
  ov.reset();
  buffer.reset();
}

TEST_F(DeviceIoTest, CloseWakesASynchronousReaderWithAbort) {
  HANDLE file = Open(0);
  uint8_t buffer[4];
  DWORD count = 0;
  BOOL ok = TRUE;
  DWORD error = 0;
  std::thread reader([&] {
    ok = ReadFile(file, buffer, 4, &count, nullptr);
    error = GetLastError();
  });
  while (driver_->Queued() == 0) std::this_thread::yield();
  EXPECT_TRUE(CloseHandle(file));
  reader.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, ERROR_OPERATION_ABORTED);
}

TEST_F(DeviceIoTest, ClosingLeavesNoHandleBehind) {
  size_t before = LiveHandleCount();
  HANDLE file = Open();
  EXPECT_EQ(LiveHandleCount(), before + 1);
  CloseHandle(file);
  EXPECT_EQ(LiveHandleCount(), before);
}

}  // namespace
}  // namespace ralvex::posix
