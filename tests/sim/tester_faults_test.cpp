// Faults and notifications of the emulated tester, and its receive side under hostile input.
#include <random>

#include <gtest/gtest.h>

#include "sim/tester/tester_frame.h"
#include "tests/sim/tester_fake_line.h"

namespace ralvex::sim::testing {
namespace {

const Bytes FRAME_HELLO = {0x02, 0x01, 0x01, 0x01, 0x03};
const Bytes FRAME_STATS = {0x02, 0x01, 0x0C, 0x0C, 0x03};

TEST(TesterFaults, SilentTesterActsButNeverAnswers) {
  TesterBench bench("silent = true\nnotify = true");
  EXPECT_TRUE(bench.Raw(FRAME_HELLO).empty());
  EXPECT_TRUE(bench.Raw(Frame({0x0D, 2, 0, 0})).empty());
  EXPECT_TRUE(bench.Raw(Frame({0x10, 0xE8, 0x03})).empty());
}

TEST(TesterFaults, UnansweredCommandsOnly) {
  TesterBench bench("unanswered = [0x0B, 0x10]");
  EXPECT_TRUE(bench.Raw(Frame({0x0B})).empty());
  EXPECT_TRUE(bench.Raw(Frame({0x10, 0xE8, 0x03})).empty());
  EXPECT_EQ(bench.Ask({0x01})[0], 0x01);
  EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 1000);  // the unanswered set-load still took effect
}

TEST(TesterFaults, WrongReplyByte) {
  TesterBench bench("wrong_reply = [0x01, 0xE1]");
  EXPECT_EQ(bench.Ask({0x01}), (Bytes{0x41, 21, 0}));
  EXPECT_EQ(bench.Ask({0xE1, 0x02})[0], 0xA1);
  EXPECT_EQ(bench.Ask({0x0A})[0], 0x0A);
}

TEST(TesterFaults, BadEndByte) {
  TesterBench bench("bad_end_byte = [0x0C]");
  const auto frames = Decode(bench.Raw(FRAME_STATS));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload[0], 0x0C);
  EXPECT_EQ(frames[0].end, 0x04);
  EXPECT_EQ(Decode(bench.Raw(FRAME_HELLO)).at(0).end, 0x03);
}

TEST(TesterFaults, DefaultNoiseBeforeEveryReply) {
  TesterBench bench("noise_before_reply = true");
  const Bytes raw = bench.Raw(FRAME_HELLO);
  ASSERT_GT(raw.size(), 4u);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 4), (Bytes{0x55, 0xAA, 0x00, 0xFF}));
  EXPECT_EQ(Bytes(raw.begin() + 4, raw.end()), Frame({0x01, 21, 0}));
}

TEST(TesterFaults, ChosenNoiseBytes) {
  TesterBench bench("noise_before_reply = [0x03, 0x13]");
  size_t noise = 0;
  const auto frames = Decode(bench.Raw(FRAME_STATS), &noise);
  EXPECT_EQ(noise, 2u);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload[0], 0x0C);
}

TEST(TesterFaults, ReplyDelayHoldsEveryFrameBack) {
  TesterBench bench("reply_delay_ms = 750\nnotify = true");
  bench.peer->OnHostBytes(FRAME_HELLO.data(), FRAME_HELLO.size());
  const Bytes change = Frame({0x0D, 2, 0, 0});
  bench.peer->OnHostBytes(change.data(), change.size());
  ASSERT_EQ(bench.line.chunks.size(), 3u);  // hello reply, notification, acknowledgement
  for (const auto& chunk : bench.line.chunks) EXPECT_EQ(chunk.delayMs, 750u);
  EXPECT_EQ(bench.line.chunks[0].bytes, Frame({0x01, 21, 0}));
  EXPECT_EQ(bench.line.chunks[1].bytes[2], 0x20);
  EXPECT_EQ(bench.line.chunks[2].bytes, Frame({0x0D, 0}));
}

TEST(TesterFaults, NoDelayMeansImmediateSends) {
  TesterBench bench;
  bench.peer->OnHostBytes(FRAME_HELLO.data(), FRAME_HELLO.size());
  ASSERT_EQ(bench.line.chunks.size(), 1u);
  EXPECT_EQ(bench.line.chunks[0].delayMs, 0u);
}

TEST(TesterNotifications, ContractChangesAnnouncedBeforeTheAcknowledgement) {
  TesterBench bench("notify = true");
  auto frames = Decode(bench.Raw(Frame({0x0D, 5, 0x70, 0x17})));  // PD-APDO at 6000 mV
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload, (Bytes{0x20, 5, 0x70, 0x17}));
  EXPECT_EQ(frames[1].payload, (Bytes{0x0D, 0}));

  frames = Decode(bench.Raw(Frame({0x0D, 5, 0x40, 0x1F})));  // same profile, 8000 mV
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload, (Bytes{0x21, 5, 0x40, 0x1F}));

  // No change, no notification: the same request again, a refused one, other commands.
  EXPECT_EQ(Decode(bench.Raw(Frame({0x0D, 5, 0x40, 0x1F}))).size(), 1u);
  EXPECT_EQ(Decode(bench.Raw(Frame({0x0D, 5, 0xFF, 0xFF}))).size(), 1u);
  EXPECT_EQ(Decode(bench.Raw(Frame({0x10, 0xE8, 0x03}))).size(), 1u);
}

