// The data side of the simulated bridge device: reads on count, time-out and cancel; writes to
// the peer; purges; opening; leaving the bus; the byte-level faults.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/bridge_device.h"
#include "sim/loopback_peer.h"
#include "sim/scripted_peer.h"
#include "sim/silent_peer.h"
#include "tests/sim/device_test_support.h"

namespace ralvex::sim {
namespace {

using testing::CallSlot;
using testing::Le32;
using testing::MakeConfig;
using testing::OpenOrDie;
using testing::ReadLe32;
using testing::TestIo;

void Inject(BridgeDevice& device, const std::string& text) {
  device.InjectFromPeer(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void SetTimeouts(posix::DeviceFile& file, uint32_t interval, uint32_t multiplier,
                 uint32_t constant) {
  std::vector<uint8_t> in;
  for (uint32_t v : {interval, multiplier, constant, 0u, 0u}) {
    std::vector<uint8_t> b = Le32(v);
    in.insert(in.end(), b.begin(), b.end());
  }
  ASSERT_EQ(CallSlot(file, 71, in).error, 0u);
}

void SetReadWriteMs(posix::DeviceFile& file, uint32_t readMs, uint32_t writeMs) {
  std::vector<uint8_t> in = Le32(readMs);
  std::vector<uint8_t> w = Le32(writeMs);
  in.insert(in.end(), w.begin(), w.end());
  ASSERT_EQ(CallSlot(file, 71, in).error, 0u);
}

TEST(SerialReads, LoopbackRoundTripCompletesAtOnce) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  device->SetPeer(std::make_shared<LoopbackPeer>());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo write(std::string("\x02\x01\x0C\x0C\x03", 5));
  file->StartWrite(write);
  ASSERT_TRUE(write.Done());
  EXPECT_EQ(write.Status(), 0u);
  EXPECT_EQ(write.Count(), 5u);
  EXPECT_EQ(device->ReceiveQueueSize(), 5u);
  TestIo read(5);
  file->StartRead(read);
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), 0u);
  EXPECT_EQ(read.Text(), std::string("\x02\x01\x0C\x0C\x03", 5));
  EXPECT_EQ(device->ReceiveQueueSize(), 0u);
}

TEST(SerialReads, CompleteOnCountAcrossSeveralArrivals) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo read(6);
  file->StartRead(read);
  EXPECT_FALSE(read.Done());
  Inject(*device, "abc");
  EXPECT_FALSE(read.Done());
  Inject(*device, "defgh");
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), 0u);
  EXPECT_EQ(read.Text(), "abcdef");
  EXPECT_EQ(device->ReceiveQueueSize(), 2u);  // the rest waits for the next read
}

TEST(SerialReads, ReadsAreServedInTheOrderTheyStarted) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo first(2), second(2);
  file->StartRead(first);
  file->StartRead(second);
  Inject(*device, "wxyz");
  ASSERT_TRUE(first.Done() && second.Done());
  EXPECT_EQ(first.Text(), "wx");
  EXPECT_EQ(second.Text(), "yz");
}

TEST(SerialReads, TotalTimeoutCompletesWithWhatArrived) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  SetReadWriteMs(*file, 50, 50);
  TestIo read(5);
  file->StartRead(read);
  Inject(*device, "ok");
  ASSERT_TRUE(read.WaitDone());
  EXPECT_EQ(read.Status(), STATUS_TIMEOUT);  // a success with a short count
  EXPECT_EQ(read.Text(), "ok");

  TestIo empty(5);
  file->StartRead(empty);
  ASSERT_TRUE(empty.WaitDone());
  EXPECT_EQ(empty.Status(), STATUS_TIMEOUT);
  EXPECT_EQ(empty.Count(), 0u);
}

TEST(SerialReads, ZeroTimeoutWaitsForTheFullCount) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  SetReadWriteMs(*file, 0, 0);
  TestIo read(3);
  file->StartRead(read);
  Inject(*device, "ab");
  EXPECT_FALSE(read.WaitDone(100));
  Inject(*device, "c");
  ASSERT_TRUE(read.WaitDone());
  EXPECT_EQ(read.Text(), "abc");
}

