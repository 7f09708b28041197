// FT_W32_ReadFile / WriteFile / GetOverlappedResult / CancelIo on a handle opened with
// FT_W32_CreateFile for overlapped I/O, as the tester link drives them, over a loopback plug.
#include <cstring>

#include "platform/win32.h"
#include "sim/loopback_peer.h"
#include "tests/bridge/port_fixture.h"

namespace ralvex::port_test {
namespace {

constexpr DWORD OVERLAPPED_BY_SERIAL =
    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL | FT_OPEN_BY_SERIAL_NUMBER;

// One OVERLAPPED with its own manual-reset event.
struct Request {
  Request() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Request() { CloseHandle(overlapped.hEvent); }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;
  bool Done(DWORD ms) const { return WaitForSingleObject(overlapped.hEvent, ms) == WAIT_OBJECT_0; }
  OVERLAPPED overlapped{};
};

class OverlappedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = &bench_.AddDevice(DeviceConfig(), std::make_shared<sim::LoopbackPeer>());
    handle_ = FT_W32_CreateFile("PORT0001", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                OVERLAPPED_BY_SERIAL, nullptr);
    ASSERT_NE(handle_, static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE));
  }
  void TearDown() override {
    if (handle_ != static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE)) {
      FT_Close(handle_);
    }
  }

  // Starts a write and waits for its completion; the count written.
  DWORD WriteAll(const void* data, DWORD length) {
    Request write;
    DWORD count = 0;
    const BOOL started =
        FT_W32_WriteFile(handle_, const_cast<void*>(data), length, &count, &write.overlapped);
    EXPECT_TRUE(started || FT_W32_GetLastError(handle_) == ERROR_IO_PENDING);
    EXPECT_TRUE(FT_W32_GetOverlappedResult(handle_, &write.overlapped, &count, TRUE));
    return count;
  }

  sim::Bench bench_;
  sim::BridgeDevice* device_ = nullptr;
  FT_HANDLE handle_ = static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE);
};

TEST_F(OverlappedTest, PendingReadCompletesWhenTheBytesArrive) {
  ASSERT_EQ(FT_SetTimeouts(handle_, 10000, 10000), FT_OK);
  Request read;
  uint8_t in[6] = {};
  DWORD count = 99;
  ASSERT_FALSE(FT_W32_ReadFile(handle_, in, sizeof in, &count, &read.overlapped));
  ASSERT_EQ(FT_W32_GetLastError(handle_), ERROR_IO_PENDING);
  EXPECT_EQ(count, 0u);  // the real count comes from the overlapped result

  DWORD transferred = 99;
  EXPECT_FALSE(FT_W32_GetOverlappedResult(handle_, &read.overlapped, &transferred, FALSE));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_IO_INCOMPLETE);

  const uint8_t frame[6] = {0x02, 0x01, 0x0C, 0x0C, 0x03, 0x00};
  EXPECT_EQ(WriteAll(frame, sizeof frame), sizeof frame);

  ASSERT_TRUE(read.Done(5000));
  ASSERT_TRUE(FT_W32_GetOverlappedResult(handle_, &read.overlapped, &transferred, FALSE));
  EXPECT_EQ(transferred, sizeof frame);
  EXPECT_EQ(std::memcmp(in, frame, sizeof frame), 0);
}

TEST_F(OverlappedTest, ReadTimeOutCompletesWithZeroBytes) {
  ASSERT_EQ(FT_SetTimeouts(handle_, 30, 30), FT_OK);
  Request read;
  uint8_t in[4];
  DWORD count = 0;
  FT_W32_ReadFile(handle_, in, sizeof in, &count, &read.overlapped);
  ASSERT_TRUE(read.Done(5000));
  DWORD transferred = 99;
  EXPECT_TRUE(FT_W32_GetOverlappedResult(handle_, &read.overlapped, &transferred, FALSE));
  EXPECT_EQ(transferred, 0u);
}

