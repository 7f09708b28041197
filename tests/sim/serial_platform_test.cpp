// The simulated bridge device behind the platform's file calls: what the access layer sees
// through CreateFileA, DeviceIoControl, ReadFile, WriteFile, GetOverlappedResult and CancelIo.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "devside/request_slots.h"
#include "platform/posix/devices.h"
#include "platform/win32.h"
#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"
#include "sim/usb_tree.h"
#include "tests/sim/device_test_support.h"

namespace ralvex::sim {
namespace {

constexpr char DEVICE_PATH[] =
    "\\\\?\\usb#vid_0403&pid_6001#serialplatform#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}";

// One device plugged straight into the device tree, removed again at the end.
class SerialPlatform : public ::testing::Test {
 protected:
  void Plug(BridgeDeviceConfig config) {
    device_ = std::make_shared<BridgeDevice>(config);
    posix::DeviceNodeInfo node;
    node.instanceId = "USB\\VID_0403&PID_6001\\SERIALPLATFORM";
    node.setupClass = "USB";
    node.description = "bridge";
    node.interfaces.push_back({BRIDGE_INTERFACE_GUID, DEVICE_PATH});
    node.driver = device_;
    node_ = posix::AddDeviceNode(node);
    device_->SetDevInst(node_);
  }
  void TearDown() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (event_ != nullptr) CloseHandle(event_);
    if (node_ != 0) posix::RemoveDeviceNode(node_);
  }

  HANDLE OpenDevice(DWORD flags) {
    return CreateFileA(DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags,
                       nullptr);
  }
  void OpenOverlapped() {
    handle_ = OpenDevice(FILE_FLAG_OVERLAPPED);
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event_, nullptr);
  }
  void SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    uint32_t in[2] = {readMs, writeMs};
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle_, devside::PrimaryRequestCode(71), in, sizeof in, nullptr, 0,
                                &returned, nullptr));
  }
  void Inject(const std::string& text) {
    device_->InjectFromPeer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

  std::shared_ptr<BridgeDevice> device_;
  DEVINST node_ = 0;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
};