TEST(SerialReads, CommTimeoutModes) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);

  // MAXDWORD, 0, 0: at once with whatever is buffered.
  SetTimeouts(*file, MAXDWORD, 0, 0);
  TestIo nothing(4);
  file->StartRead(nothing);
  ASSERT_TRUE(nothing.Done());
  EXPECT_EQ(nothing.Status(), 0u);
  EXPECT_EQ(nothing.Count(), 0u);
  Inject(*device, "xy");
  TestIo some(4);
  file->StartRead(some);
  ASSERT_TRUE(some.Done());
  EXPECT_EQ(some.Text(), "xy");

  // MAXDWORD, MAXDWORD, C: at the first bytes, or after C with none.
  SetTimeouts(*file, MAXDWORD, MAXDWORD, 40);
  TestIo first(4);
  file->StartRead(first);
  EXPECT_FALSE(first.Done());
  Inject(*device, "z");
  ASSERT_TRUE(first.Done());
  EXPECT_EQ(first.Text(), "z");
  TestIo expired(4);
  file->StartRead(expired);
  ASSERT_TRUE(expired.WaitDone());
  EXPECT_EQ(expired.Status(), STATUS_TIMEOUT);
  EXPECT_EQ(expired.Count(), 0u);

  // Interval only: no limit before the first byte, then a gap ends the read.
  SetTimeouts(*file, 30, 0, 0);
  TestIo gap(4);
  file->StartRead(gap);
  EXPECT_FALSE(gap.WaitDone(80));
  Inject(*device, "q");
  ASSERT_TRUE(gap.WaitDone());
  EXPECT_EQ(gap.Status(), STATUS_TIMEOUT);
  EXPECT_EQ(gap.Text(), "q");

  // Multiplier and constant: M * n + C.
  SetTimeouts(*file, 0, 10, 10);
  TestIo total(3);
  file->StartRead(total);
  ASSERT_TRUE(total.WaitDone());
  EXPECT_EQ(total.Status(), STATUS_TIMEOUT);
}

TEST(SerialReads, ZeroLengthReadAndWriteCompleteAtOnce) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo read(0), write(0);
  file->StartRead(read);
  file->StartWrite(write);
  EXPECT_TRUE(read.Done() && write.Done());
  EXPECT_EQ(read.Status(), 0u);
  EXPECT_EQ(write.Count(), 0u);
}

TEST(SerialReads, CancelCompletesOnceKeepingTheBytesDelivered) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo read(8);
  file->StartRead(read);
  Inject(*device, "abc");
  file->Cancel(read);
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), STATUS_CANCELLED);
  EXPECT_EQ(read.Text(), "abc");
  file->Cancel(read);  // already finished: nothing happens
  Inject(*device, "d");
  EXPECT_EQ(read.Completions(), 1);
  EXPECT_EQ(device->ReceiveQueueSize(), 1u);
}

TEST(SerialReads, CloseWithAReadPendingCompletesIt) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  SetReadWriteMs(*file, 10000, 10000);
  TestIo read(4);
  file->StartRead(read);
  file->Close();
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), STATUS_CANCELLED);
  file.reset();
  EXPECT_FALSE(device->IsOpen());
  EXPECT_NE(OpenOrDie(*device), nullptr);
}

TEST(SerialReads, TimeoutCancelAndArrivalRaceCompletesExactlyOnce) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  SetReadWriteMs(*file, 1, 1);
  for (int i = 0; i < 200; ++i) {
    TestIo read(2);
    file->StartRead(read);
    std::thread sender([&] { Inject(*device, "r"); });
    file->Cancel(read);
    sender.join();
    ASSERT_TRUE(read.WaitDone());
    EXPECT_EQ(read.Completions(), 1);
  }
}

TEST(SerialWrites, BytesReachThePeerInOrder) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto peer = std::make_shared<ScriptedPeer>();
  device->SetPeer(peer);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(peer->OpenCount(), 1u);
  TestIo one(std::string("hel")), two(std::string("lo"));
  file->StartWrite(one);
  file->StartWrite(two);
  EXPECT_TRUE(one.Done() && two.Done());
  std::vector<uint8_t> received = peer->Received();
  EXPECT_EQ(std::string(received.begin(), received.end()), "hello");
  file->Close();
  EXPECT_EQ(peer->CloseCount(), 1u);
}