TEST(TesterNotifications, OffByDefault) {
  TesterBench bench;
  EXPECT_EQ(Decode(bench.Raw(Frame({0x0D, 2, 0, 0}))).size(), 1u);
}

TEST(TesterNotifications, NotAffectedByReplyFaults) {
  TesterBench bench("notify = true\nunanswered = [0x0D]");
  const auto frames = Decode(bench.Raw(Frame({0x0D, 3, 0, 0})));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload[0], 0x20);
}

TEST(TesterReceive, FrameSplitAcrossDeliveries) {
  TesterBench bench;
  const Bytes request = Frame({0x0D, 2, 0, 0});
  for (size_t i = 0; i + 1 < request.size(); ++i) {
    bench.peer->OnHostBytes(&request[i], 1);
    EXPECT_TRUE(bench.line.chunks.empty()) << "after byte " << i;
  }
  bench.peer->OnHostBytes(&request.back(), 1);
  EXPECT_EQ(bench.line.Take(), Frame({0x0D, 0}));
}

TEST(TesterReceive, SeveralFramesInOneDelivery) {
  TesterBench bench;
  Bytes both = FRAME_HELLO;
  both.insert(both.end(), FRAME_STATS.begin(), FRAME_STATS.end());
  const auto frames = Decode(bench.Raw(both));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].payload[0], 0x01);
  EXPECT_EQ(frames[1].payload[0], 0x0C);
}

TEST(TesterReceive, BadRequestsAreDroppedAndTheNextFrameIsFound) {
  TesterBench bench;
  EXPECT_TRUE(bench.Raw({0x02, 0x01, 0x01, 0x00, 0x03}).empty());  // wrong checksum
  EXPECT_TRUE(bench.Raw({0x02, 0x01, 0x01, 0x01, 0x04}).empty());  // wrong end byte
  // Noise, including a stray start byte right before the real frame.
  Bytes stream = {0x55, 0x03, 0x02};
  stream.insert(stream.end(), FRAME_HELLO.begin(), FRAME_HELLO.end());
  EXPECT_EQ(Decode(bench.Raw(stream)).size(), 1u);
  // A length no request comes near is not waited for.
  stream = {0x02, 0xF0};
  stream.insert(stream.end(), FRAME_HELLO.begin(), FRAME_HELLO.end());
  EXPECT_EQ(Decode(bench.Raw(stream)).size(), 1u);
}

TEST(TesterReceive, OpenDropsAHalfFrame) {
  TesterBench bench;
  bench.Raw({0x02, 0x03, 0x10});
  bench.peer->OnOpen();
  EXPECT_EQ(Decode(bench.Raw(FRAME_HELLO)).size(), 1u);
}

TEST(TesterReceive, DetachedTesterStaysQuiet) {
  TesterBench bench;
  bench.peer->Detach();
  bench.peer->OnHostBytes(FRAME_HELLO.data(), FRAME_HELLO.size());
  EXPECT_TRUE(bench.line.chunks.empty());
  bench.peer->Attach(&bench.line);
  EXPECT_EQ(Decode(bench.Raw(FRAME_HELLO)).size(), 1u);
}

TEST(TesterReceive, GarbageNeverBreaksIt) {
  TesterBench bench;
  std::mt19937 rng(1234);
  for (int round = 0; round < 200; ++round) {
    Bytes junk(rng() % 300);
    for (auto& b : junk) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0x02 : rng());
    // Occasionally a well-formed frame with random contents.
    if (round % 3 == 0) {
      Bytes payload(1 + rng() % 8);
      for (auto& b : payload) b = static_cast<uint8_t>(rng());
      const Bytes f = Frame(payload);
      junk.insert(junk.begin() + static_cast<ptrdiff_t>(junk.empty() ? 0 : rng() % junk.size()),
                  f.begin(), f.end());
    }
    size_t at = 0;
    while (at < junk.size()) {
      const size_t n = std::min<size_t>(1 + rng() % 40, junk.size() - at);
      bench.peer->OnHostBytes(junk.data() + at, n);
      at += n;
    }
    for (const auto& f : Decode(bench.line.Take())) {
      EXPECT_TRUE(f.checksumOk);
      EXPECT_EQ(f.end, 0x03);
    }
  }
  bench.peer->OnHostBytes(nullptr, 0);
  // Filler flushes whatever half frame the junk left; then the tester answers as before.
  const Bytes filler(80, 0x00);
  bench.peer->OnHostBytes(filler.data(), filler.size());
  bench.line.Take();
  EXPECT_EQ(bench.Ask({0x01}), (Bytes{0x01, 21, 0}));
}

TEST(TesterFrame, ReceiverHoldsNoMoreThanOneRequestsWorth) {
  TesterFrameReceiver receiver;
  const Bytes junk(10000, 0x02);
  int frames = 0;
  receiver.Push(junk.data(), junk.size(), [&](const uint8_t*, size_t) { ++frames; });
  EXPECT_EQ(frames, 0);
  EXPECT_LE(receiver.pending(), TESTER_MAX_REQUEST_PAYLOAD + 4);
}

}  // namespace
}  // namespace ralvex::sim::testing
