// The I/O context on its own: QueueWrite's refusals, opening, the thread's reports against a
// loopback device, reads held within the receive buffer, a failed read completion, and releasing
// the context while its thread still runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "link/io_context.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"

namespace ralvex::link {
namespace {

using Bytes = std::vector<uint8_t>;

struct ContextReleaser {
  void operator()(IoContext* context) const { context->Release(); }
};
using ContextPtr = std::unique_ptr<IoContext, ContextReleaser>;

Bytes Frame(std::size_t length, uint8_t fill) {
  return Bytes(length, fill);
}

TEST(IoContextQueueWrite, TakesOneFrameAtATimeWithinTheBuffer) {
  ContextPtr context(IoContext::Create(nullptr, nullptr));
  ASSERT_NE(context, nullptr);
  EXPECT_FALSE(context->QueueWrite({}));
  EXPECT_FALSE(context->QueueWrite(Frame(IO_BUFFER_SIZE + 1, 0x5A)));
  EXPECT_FALSE(context->WritePending());

  EXPECT_TRUE(context->QueueWrite(Frame(IO_BUFFER_SIZE, 0x5A)));
  EXPECT_TRUE(context->WritePending());
  // No thread takes it, so the next frame is dropped.
  EXPECT_FALSE(context->QueueWrite(Frame(5, 0x0C)));
}

TEST(IoContextOpen, NoDeviceNoThread) {
  sim::Bench bench;
  ContextPtr context(IoContext::Create(nullptr, nullptr));
  ASSERT_NE(context, nullptr);
  EXPECT_FALSE(context->StartThread());  // nothing to serve
  EXPECT_FALSE(context->OpenDevice(nullptr));
  EXPECT_FALSE(context->OpenDevice("KORA0042"));
  EXPECT_FALSE(context->StartThread());
  EXPECT_FALSE(context->HasThread());
  EXPECT_TRUE(context->Stop(0));
}

// Records what the thread reports and asks for reads of a fixed length.
struct Recorder {
  std::mutex mutex;
  std::vector<IoEvent> events;
  std::vector<uint8_t> data;
  std::size_t readLength = 5;

  std::size_t largestDelivery = 0;

  static void Handle(IoContext& context, void* argument, IoEvent event) {
    auto* self = static_cast<Recorder*>(argument);
    std::lock_guard lock(self->mutex);
    self->events.push_back(event);
    if (event == IO_DATA) {
      const std::span<const uint8_t> delivery = context.Delivery();
      self->data.insert(self->data.end(), delivery.begin(), delivery.end());
      self->largestDelivery = std::max(self->largestDelivery, delivery.size());
    }
    if (event == IO_STARTED || event == IO_DATA) context.RequestRead(self->readLength);
  }

  std::vector<IoEvent> Events() {
    std::lock_guard lock(mutex);
    return events;
  }
  std::vector<uint8_t> Data() {
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
    IoContext* context = IoContext::Create(Recorder::Handle, recorder);
    if (context == nullptr) return nullptr;
    if (!context->OpenDevice("KORA0042")) {
      context->Release();
      return nullptr;
    }
    return context;
  }

  bool WaitWriteDone(const IoContext& context) {
    for (int i = 0; i < 2500 && context.WritePending(); ++i) Sleep(2);
    return !context.WritePending();
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
  ASSERT_TRUE(context->StartThread());
  EXPECT_FALSE(context->StartThread());  // one thread per context

  const Bytes frame = {0x02, 0x01, 0x0C, 0x0C, 0x03};
  ASSERT_TRUE(context->QueueWrite(frame));
  ASSERT_TRUE(recorder.WaitFor(5));
  EXPECT_EQ(recorder.Data(), frame);
  // The write completed, so the next frame is taken.
  ASSERT_TRUE(WaitWriteDone(*context));
  ASSERT_TRUE(context->QueueWrite(frame));
  ASSERT_TRUE(recorder.WaitFor(10));
  // The echo can come back before the write's completion: a stop then would leave it unreported.
  ASSERT_TRUE(WaitWriteDone(*context));

  ASSERT_TRUE(context->Stop(5000));
  EXPECT_FALSE(device_->IsOpen());  // the thread closed it as it stopped
  const std::vector<IoEvent> events = recorder.Events();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events.front(), IO_STARTED);
  EXPECT_EQ(events.back(), IO_STOPPED);
  EXPECT_EQ(std::count(events.begin(), events.end(), IO_WRITE_DONE), 2);
}

TEST_F(IoContextThread, ReadsNeverExceedTheReceiveBuffer) {
  // The handler asks for more than the buffer holds; a full-size frame comes back whole.
  Recorder recorder;
  recorder.readLength = 4 * IO_BUFFER_SIZE;
  ContextPtr context(Opened(&recorder));
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(context->StartThread());
  Bytes frame(IO_BUFFER_SIZE);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(context->QueueWrite(frame));
  ASSERT_TRUE(recorder.WaitFor(frame.size()));
  EXPECT_EQ(recorder.Data(), frame);
  EXPECT_LE(recorder.largestDelivery, IO_BUFFER_SIZE);
}

TEST_F(IoContextThread, FailedReadCompletionAsksForNoFurtherRead) {
  device_->FailReads(1);
  Recorder recorder;
  ContextPtr context(Opened(&recorder));
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(context->StartThread());

  ASSERT_TRUE(context->QueueWrite(Bytes{0x02, 0x01, 0x0C, 0x0C, 0x03}));
  EXPECT_TRUE(WaitWriteDone(*context));
  // The loopback bytes sit in the device: no read takes them.
  for (int i = 0; i < 2500 && device_->ReceiveQueueSize() < 5; ++i) Sleep(2);
  EXPECT_EQ(device_->ReceiveQueueSize(), 5u);

  ASSERT_TRUE(context->Stop(5000));
  const std::vector<IoEvent> events = recorder.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), IO_DATA), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), IO_WRITE_DONE), 1);
}

TEST_F(IoContextThread, ReleaseStopsTheThreadWhicheverLetsGoLastFreesTheContext) {
  // Released after a stop that waited, after one that did not, and without one: in each case the
  // device ends up closed, and the sanitizer builds check that nobody touches the freed context.
  Recorder recorder;
  for (int round = 0; round < 21; ++round) {
    IoContext* context = Opened(&recorder);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(context->StartThread());
    if (round % 3 != 2) context->Stop(round % 3 == 0 ? 0 : 5000);
    context->Release();
    ASSERT_TRUE(WaitUntilClosed());
  }
  // Only a thread that stopped before its release reports IO_STOPPED.
  const std::vector<IoEvent> events = recorder.Events();
  EXPECT_LE(std::count(events.begin(), events.end(), IO_STOPPED), 14);
  EXPECT_GE(std::count(events.begin(), events.end(), IO_STOPPED), 7);
}

// A context that never got its thread closes the device itself.
TEST_F(IoContextThread, ReleaseWithoutAThreadClosesTheDevice) {
  IoContext* context = Opened(nullptr);
  ASSERT_NE(context, nullptr);
  EXPECT_TRUE(device_->IsOpen());
  context->Release();
  EXPECT_FALSE(device_->IsOpen());
}

}  // namespace
}  // namespace ralvex::link