TEST(SerialWrites, WithoutPeerWritesStillComplete) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo write(std::string("into the void"));
  file->StartWrite(write);
  ASSERT_TRUE(write.Done());
  EXPECT_EQ(write.Count(), 13u);
  auto silent = std::make_shared<SilentPeer>();
  device->SetPeer(silent);
  TestIo again(std::string("abc"));
  file->StartWrite(again);
  EXPECT_EQ(silent->BytesReceived(), 3u);
  EXPECT_EQ(device->ReceiveQueueSize(), 0u);
}

TEST(SerialPeers, ScriptedAnswersAndDelayedBytesKeepTheirOrder) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto peer = std::make_shared<ScriptedPeer>();
  device->SetPeer(peer);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  peer->QueueAnswer({'O', 'K'}, 20);
  TestIo write(std::string("?"));
  file->StartWrite(write);
  TestIo read(2);
  file->StartRead(read);
  ASSERT_TRUE(read.WaitDone());
  EXPECT_EQ(read.Text(), "OK");

  // A later, shorter delay does not overtake an earlier one.
  ASSERT_TRUE(peer->SendAfter(40, {'A'}));
  ASSERT_TRUE(peer->SendAfter(5, {'B'}));
  TestIo both(2);
  file->StartRead(both);
  ASSERT_TRUE(both.WaitDone());
  EXPECT_EQ(both.Text(), "AB");

  peer->SetHandler([](const uint8_t* data, size_t length, SerialLine& line) {
    std::vector<uint8_t> doubled;
    for (size_t i = 0; i < length; ++i) doubled.insert(doubled.end(), 2, data[i]);
    line.SendToHost(doubled.data(), doubled.size());
  });
  TestIo ask(std::string("xy"));
  file->StartWrite(ask);
  TestIo answer(4);
  file->StartRead(answer);
  ASSERT_TRUE(answer.Done());
  EXPECT_EQ(answer.Text(), "xxyy");

  device->SetPeer(nullptr);
  EXPECT_FALSE(peer->Attached());
  EXPECT_FALSE(peer->Send({'!'}));
}

TEST(SerialQueues, PurgeEmptiesTheReceiveQueueAndPendingReadsWait) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  Inject(*device, "stale");
  testing::Reply status = CallSlot(*file, 37, std::vector<uint8_t>(12, 0), 12);
  EXPECT_EQ(ReadLe32(status.out, 0), 5u);
  EXPECT_EQ(ReadLe32(status.out, 4), 0u);
  EXPECT_EQ(ReadLe32(status.out, 8) & 1u, 1u);  // characters arrived
  EXPECT_EQ(ReadLe32(CallSlot(*file, 91, Le32(0), 4).out, 0), 5u);
  ASSERT_EQ(CallSlot(*file, 83, Le32(1)).error, 0u);
  EXPECT_EQ(ReadLe32(CallSlot(*file, 118, Le32(0), 4).out, 0), 0u);

  TestIo read(3);
  file->StartRead(read);
  ASSERT_EQ(CallSlot(*file, 83, Le32(3)).error, 0u);
  EXPECT_FALSE(read.Done());
  Inject(*device, "new");
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Text(), "new");
}

TEST(SerialQueues, OverflowKeepsTheQueueBoundedAndReportsIt) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> block(RECEIVE_QUEUE_CAPACITY - 10, 'a');
  device->InjectFromPeer(block.data(), block.size());
  Inject(*device, "0123456789ABCDEF");
  EXPECT_EQ(device->ReceiveQueueSize(), RECEIVE_QUEUE_CAPACITY);
  testing::Reply errors = CallSlot(*file, 99, std::vector<uint8_t>(16, 0), 16);
  EXPECT_EQ(ReadLe32(errors.out, 0), CE_RXOVER);
  EXPECT_EQ(ReadLe32(errors.out, 8), RECEIVE_QUEUE_CAPACITY);   // cbInQue
  EXPECT_EQ(ReadLe32(CallSlot(*file, 99, {}, 16).out, 0), 0u);  // reading clears it
}