TEST_F(SerialPlatform, OverlappedReadCompletesOnArrivalTimeoutAndCancel) {
  Plug(testing::MakeConfig());
  OpenOverlapped();
  SetTimeouts(10000, 10000);

  char buffer[8] = {};
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event_;
  DWORD count = 99;
  EXPECT_FALSE(ReadFile(handle_, buffer, 3, &count, &overlapped));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(GetOverlappedResult(handle_, &overlapped, &count, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  Inject("abc");
  ASSERT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetOverlappedResult(handle_, &overlapped, &count, FALSE));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");

  // Time-out: a success with nothing.
  SetTimeouts(30, 30);
  ResetEvent(event_);
  overlapped = {};
  overlapped.hEvent = event_;
  EXPECT_FALSE(ReadFile(handle_, buffer, 4, &count, &overlapped));
  ASSERT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetOverlappedResult(handle_, &overlapped, &count, FALSE));
  EXPECT_EQ(count, 0u);

  // Cancelled by the thread that started it.
  SetTimeouts(0, 0);
  ResetEvent(event_);
  overlapped = {};
  overlapped.hEvent = event_;
  EXPECT_FALSE(ReadFile(handle_, buffer, 4, &count, &overlapped));
  EXPECT_TRUE(CancelIo(handle_));
  ASSERT_EQ(WaitForSingleObject(event_, 2000), WAIT_OBJECT_0);
  EXPECT_FALSE(GetOverlappedResult(handle_, &overlapped, &count, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST_F(SerialPlatform, LoopbackWriteThenReadAndASecondOpenIsRefused) {
  Plug(testing::MakeConfig());
  device_->SetPeer(std::make_shared<LoopbackPeer>());
  OpenOverlapped();
  EXPECT_EQ(OpenDevice(FILE_FLAG_OVERLAPPED), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  OVERLAPPED write = {};
  write.hEvent = event_;
  DWORD count = 0;
  BOOL done = WriteFile(handle_, "\x02\x01\x0C\x0C\x03", 5, &count, &write);
  if (!done) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  }
  ASSERT_TRUE(GetOverlappedResult(handle_, &write, &count, TRUE));
  EXPECT_EQ(count, 5u);

  char buffer[5] = {};
  OVERLAPPED read = {};
  read.hEvent = event_;
  ResetEvent(event_);
  done = ReadFile(handle_, buffer, 5, &count, &read);
  if (!done) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  }
  ASSERT_TRUE(GetOverlappedResult(handle_, &read, &count, TRUE));
  EXPECT_EQ(std::string(buffer, 5), std::string("\x02\x01\x0C\x0C\x03", 5));
}

TEST_F(SerialPlatform, SynchronousReadTimesOutWithAShortCount) {
  Plug(testing::MakeConfig());
  handle_ = OpenDevice(0);
  ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
  SetTimeouts(40, 40);
  Inject("xy");
  char buffer[4] = {};
  DWORD count = 0;
  SetLastError(1234);
  EXPECT_TRUE(ReadFile(handle_, buffer, 4, &count, nullptr));
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(GetLastError(), 1234u);  // a time-out is no error
}

TEST_F(SerialPlatform, FailedReadsAndRefusedRequestsReachTheCaller) {
  BridgeDeviceConfig config = testing::MakeConfig();
  config.readFailures = 1;
  config.refuse = {65};
  Plug(config);
  handle_ = OpenDevice(0);
  ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
  char buffer[4];
  DWORD count = 7;
  EXPECT_FALSE(ReadFile(handle_, buffer, 4, &count, nullptr));
  EXPECT_EQ(count, 0u);
  uint32_t baud = 115200;
  DWORD returned = 0;
  EXPECT_FALSE(DeviceIoControl(handle_, devside::PrimaryRequestCode(65), &baud, 4, nullptr, 0,
                               &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
}

TEST_F(SerialPlatform, CloseWithAReadPendingAndAPortCycle) {
  Plug(testing::MakeConfig());
  OpenOverlapped();
  char buffer[4];
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event_;
  DWORD count = 0;
  EXPECT_FALSE(ReadFile(handle_, buffer, 4, &count, &overlapped));
  EXPECT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);

  handle_ = OpenDevice(FILE_FLAG_OVERLAPPED);
  ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  EXPECT_TRUE(DeviceIoControl(handle_, devside::PrimaryRequestCode(16), nullptr, 0, nullptr, 0,
                              &returned, nullptr));
  EXPECT_EQ(OpenDevice(FILE_FLAG_OVERLAPPED), INVALID_HANDLE_VALUE);  // gone from the bus
  device_->Reenumerate();
  CloseHandle(handle_);
  handle_ = OpenDevice(FILE_FLAG_OVERLAPPED);
  EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace ralvex::sim

namespace ralvex::sim {
namespace {

// A comm-event wait runs inside the control call, and the close waits for calls in progress: the
// close must end the wait itself, or closing a handle with a waiter on it would never return.
TEST_F(SerialPlatform, CloseEndsACommEventWaitOnAnotherThread) {
  Plug(testing::MakeConfig());
  // The waiter must be blocked inside the device when the close comes. Nothing shows that from
  // outside, so a waiter that was too late (its handle already closed) makes the round start
  // again with a longer head start; a waiter that was inside must see the wait aborted.
  for (int headStartMs = 50; headStartMs <= 1600; headStartMs *= 2) {
    handle_ = OpenDevice(0);
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    uint32_t mask = 0x1;  // a byte arrived; nothing will arrive
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle_, devside::PrimaryRequestCode(81), &mask, sizeof mask,
                                nullptr, 0, &returned, nullptr));
    HANDLE waiting = handle_;
    auto waiter = std::async(std::launch::async, [waiting] {
      uint32_t events = 0;
      DWORD count = 0;
      BOOL ok = DeviceIoControl(waiting, devside::PrimaryRequestCode(82), nullptr, 0, &events,
                                sizeof events, &count, nullptr);
      return std::make_pair(ok, GetLastError());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(headStartMs));
    ASSERT_TRUE(CloseHandle(handle_));
    handle_ = INVALID_HANDLE_VALUE;
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [ok, error] = waiter.get();
    EXPECT_FALSE(ok);
    if (error == static_cast<DWORD>(ERROR_INVALID_HANDLE)) continue;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    return;
  }
  FAIL() << "the waiter never reached the device";
}

}  // namespace
}  // namespace ralvex::sim
