#include "link/receive_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"

namespace ralvex::link {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

Bytes Frame(const Bytes& payload) {
  Bytes out(payload.size() + FRAME_OVERHEAD);
  out.resize(BuildFrame(payload, out));
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// What the link would see, read by read, when the stream arrives in the read lengths the parser
// asks for.
struct Trace {
  std::vector<uint32_t> readLengths;  // after each delivery
  std::vector<Bytes> replies;         // payload at each reply signal
  std::vector<int> notifications;
};

class ParserTest : public ::testing::Test {
 protected:
  // The parser is 8 KiB; keep it off the test's stack like the link keeps it in its object.
  std::unique_ptr<ReceiveParser> owned_ = std::make_unique<ReceiveParser>();
  ReceiveParser& parser_ = *owned_;
  uint32_t readLength_ = ReceiveParser::StartReadLength();

  void Deliver(const Bytes& delivery, Trace& t) {
    const ParseResult r = parser_.Feed(delivery);
    EXPECT_EQ(r.consumed, delivery.size());
    EXPECT_GE(r.readLength, 1u);
    EXPECT_LE(r.readLength, IO_BUFFER_SIZE);
    EXPECT_FALSE(r.replyReady && r.notification != 0);
    readLength_ = r.readLength;
    t.readLengths.push_back(r.readLength);
    if (r.replyReady) {
      auto reply = parser_.Reply();
      t.replies.emplace_back(reply.begin(), reply.end());
    }
    if (r.notification != 0) t.notifications.push_back(r.notification);
  }

  Trace Stream(const Bytes& bytes) {
    Trace t;
    std::size_t at = 0;
    while (at < bytes.size()) {
      const std::size_t n = std::min<std::size_t>(readLength_, bytes.size() - at);
      Deliver(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    bytes.begin() + static_cast<std::ptrdiff_t>(at + n)),
              t);
      at += n;
    }
    return t;
  }
};

TEST_F(ParserTest, NoiseBeforeAFrameIsDropped) {
  const Trace t = Stream({0x55, 0x02, 0x01, 0x0A, 0x0A, 0x03});
  ASSERT_EQ(t.replies.size(), 1u);
  EXPECT_THAT(t.replies[0], ElementsAre(0x0A));
  // 55 (hunt), 02 (length next), 01 (3 to come), then 0A 0A 03 in one read.
  EXPECT_THAT(t.readLengths, ElementsAre(1u, 1u, 3u, 1u));
  EXPECT_TRUE(parser_.Hunting());
}

TEST_F(ParserTest, StartAndEndBytesInsidePayloadAreData) {
  const Bytes payload = {0x0C, 0x02, 0x03, 0x02, 0x03};
  const Trace t = Stream(Concat({Frame(payload), Frame({0x0B})}));
  ASSERT_EQ(t.replies.size(), 2u);
  EXPECT_EQ(t.replies[0], payload);
  EXPECT_THAT(t.replies[1], ElementsAre(0x0B));
}

TEST_F(ParserTest, WrongEndByteDiscardsTheFrameAndHuntsOnTheNextByte) {
  Bytes bad = Frame({0x0A, 0x01});
  bad.back() = 0x04;
  Trace t = Stream(bad);
  EXPECT_TRUE(t.replies.empty());
  EXPECT_TRUE(t.notifications.empty());
  EXPECT_TRUE(parser_.Hunting());
  EXPECT_EQ(readLength_, 1u);

  t = Stream(Frame({0x0C}));
  ASSERT_EQ(t.replies.size(), 1u);
  EXPECT_THAT(t.replies[0], ElementsAre(0x0C));
}

TEST_F(ParserTest, DiscardedBytesAreNotSearchedForAStartByte) {
  // The body holds a complete frame, but it belongs to the broken outer frame.
  const Bytes inner = Frame({0x0A});
  Bytes outer = {STX, static_cast<uint8_t>(inner.size())};
  outer.insert(outer.end(), inner.begin(), inner.end());
  outer.push_back(0x00);  // checksum
  outer.push_back(0x7F);  // wrong end byte
  EXPECT_TRUE(Stream(outer).replies.empty());
}

TEST_F(ParserTest, WrongChecksumIsAccepted) {
  Bytes f = Frame({0x0C, 0x00, 0x19});
  f[f.size() - 2] ^= 0xFF;
  const Trace t = Stream(f);
  ASSERT_EQ(t.replies.size(), 1u);
  EXPECT_THAT(t.replies[0], ElementsAre(0x0C, 0x00, 0x19));
}

TEST_F(ParserTest, NotificationsRaiseTheirCodeAndAreNoReply) {
  const Trace t = Stream(Concat(
      {Frame({0x20}), Frame({0x21, 0xAA}), Frame({0x22}), Frame({0x23, 1, 2, 3}), Frame({0x24})}));
  EXPECT_THAT(t.notifications, ElementsAre(1, 2, 3, 4));
  ASSERT_EQ(t.replies.size(), 1u);  // 0x24 is an ordinary reply
  EXPECT_THAT(t.replies[0], ElementsAre(0x24));
}

TEST_F(ParserTest, NotificationLeavesTheLastReplyIntact) {
  Stream(Frame({0x0C, 0x11, 0x22}));
  Stream(Frame({0x21, 0x99, 0x99, 0x99}));
  EXPECT_THAT(parser_.Reply(), ElementsAre(0x0C, 0x11, 0x22));
}

TEST_F(ParserTest, LongestFrameReadsAreCappedAt256) {
  Bytes payload(255);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(0x30 + i);
  const Bytes f = Frame(payload);
  ASSERT_EQ(f.size(), 259u);
  const Trace t = Stream(f);
  // STX, length 255 (257 to come, capped), 256 bytes, then the end byte.
  EXPECT_THAT(t.readLengths, ElementsAre(1u, 256u, 1u, 1u));
  ASSERT_EQ(t.replies.size(), 1u);
  EXPECT_EQ(t.replies[0], payload);
}

TEST_F(ParserTest, ByteAtATimeGivesTheSameFrames) {
  const Bytes stream = Concat(
      {Bytes{0x00, 0xFF}, Frame({0x0A, 1, 2, 3}), Bytes{0x03}, Frame({0x22}), Frame({0x0B, 9})});
  Trace t;
  for (uint8_t b : stream) Deliver({b}, t);
  ASSERT_EQ(t.replies.size(), 2u);
  EXPECT_THAT(t.replies[0], ElementsAre(0x0A, 1, 2, 3));
  EXPECT_THAT(t.replies[1], ElementsAre(0x0B, 9));
  EXPECT_THAT(t.notifications, ElementsAre(3));
}

TEST_F(ParserTest, EmptyDeliveryWhileHuntingOrBetweenFrames) {
  Trace t;
  Deliver({}, t);
  EXPECT_EQ(readLength_, 1u);
  EXPECT_TRUE(parser_.Hunting());
  t = Stream(Frame({0x0C, 5}));
  EXPECT_EQ(t.replies.size(), 1u);
}

TEST_F(ParserTest, EmptyDeliveryMakesTheNextByteTheLastOne) {
  Trace t = Stream({STX, 0x03, 0x0A});  // four of five bytes of the body still missing
  ASSERT_EQ(readLength_, 4u);
  Deliver({}, t);
  EXPECT_EQ(readLength_, 1u);
  EXPECT_FALSE(parser_.Hunting());  // the frame is still in progress
  Deliver({ETX}, t);
  // The cut-short frame carries no payload length any more: nothing is dispatched.
  EXPECT_TRUE(t.replies.empty());
  EXPECT_TRUE(t.notifications.empty());
  EXPECT_TRUE(parser_.Hunting());
}

TEST_F(ParserTest, EmptyPayloadFramesCannotPassForAStaleReply) {
  // A reply to an earlier exchange sits in the reply buffer...
  Trace t = Stream(Frame({0x0C, 0x00, 0x19}));
  ASSERT_EQ(t.replies.size(), 1u);

  // ...then a frame with N = 0 arrives. It has no command byte of its own.
  t = Stream({STX, 0x00, 0x01, ETX});
  EXPECT_TRUE(t.replies.empty());
  EXPECT_TRUE(t.notifications.empty());
  EXPECT_TRUE(parser_.Hunting());

  // Same after a notification: N = 0 must not re-raise it either.
  Stream(Frame({0x20}));
  t = Stream({STX, 0x00, 0x01, ETX});
  EXPECT_TRUE(t.notifications.empty());
  EXPECT_TRUE(t.replies.empty());

  // Start byte, N = 3, a timed-out read, then 0x03: also no reply.
  t = Stream({STX, 0x03});
  Deliver({}, t);
  Deliver({ETX}, t);
  EXPECT_TRUE(t.replies.empty());

  // The parser is hunting and takes the next real frame.
  t = Stream(Frame({0x0A, 0x01}));
  ASSERT_EQ(t.replies.size(), 1u);
  EXPECT_THAT(t.replies[0], ElementsAre(0x0A, 0x01));
}

TEST_F(ParserTest, OverlongDeliveryStopsAfterTheFrameItCompletes) {
  // A caller that hands over more than was asked loses nothing: the rest is left for it.
  const Bytes first = Frame({0x0A, 1});
  const Bytes second = Frame({0x0B, 2});
  const Bytes both = Concat({first, second});
  ParseResult r = parser_.Feed(both);
  EXPECT_TRUE(r.replyReady);
  EXPECT_EQ(r.consumed, first.size());
  EXPECT_THAT(parser_.Reply(), ElementsAre(0x0A, 1));
  r = parser_.Feed(std::span<const uint8_t>(both).subspan(r.consumed));
  EXPECT_TRUE(r.replyReady);
  EXPECT_EQ(r.consumed, second.size());
  EXPECT_THAT(parser_.Reply(), ElementsAre(0x0B, 2));
}

TEST_F(ParserTest, ResetDropsAPartialFrameAndTheReply) {
  Stream(Frame({0x0C, 7}));
  Stream({STX, 0x05, 0x01});
  parser_.Reset();
  EXPECT_TRUE(parser_.Hunting());
  EXPECT_TRUE(parser_.Reply().empty());
  // The link asks for the first byte again, as after a start; the parser asks as for a new frame.
  readLength_ = ReceiveParser::StartReadLength();
  const Trace t = Stream(Frame({0x0B}));
  EXPECT_THAT(t.readLengths, ElementsAre(1u, 3u, 1u));
  EXPECT_EQ(t.replies.size(), 1u);
}

}  // namespace
}  // namespace ralvex::link