TEST(SerialQueues, StopInTaskHoldsDataUntilRestart) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 103).error, 0u);
  TestIo read(2);
  file->StartRead(read);
  Inject(*device, "hi");
  EXPECT_FALSE(read.Done());
  EXPECT_EQ(device->ReceiveQueueSize(), 2u);
  EXPECT_TRUE(device->LineState().stopped);
  ASSERT_EQ(CallSlot(*file, 104).error, 0u);
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Text(), "hi");
}

TEST(SerialQueues, ResetDeviceRestoresLineDefaultsAndKeepsTimeouts) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  CallSlot(*file, 65, Le32(115200));
  CallSlot(*file, 92, {2});
  SetReadWriteMs(*file, 500, 500);
  Inject(*device, "junk");
  ASSERT_EQ(CallSlot(*file, 1).error, 0u);
  BridgeLineState line = device->LineState();
  EXPECT_EQ(line.baudRate, 9600u);
  EXPECT_EQ(line.latencyTimer, 16);
  EXPECT_EQ(line.readTotalConstant, 500u);
  EXPECT_EQ(device->ReceiveQueueSize(), 0u);
  EXPECT_EQ(CallSlot(*file, 106).error, 0u);  // a port reset keeps the handle too
  EXPECT_EQ(CallSlot(*file, 113, {}, 2).error, 0u);
}

TEST(SerialEvents, WaitCommEventEndsOnEventOrMaskChange) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(CallSlot(*file, 98, {}, 4).error, ERROR_INVALID_PARAMETER);  // no mask: no wait

  ASSERT_EQ(CallSlot(*file, 97, Le32(EV_RXCHAR)).error, 0u);
  EXPECT_EQ(ReadLe32(CallSlot(*file, 112, {}, 4).out, 0), EV_RXCHAR);
  Inject(*device, "x");  // happened before the wait: remembered
  testing::Reply got = CallSlot(*file, 98, {}, 4);
  EXPECT_EQ(got.error, 0u);
  EXPECT_EQ(ReadLe32(got.out, 0), EV_RXCHAR);

  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Inject(*device, "y");
  });
  got = CallSlot(*file, 82, {}, 4);
  later.join();
  EXPECT_EQ(ReadLe32(got.out, 0), EV_RXCHAR);

  std::thread remask([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    CallSlot(*file, 81, Le32(EV_TXEMPTY));
  });
  got = CallSlot(*file, 98, {}, 4);
  remask.join();
  EXPECT_EQ(got.error, 0u);
  EXPECT_EQ(ReadLe32(got.out, 0), 0u);
}

TEST(SerialOpen, OneOpenAtATimeAndHeldOpenRefusesAll) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  std::unique_ptr<posix::DeviceFile> second;
  EXPECT_EQ(device->Open(true, &second), ERROR_ACCESS_DENIED);
  EXPECT_EQ(device->Open(false, &second), ERROR_ACCESS_DENIED);
  EXPECT_EQ(second, nullptr);
  file->Close();
  file.reset();
  EXPECT_EQ(device->Open(true, &second), 0u);
  second.reset();  // destroying without Close also releases it
  EXPECT_FALSE(device->IsOpen());

  BridgeDeviceConfig config = MakeConfig();
  config.heldOpen = true;
  auto held = std::make_shared<BridgeDevice>(config);
  std::unique_ptr<posix::DeviceFile> none;
  EXPECT_EQ(held->Open(true, &none), ERROR_ACCESS_DENIED);
  held->SetHeldOpen(false);
  EXPECT_EQ(held->Open(true, &none), 0u);
}

