// The I/O context on its own: event reset kinds, QueueWrite's refusals, the thread's reports
// against a loopback device, a failed read completion, and handing the context over to a thread
// that is still running.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "link/io_context.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"

namespace ralvex::link {
namespace {

struct ContextDeleter {
  void operator()(IoContext* context) const { ReleaseIoContext(context); }
};
using ContextPtr = std::unique_ptr<IoContext, ContextDeleter>;

bool Signalled(HANDLE event) {
  return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

TEST(IoContextEvents, SlotsHaveTheirResetKinds) {
  ContextPtr context(CreateIoContext(nullptr, nullptr));
  ASSERT_NE(context, nullptr);
  const bool manual[IO_EVENT_COUNT] = {false, true, false, true, true, true, false};
  for (std::size_t slot = 0; slot < IO_EVENT_COUNT; ++slot) {
    SCOPED_TRACE(slot);
    HANDLE event = context->events[slot];
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(Signalled(event));
    SetEvent(event);
    EXPECT_TRUE(Signalled(event));
    EXPECT_EQ(Signalled(event), manual[slot]);
  }
  EXPECT_EQ(context->readRecord.hEvent, context->events[IO_SLOT_READ_DONE]);
  EXPECT_EQ(context->writeRecord.hEvent, context->events[IO_SLOT_WRITE_DONE]);
  EXPECT_EQ(context->spareRecord.hEvent, context->events[IO_SLOT_SPARE]);
  EXPECT_EQ(context->device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(context->thread, nullptr);
}

TEST(IoContextQueueWrite, CopiesTheFrameOrDropsIt) {
  ContextPtr context(CreateIoContext(nullptr, nullptr));
  ASSERT_NE(context, nullptr);
  HANDLE startWrite = context->events[IO_SLOT_START_WRITE];
  const std::uint8_t frame[] = {0x02, 0x01, 0x0C, 0x0C, 0x03};

  std::uint8_t big[IO_BUFFER_SIZE + 1] = {};
  EXPECT_FALSE(QueueWrite(context.get(), nullptr, 5));
  EXPECT_FALSE(QueueWrite(context.get(), frame, 0));
  EXPECT_FALSE(QueueWrite(context.get(), big, sizeof big));
  EXPECT_FALSE(QueueWrite(nullptr, frame, sizeof frame));
  EXPECT_FALSE(Signalled(startWrite));
  EXPECT_EQ(context->writePending.load(), 0);

  ASSERT_TRUE(QueueWrite(context.get(), frame, sizeof frame));
  EXPECT_EQ(context->writePending.load(), 1);
  EXPECT_EQ(context->transmitLength, sizeof frame);
  EXPECT_EQ(std::memcmp(context->transmitBuffer, frame, sizeof frame), 0);
  EXPECT_TRUE(Signalled(startWrite));
  ResetEvent(startWrite);

  // A second frame while the first is pending changes nothing.
  const std::uint8_t other[] = {0x02, 0x01, 0x0A, 0x0A, 0x03};
  EXPECT_FALSE(QueueWrite(context.get(), other, sizeof other));
  EXPECT_EQ(context->transmitBuffer[2], 0x0C);
  EXPECT_FALSE(Signalled(startWrite));

  // A full-size frame fits.
  context->writePending.store(0);
  std::uint8_t full[IO_BUFFER_SIZE];
  std::memset(full, 0x5A, sizeof full);
  EXPECT_TRUE(QueueWrite(context.get(), full, sizeof full));
  EXPECT_EQ(context->transmitLength, IO_BUFFER_SIZE);
}

TEST(IoContextLifetime, WithoutAContextEverythingIsANoOp) {
  EXPECT_EQ(IoThreadMain(nullptr), 0u);
  EXPECT_TRUE(StopIoThread(nullptr, 0));
  ReleaseIoContext(nullptr);
}

// Records what the thread reports and asks for reads of a fixed length.
struct Recorder {
  std::mutex mutex;
  std::vector<IoEvent> events;
  std::vector<std::uint8_t> data;
  std::uint32_t readLength = 5;

  static void Handle(IoContext* context, void* argument, IoEvent event) {
    auto* self = static_cast<Recorder*>(argument);
    std::lock_guard lock(self->mutex);
    self->events.push_back(event);
    if (event == IO_DATA) {
      self->data.insert(self->data.end(), context->receiveBuffer,
                        context->receiveBuffer + context->receivedCount);
    }
    if (event == IO_STARTED || event == IO_DATA) {
      context->readLength = self->readLength;
      SetEvent(context->events[IO_SLOT_START_READ]);
    }
  }

  std::vector<IoEvent> Events() {
    std::lock_guard lock(mutex);
    return events;
  }
  std::vector<std::uint8_t> Data() {
    std::lock_guard lock(mutex);
    return data;
  }
  bool WaitFor(std::size_t bytes) {
    for (int i = 0; i < 2500; ++i) {
      if (Data().size() >= bytes) return true;
      Sleep(2);
    }
    return false;
  }
};

class IoContextThread : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::BridgeDeviceConfig config;
    config.serial = "KORA0042";
    device_ = &bench_.AddDevice(config, std::make_shared<sim::LoopbackPeer>());
  }

  // A context on the opened device; reads wait up to 10 s for their count.
  IoContext* Opened(Recorder* recorder) {
    IoContext* context = CreateIoContext(Recorder::Handle, recorder);
    if (context == nullptr) return nullptr;
    context->device = FT_W32_CreateFile("KORA0042", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0x40000081, nullptr);
    if (context->device == INVALID_HANDLE_VALUE ||
        FT_SetTimeouts(context->device, 10000, 10000) != FT_OK) {
      ReleaseIoContext(context);
      return nullptr;
    }
    return context;
  }

  bool WaitUntilClosed() {
    for (int i = 0; i < 2500 && device_->IsOpen(); ++i) Sleep(2);
    return !device_->IsOpen();
  }

  sim::Bench bench_;
  sim::BridgeDevice* device_ = nullptr;
};

TEST_F(IoContextThread, WritesReadsAndStops) {
  Recorder recorder;
  ContextPtr context(Opened(&recorder));
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(StartIoThread(context.get()));
  EXPECT_FALSE(StartIoThread(context.get()));  // one thread per context

  const std::uint8_t frame[] = {0x02, 0x01, 0x0C, 0x0C, 0x03};
  ASSERT_TRUE(QueueWrite(context.get(), frame, sizeof frame));
  ASSERT_TRUE(recorder.WaitFor(5));
  EXPECT_EQ(recorder.Data(), std::vector<std::uint8_t>(frame, frame + 5));
  // The write completed, so the next frame is taken.
  for (int i = 0; i < 2500 && context->writePending.load() != 0; ++i) Sleep(2);
  ASSERT_TRUE(QueueWrite(context.get(), frame, sizeof frame));
  ASSERT_TRUE(recorder.WaitFor(10));

  ASSERT_TRUE(StopIoThread(context.get(), 5000));
  EXPECT_FALSE(device_->IsOpen());
  const std::vector<IoEvent> events = recorder.Events();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events.front(), IO_STARTED);
  EXPECT_EQ(events.back(), IO_STOPPED);
  EXPECT_EQ(std::count(events.begin(), events.end(), IO_WRITE_DONE), 2);
}

TEST_F(IoContextThread, FailedReadCompletionAsksForNoFurtherRead) {
  device_->FailReads(1);
  Recorder recorder;
  ContextPtr context(Opened(&recorder));
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(StartIoThread(context.get()));

  const std::uint8_t frame[] = {0x02, 0x01, 0x0C, 0x0C, 0x03};
  ASSERT_TRUE(QueueWrite(context.get(), frame, sizeof frame));
  for (int i = 0; i < 2500 && context->writePending.load() != 0; ++i) Sleep(2);
  EXPECT_EQ(context->writePending.load(), 0);
  // The loopback bytes sit in the device: no read takes them.
  for (int i = 0; i < 2500 && device_->ReceiveQueueSize() < 5; ++i) Sleep(2);
  EXPECT_EQ(device_->ReceiveQueueSize(), 5u);

  ASSERT_TRUE(StopIoThread(context.get(), 5000));
  const std::vector<IoEvent> events = recorder.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), IO_DATA), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), IO_WRITE_DONE), 1);
}

TEST_F(IoContextThread, ReleasedWhileRunningTheThreadFreesItAndReportsNoMore) {
  // Whichever of the owner and the thread lets go last frees the context; the sanitizer builds
  // check that neither touches it afterwards.
  Recorder recorder;
  for (int round = 0; round < 20; ++round) {
    IoContext* context = Opened(&recorder);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(StartIoThread(context));
    StopIoThread(context, round % 2 == 0 ? 0 : 5000);
    ReleaseIoContext(context);
    ASSERT_TRUE(WaitUntilClosed());
  }
  // A released context reports nothing after its release; a stopped one reported IO_STOPPED.
  const std::vector<IoEvent> events = recorder.Events();
  EXPECT_LE(std::count(events.begin(), events.end(), IO_STOPPED), 20);
  EXPECT_GE(std::count(events.begin(), events.end(), IO_STOPPED), 10);
}

}  // namespace
}  // namespace ralvex::link