TEST_F(OverlappedTest, CancelIoAbortsThePendingRead) {
  ASSERT_EQ(FT_SetTimeouts(handle_, 10000, 10000), FT_OK);
  Request read;
  uint8_t in[4];
  DWORD count = 0;
  ASSERT_FALSE(FT_W32_ReadFile(handle_, in, sizeof in, nullptr, &read.overlapped));
  ASSERT_EQ(FT_W32_GetLastError(handle_), ERROR_IO_PENDING);
  EXPECT_TRUE(FT_W32_CancelIo(handle_));
  EXPECT_FALSE(FT_W32_GetOverlappedResult(handle_, &read.overlapped, &count, TRUE));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(count, 0u);

  // The handle carries on.
  const uint8_t byte = 0x42;
  EXPECT_EQ(WriteAll(&byte, 1), 1u);
  Request again;
  uint8_t got = 0;
  FT_W32_ReadFile(handle_, &got, 1, &count, &again.overlapped);
  ASSERT_TRUE(FT_W32_GetOverlappedResult(handle_, &again.overlapped, &count, TRUE));
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(got, 0x42);
}

TEST_F(OverlappedTest, OverlappedWaitCommEventReportsTheEvent) {
  constexpr DWORD RECEIVED_CHAR = 0x1;
  ASSERT_TRUE(FT_W32_SetCommMask(handle_, RECEIVED_CHAR));
  // The event happens first: a wait reports an event of the mask that occurred since the last
  // wait, whether the driver completes the request at once or later.
  const uint8_t byte = 0x33;
  EXPECT_EQ(WriteAll(&byte, 1), 1u);
  Request wait;
  DWORD events = 0;
  if (!FT_W32_WaitCommEvent(handle_, &events, &wait.overlapped)) {
    ASSERT_EQ(FT_W32_GetLastError(handle_), ERROR_IO_PENDING);
  }
  if (!wait.Done(5000)) {
    FT_W32_SetCommMask(handle_, 0);  // ends the wait so the test can finish
    FAIL() << "the comm event wait did not complete";
  }
  DWORD transferred = 0;
  ASSERT_TRUE(FT_W32_GetOverlappedResult(handle_, &wait.overlapped, &transferred, FALSE));
  EXPECT_EQ(transferred, 4u);
  EXPECT_EQ(events & RECEIVED_CHAR, RECEIVED_CHAR);
  // The comm-event wait is its own request (not the wait-on-mask one): nothing in, a word out.
  const auto requests = device_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().code, PRIMARY_BASE + 4 * 98);
  EXPECT_TRUE(requests.back().input.empty());
  EXPECT_EQ(requests.back().outputLength, 4u);
}

TEST_F(OverlappedTest, ClosedHandleIsRefusedAndTheCounterUntouched) {
  const FT_HANDLE stale = handle_;
  ASSERT_EQ(FT_Close(handle_), FT_OK);
  handle_ = static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE);

  Request request;
  uint8_t data[4] = {};
  DWORD count = 77;
  SetLastError(0);
  EXPECT_FALSE(FT_W32_ReadFile(stale, data, sizeof data, &count, &request.overlapped));
  EXPECT_EQ(FT_W32_GetLastError(stale), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FT_W32_WriteFile(stale, data, sizeof data, &count, &request.overlapped));
  EXPECT_FALSE(FT_W32_GetOverlappedResult(stale, &request.overlapped, &count, FALSE));
  EXPECT_EQ(count, 77u);
  SetLastError(0);
  EXPECT_FALSE(FT_W32_CancelIo(stale));
  EXPECT_EQ(FT_W32_GetLastError(stale), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FT_W32_CancelIo(static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE)));
}

TEST_F(OverlappedTest, MissingArgumentsAreRefused) {
  Request request;
  uint8_t data[4] = {};
  DWORD count = 0;
  SetLastError(0);
  // A synchronous call needs its counter, every call a buffer for its bytes.
  EXPECT_FALSE(FT_W32_ReadFile(handle_, data, sizeof data, nullptr, nullptr));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(FT_W32_WriteFile(handle_, nullptr, 1, &count, &request.overlapped));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(FT_W32_GetOverlappedResult(handle_, nullptr, &count, FALSE));
  EXPECT_FALSE(FT_W32_GetOverlappedResult(handle_, &request.overlapped, nullptr, FALSE));
  EXPECT_EQ(FT_W32_GetLastError(handle_), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(device_->ReceiveQueueSize(), 0u);
}

TEST(LastErrorTest, IsTheThreadsLastErrorWhateverTheHandle) {
  SetLastError(1234);
  EXPECT_EQ(FT_W32_GetLastError(nullptr), 1234u);
  EXPECT_EQ(FT_W32_GetLastError(static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE)), 1234u);
  int notAHandle = 0;
  EXPECT_EQ(FT_W32_GetLastError(&notAHandle), 1234u);
}

}  // namespace
}  // namespace ralvex::port_test