TEST(SerialFaults, FailingReadsCompleteWithAnError) {
  BridgeDeviceConfig config = MakeConfig();
  config.readFailures = 2;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  Inject(*device, "abc");
  for (int i = 0; i < 2; ++i) {
    TestIo read(1);
    file->StartRead(read);
    ASSERT_TRUE(read.Done());
    EXPECT_EQ(read.Status(), STATUS_IO_DEVICE_ERROR);
    EXPECT_EQ(read.Count(), 0u);
  }
  TestIo fine(3);
  file->StartRead(fine);
  ASSERT_TRUE(fine.Done());
  EXPECT_EQ(fine.Text(), "abc");  // nothing was lost to the failures

  device->FailReads(EVERY_READ);
  for (int i = 0; i < 3; ++i) {
    TestIo read(1);
    file->StartRead(read);
    EXPECT_EQ(read.Status(), STATUS_IO_DEVICE_ERROR);
  }
}

TEST(SerialFaults, UnplugAfterBytesCutsTheCrossingTransfer) {
  BridgeDeviceConfig config = MakeConfig();
  config.unplugAfterBytes = 7;
  auto device = std::make_shared<BridgeDevice>(config);
  device->SetPeer(std::make_shared<LoopbackPeer>());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo write(std::string("abc"));  // 3 of the 7 bytes, echoed back into the queue
  file->StartWrite(write);
  EXPECT_EQ(write.Status(), 0u);
  TestIo read(5);  // 5 queued, but only 4 more may move
  Inject(*device, "de");
  file->StartRead(read);
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(read.Text(), "abcd");
  EXPECT_FALSE(device->Present());
  TestIo after(std::string("x"));
  file->StartWrite(after);
  EXPECT_EQ(after.Status(), STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(CallSlot(*file, 113, {}, 2).error, ERROR_DEVICE_NOT_CONNECTED);
  std::unique_ptr<posix::DeviceFile> again;
  EXPECT_EQ(device->Open(true, &again), ERROR_FILE_NOT_FOUND);
}

TEST(SerialFaults, UnplugFailsPendingIoAndReplugNeedsANewOpen) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  TestIo read(4);
  file->StartRead(read);
  Inject(*device, "ab");
  device->Unplug();
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(read.Count(), 2u);
  Inject(*device, "lost");  // nobody is listening on a device off the bus
  device->Replug();
  EXPECT_TRUE(device->Present());
  EXPECT_EQ(CallSlot(*file, 113, {}, 2).error, ERROR_DEVICE_NOT_CONNECTED);
  auto fresh = OpenOrDie(*device);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(device->ReceiveQueueSize(), 0u);
  EXPECT_EQ(CallSlot(*fresh, 113, {}, 2).error, 0u);
}

TEST(SerialFaults, CyclePortLeavesUntilReenumeration) {
  auto device = std::make_shared<BridgeDevice>(MakeConfig());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  CallSlot(*file, 65, Le32(115200));
  EXPECT_EQ(CallSlot(*file, 16).error, 0u);
  EXPECT_TRUE(device->Cycled());
  EXPECT_FALSE(device->Present());
  std::unique_ptr<posix::DeviceFile> none;
  EXPECT_EQ(device->Open(true, &none), ERROR_FILE_NOT_FOUND);
  device->Reenumerate();
  EXPECT_FALSE(device->Cycled());
  auto fresh = OpenOrDie(*device);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(device->LineState().baudRate, 9600u);  // it came back reset
  EXPECT_EQ(CallSlot(*file, 113, {}, 2).error, ERROR_DEVICE_NOT_CONNECTED);

  device->Unplug();
  device->Reenumerate();  // an unplugged device does not come back by re-enumeration
  EXPECT_FALSE(device->Present());
}

