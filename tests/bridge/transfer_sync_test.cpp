// FT_Read and FT_Write on a handle opened with FT_Open (synchronous I/O) over a loopback plug:
// round trips, partial counts, failures with and without data, refused arguments and handles.
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "platform/win32.h"
#include "sim/loopback_peer.h"
#include "tests/bridge/port_fixture.h"

namespace ralvex::port_test {
namespace {

class LoopbackTest : public OpenDeviceTest {
 protected:
  void SetUp() override {
    Plug(DeviceConfig(), std::make_shared<sim::LoopbackPeer>());
    // Reads that cannot be satisfied end after 100 ms with what arrived.
    ASSERT_EQ(FT_SetTimeouts(handle_, 100, 1000), FT_OK);
  }

  // Waits (up to 5 s) until the device's receive queue holds `count` bytes.
  bool WaitForQueue(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (device_->ReceiveQueueSize() != count) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
};

TEST_F(LoopbackTest, WrittenBytesComeBackThroughRead) {
  uint8_t out[64];
  for (size_t i = 0; i < sizeof out; ++i) {
    out[i] = static_cast<uint8_t>(i * 7);
  }
  DWORD written = 0;
  ASSERT_EQ(FT_Write(handle_, out, sizeof out, &written), FT_OK);
  EXPECT_EQ(written, sizeof out);

  uint8_t in[64] = {};
  DWORD got = 0;
  ASSERT_EQ(FT_Read(handle_, in, sizeof in, &got), FT_OK);
  ASSERT_EQ(got, sizeof in);
  EXPECT_EQ(std::memcmp(in, out, sizeof out), 0);
}

TEST_F(LoopbackTest, ReadTimeOutReturnsThePartialCount) {
  const uint8_t out[5] = {'h', 'e', 'l', 'l', 'o'};
  DWORD written = 0;
  ASSERT_EQ(FT_Write(handle_, const_cast<uint8_t*>(out), sizeof out, &written), FT_OK);

  uint8_t in[10] = {};
  DWORD got = 99;
  EXPECT_EQ(FT_Read(handle_, in, sizeof in, &got), FT_OK);
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(std::memcmp(in, out, 5), 0);

  // Nothing at all before the time-out is still a success, with a count of 0.
  got = 99;
  EXPECT_EQ(FT_Read(handle_, in, sizeof in, &got), FT_OK);
  EXPECT_EQ(got, 0u);
}

TEST_F(LoopbackTest, FailedReadWithNothingDeliveredIsIoError) {
  device_->FailReads(1);
  uint8_t in[4];
  DWORD got = 99;
  EXPECT_EQ(FT_Read(handle_, in, sizeof in, &got), FT_IO_ERROR);
  EXPECT_EQ(got, 0u);
  // The fault was one read: the handle keeps working.
  const uint8_t out[2] = {1, 2};
  DWORD written = 0;
  ASSERT_EQ(FT_Write(handle_, const_cast<uint8_t*>(out), 2, &written), FT_OK);
  EXPECT_EQ(FT_Read(handle_, in, 2, &got), FT_OK);
  EXPECT_EQ(got, 2u);
}

TEST_F(LoopbackTest, ReadFailingAfterSomeBytesKeepsThemAndReportsOk) {
  ASSERT_EQ(FT_SetTimeouts(handle_, 10000, 1000), FT_OK);
  const uint8_t incoming[5] = {10, 20, 30, 40, 50};
  device_->InjectFromPeer(incoming, sizeof incoming);

  uint8_t in[10] = {};
  DWORD got = 99;
  auto reader =
      std::async(std::launch::async, [&] { return FT_Read(handle_, in, sizeof in, &got); });
  // Once the read has taken the five queued bytes it waits for five more; the device leaves.
  ASSERT_TRUE(WaitForQueue(0));
  device_->Unplug();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(reader.get(), FT_OK);
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(std::memcmp(in, incoming, 5), 0);

  // After that, with nothing delivered, the failure shows.
  EXPECT_EQ(FT_Read(handle_, in, sizeof in, &got), FT_IO_ERROR);
  EXPECT_EQ(got, 0u);
  DWORD written = 99;
  EXPECT_EQ(FT_Write(handle_, in, 1, &written), FT_IO_ERROR);
  EXPECT_EQ(written, 0u);
}

TEST_F(LoopbackTest, MissingCounterOrBufferIsRefusedAndNothingMoves) {
  uint8_t data[4] = {1, 2, 3, 4};
  DWORD count = 0;
  EXPECT_EQ(FT_Write(handle_, data, sizeof data, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_Read(handle_, data, sizeof data, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_Write(handle_, nullptr, 1, &count), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_Read(handle_, nullptr, 1, &count), FT_INVALID_PARAMETER);
  EXPECT_EQ(device_->ReceiveQueueSize(), 0u);
  // An empty transfer needs no buffer.
  EXPECT_EQ(FT_Write(handle_, nullptr, 0, &count), FT_OK);
  EXPECT_EQ(count, 0u);
}

TEST_F(LoopbackTest, ClosedHandleIsRefusedAndTheCounterUntouched) {
  const FT_HANDLE stale = CloseAndKeep();
  uint8_t data[4] = {};
  DWORD count = 77;
  EXPECT_EQ(FT_Read(stale, data, sizeof data, &count), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_Write(stale, data, sizeof data, &count), FT_INVALID_HANDLE);
  EXPECT_EQ(count, 77u);
  const auto neverOpened = static_cast<FT_HANDLE>(INVALID_HANDLE_VALUE);
  EXPECT_EQ(FT_Read(neverOpened, data, sizeof data, &count), FT_INVALID_HANDLE);
  EXPECT_EQ(FT_Write(neverOpened, data, sizeof data, &count), FT_INVALID_HANDLE);
  EXPECT_EQ(count, 77u);
}

TEST_F(LoopbackTest, WaitOnMaskReturnsTheEventThatOccurred) {
  constexpr DWORD RECEIVED_CHAR = 0x1;  // the driver's "a byte arrived" event bit
  ASSERT_EQ(FT_SetWaitMask(handle_, RECEIVED_CHAR), FT_OK);
  DWORD events = 0;
  auto waiter = std::async(std::launch::async, [&] { return FT_WaitOnMask(handle_, &events); });
  const uint8_t byte = 0x55;
  device_->InjectFromPeer(&byte, 1);
  if (waiter.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // Changing the mask ends the wait, so the test does not hang on a failure.
    FT_SetWaitMask(handle_, 0);
    FAIL() << "FT_WaitOnMask did not return after the event";
  }
  EXPECT_EQ(waiter.get(), FT_OK);
  EXPECT_EQ(events & RECEIVED_CHAR, RECEIVED_CHAR);
  // The wait is its own request (not the comm-event wait): nothing in, the event word out.
  const auto requests = Sent();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().code, PRIMARY_BASE + 4 * 82);
  EXPECT_TRUE(requests.back().input.empty());
  EXPECT_EQ(requests.back().outputLength, 4u);
}

}  // namespace
}  // namespace ralvex::port_test