TEST(SerialFaults, RestartResetsStateAndEndsOldFiles) {
  BridgeDeviceConfig config = MakeConfig();
  config.restartNeedsReboot = true;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  SetReadWriteMs(*file, 1000, 1000);
  TestIo read(1);
  file->StartRead(read);
  bool reboot = false;
  EXPECT_EQ(device->Restart(&reboot), 0u);
  EXPECT_TRUE(reboot);
  ASSERT_TRUE(read.Done());
  EXPECT_EQ(read.Status(), STATUS_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(device->Present());
  EXPECT_EQ(device->LineState().readTotalConstant, 0u);
  auto fresh = OpenOrDie(*device);
  EXPECT_NE(fresh, nullptr);

  BridgeDeviceConfig failing = MakeConfig();
  failing.restartFails = true;
  auto stubborn = std::make_shared<BridgeDevice>(failing);
  EXPECT_NE(stubborn->Restart(&reboot), 0u);
}

TEST(SerialWire, WireModelDelaysBothDirections) {
  BridgeDeviceConfig config = MakeConfig();
  config.wireModel = true;
  auto device = std::make_shared<BridgeDevice>(config);
  device->SetPeer(std::make_shared<LoopbackPeer>());
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 65, Le32(9600)).error, 0u);
  ASSERT_EQ(CallSlot(*file, 92, {1}).error, 0u);
  TestIo write(std::string(20, 'w'));  // about 21 ms at 9600 baud
  file->StartWrite(write);
  EXPECT_FALSE(write.Done());
  EXPECT_EQ(ReadLe32(CallSlot(*file, 37, {}, 12).out, 4), 20u);  // still in the transmit queue
  TestIo read(20);
  file->StartRead(read);
  ASSERT_TRUE(write.WaitDone());
  EXPECT_EQ(write.Count(), 20u);
  ASSERT_TRUE(read.WaitDone());
  EXPECT_EQ(read.Text(), std::string(20, 'w'));

  // A purge of the transmit side drops output still on its way.
  TestIo dropped(std::string(50, 'd'));
  file->StartWrite(dropped);
  ASSERT_EQ(CallSlot(*file, 83, Le32(2)).error, 0u);
  ASSERT_TRUE(dropped.Done());
  EXPECT_EQ(dropped.Status(), STATUS_CANCELLED);
  EXPECT_EQ(dropped.Count(), 0u);
}

// Waits (bounded) until bytes have reached the receive queue; returns how many.
size_t FirstArrival(const BridgeDevice& device) {
  for (int i = 0; i < 2000 && device.ReceiveQueueSize() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return device.ReceiveQueueSize();
}

TEST(SerialWire, HostBoundBytesLeaveTheChipInPackets) {
  // The longest latency timer: a packet the timer sends comes a quarter second after the bytes,
  // so whatever reaches the queue first tells which rule sent it.
  const struct {
    const char* name;
    uint8_t eventChar;
    bool eventEnabled;
    std::string bytes;
    size_t firstPacket;
  } cases[] = {
      {"the event char sends what waits, itself included", 0x03, true,
       std::string("ab\x03"
                   "cd"),
       3},
      {"with the event char disabled all wait for the timer", 0x03, false,
       std::string("ab\x03"
                   "cd"),
       5},
      {"62 data bytes go at once", 0x03, true, std::string(70, 'x'), 62},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BridgeDeviceConfig config = MakeConfig();
    config.wireModel = true;
    auto device = std::make_shared<BridgeDevice>(config);
    auto file = OpenOrDie(*device);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(CallSlot(*file, 65, Le32(115200)).error, 0u);
    ASSERT_EQ(CallSlot(*file, 92, {255}).error, 0u);
    ASSERT_EQ(CallSlot(*file, 87, {c.eventChar, uint8_t{c.eventEnabled}, 0, 0}).error, 0u);
    Inject(*device, c.bytes);
    EXPECT_EQ(FirstArrival(*device), c.firstPacket);
    TestIo read(c.bytes.size());
    file->StartRead(read);
    ASSERT_TRUE(read.WaitDone());
    EXPECT_EQ(read.Text(), c.bytes);
  }
}

TEST(SerialWire, PurgeDropsWhatTheChipStillHolds) {
  BridgeDeviceConfig config = MakeConfig();
  config.wireModel = true;
  auto device = std::make_shared<BridgeDevice>(config);
  auto file = OpenOrDie(*device);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(CallSlot(*file, 92, {255}).error, 0u);
  Inject(*device, "held");
  ASSERT_EQ(CallSlot(*file, 83, Le32(1)).error, 0u);  // the receive side
  Inject(*device, "new");
  TestIo read(3);
  file->StartRead(read);
  ASSERT_TRUE(read.WaitDone());
  EXPECT_EQ(read.Text(), "new");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(device->ReceiveQueueSize(), 0u);
}

}  // namespace
}  // namespace ralvex::sim
