// Exchanges on an open link: the frames each operation sends, the records its replies fill, the
// reply test, notifications, and the failure behaviours (late replies, dropped frames while a
// write is pending, late write completion, failed reads, a thread that outlives Close).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "link/tester_link.h"
#include "tests/link/tester_link_fixture.h"

namespace ralvex::link {
namespace {

using testing::Answer;
using testing::Bytes;
using testing::LinkBench;

class TesterLinkExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(link_.Open(testing::TEST_SERIAL));
    bench_.Peer().ClearReceived();
  }

  // Answers every request with `payload` (framed), or with nothing for an empty one.
  void AnswerWith(Bytes payload) {
    bench_.SetResponder([payload](const Bytes&) -> std::vector<Answer> {
      if (payload.empty()) return {};
      return {{payload}};
    });
  }

  LinkBench bench_;
  TesterLink link_;
};

TEST_F(TesterLinkExchange, ReadOperationsFillTheirRecords) {
  ConnectionReply connection{};
  ASSERT_TRUE(link_.GetConnection(connection));
  EXPECT_EQ(connection.status, 1);
  EXPECT_EQ(connection.profileIndex, 3);
  EXPECT_EQ(connection.profileClass, 5);
  EXPECT_EQ(connection.profileSubtype, 0);
  EXPECT_EQ(connection.setVoltage, 5000);
  EXPECT_EQ(connection.maxCurrent, 3000);
  EXPECT_EQ(connection.maxPower, 15000u);

  StatsReply stats{};
  ASSERT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.temperature, 25);
  EXPECT_EQ(stats.voltage, 5000);
  EXPECT_EQ(stats.setCurrent, 1000);
  EXPECT_EQ(stats.measuredCurrent, 998);
  EXPECT_EQ(stats.loopbackCurrent, 0);

  ProfileList list{};
  ASSERT_TRUE(link_.GetProfiles(list));
  EXPECT_EQ(list.count, 2);
  EXPECT_EQ(list.entries[0].descriptor, 0x0051);
  EXPECT_EQ(list.entries[0].voltage, 5000);
  EXPECT_EQ(list.entries[1].descriptor, 0x0352);
  EXPECT_EQ(list.entries[1].minVoltage, 3300);
  EXPECT_EQ(list.entries[1].voltage, 11000);
  EXPECT_EQ(list.entries[1].current, 5000);

  EXPECT_EQ(bench_.Peer().Received(), testing::Concat({{0x02, 0x01, 0x0A, 0x0A, 0x03},
                                                       {0x02, 0x01, 0x0C, 0x0C, 0x03},
                                                       {0x02, 0x01, 0x0B, 0x0B, 0x03}}));
}

TEST_F(TesterLinkExchange, SetOperationsSendTheirFrames) {
  EXPECT_TRUE(link_.SetProfile(1, 5000).answered);
  link_.SetLoad(5000);
  link_.SetDefaultVoltage(9000);
  link_.SetDefaultLoad(1500);
  link_.SetMaxLoad(0);
  EXPECT_EQ(link_.MaxLoad().kind, 0);
  link_.SetMaxLoad(1000);
  EXPECT_EQ(link_.MaxLoad().kind, 2);
  EXPECT_EQ(link_.MaxLoad().value, 1000);

  EXPECT_EQ(bench_.Peer().Received(),
            testing::Concat(
                {{0x02, 0x04, 0x0D, 0x01, 0x88, 0x13, 0x92, 0x03},
                 {0x02, 0x03, 0x10, 0x88, 0x13, 0x89, 0x03},
                 {0x02, 0x03, 0x0E, 0x28, 0x23, 0x0E ^ 0x28 ^ 0x23 ^ 0x02 ^ 0x03 ^ 0x03, 0x03},
                 {0x02, 0x03, 0x0F, 0xDC, 0x05, 0x0F ^ 0xDC ^ 0x05 ^ 0x02 ^ 0x03 ^ 0x03, 0x03},
                 {0x02, 0x03, 0xE0, 0x01, 0x00, 0xE3, 0x03},
                 {0x02, 0x05, 0xE0, 0x01, 0x02, 0xE8, 0x03, 0x0C, 0x03}}));
}

TEST_F(TesterLinkExchange, ReplyMustRepeatTheCommandByteAndLeavesTheRecordAlone) {
  AnswerWith({0x0A, 0x01, 0x02});
  StatsReply stats{};
  stats.voltage = 4242;
  EXPECT_FALSE(link_.GetStats(stats));
  EXPECT_EQ(stats.voltage, 4242);
  EXPECT_FALSE(link_.SetProfile(2, 9000).answered);

  // The set commands take any reply without looking at it; the link stays usable.
  link_.SetDefaultLoad(100);
  bench_.SetResponder(testing::HealthyAnswer);
  EXPECT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.voltage, 5000);
}

// Every set operation, and the reply a tester might give it, built from the request's command byte.
struct SetOperation {
  const char* name;
  SetResult (*run)(TesterLink& link);
  bool replyChecked;  // only CMD_SET_PROFILE insists on its own command byte
};

const SetOperation SET_OPERATIONS[] = {
    {"SetProfile", [](TesterLink& l) { return l.SetProfile(1, 5000); }, true},
    {"SetLoad", [](TesterLink& l) { return l.SetLoad(1000); }, false},
    {"SetDefaultVoltage", [](TesterLink& l) { return l.SetDefaultVoltage(9000); }, false},
    {"SetDefaultLoad", [](TesterLink& l) { return l.SetDefaultLoad(500); }, false},
    {"SetMaxLoad", [](TesterLink& l) { return l.SetMaxLoad(1200); }, false},
};

struct SetReplyCase {
  const char* name;
  Bytes (*reply)(uint8_t command);
  bool answeredWhenChecked;
  SetVerdict status;
};

const SetReplyCase SET_REPLIES[] = {
    {"accepted",
     [](uint8_t c) {
       return Bytes{c, 0x00};
     },
     true, SET_ACCEPTED},
    {"refused",
     [](uint8_t c) {
       return Bytes{c, 0x01};
     },
     true, SET_REFUSED},
    {"malformed",
     [](uint8_t c) {
       return Bytes{c, 0x02};
     },
     true, SET_MALFORMED},
    {"bare command byte", [](uint8_t c) { return Bytes{c}; }, true, std::nullopt},
    {"status this program does not know",
     [](uint8_t c) {
       return Bytes{c, 0x03};
     },
     true, std::nullopt},
    // Not an acknowledgement: the tester did not know the command.
    {"another command's reply",
     [](uint8_t c) {
       return Bytes{0x7F, c};
     },
     false, std::nullopt},
};

TEST_F(TesterLinkExchange, SetResultsCarryTheTestersVerdict) {
  for (const SetReplyCase& reply : SET_REPLIES) {
    bench_.SetResponder([&reply](const Bytes& request) -> std::vector<Answer> {
      return {{reply.reply(request.at(0))}};
    });
    for (const SetOperation& operation : SET_OPERATIONS) {
      SCOPED_TRACE(std::string(operation.name) + ", " + reply.name);
      const SetResult result = operation.run(link_);
      EXPECT_EQ(result.answered, reply.answeredWhenChecked || !operation.replyChecked);
      EXPECT_EQ(result.status, reply.status);
      EXPECT_EQ(result.Accepted(), reply.status == SET_ACCEPTED);
    }
  }
}

TEST_F(TesterLinkExchange, NotificationDoesNotAnswerTheExchange) {
  // A notification first, the reply 100 ms later: had the notification ended the reply wait, the
  // command-byte test would have seen no stats reply.
  bench_.SetResponder([](const Bytes& request) -> std::vector<Answer> {
    std::vector<Answer> answers = {{{0x21, 0x0C}}, {{0x22}}};
    for (Answer& answer : testing::HealthyAnswer(request)) {
      answer.delayMs = 100;
      answers.push_back(answer);
    }
    return answers;
  });
  StatsReply stats{};
  EXPECT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.measuredCurrent, 998);
}

TEST_F(TesterLinkExchange, NoiseAndBrokenFramesAreSkipped) {
  bench_.SetResponder([](const Bytes&) -> std::vector<Answer> { return {}; });
  // Delivered ahead of the reply: noise, then a frame whose end byte is wrong.
  bench_.Device().InjectFromPeer(Bytes{0x55, 0xAA, 0x02, 0x02, 0x0C, 0x01, 0x0D, 0x04}.data(), 8);
  bench_.SetResponder(testing::HealthyAnswer);
  StatsReply stats{};
  EXPECT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.temperature, 25);
}

TEST(TesterLinkOnTheWire, FrameEndBytesInsideAReplyOnlySendAPacketEarly) {
  // On the wire model the bridge sends a packet at every 0x03 the link's event character meets,
  // so these replies reach the parser in pieces cut after each one.
  const struct {
    const char* name;
    Bytes payload;
    StatsReply stats;
  } cases[] = {
      {"in the payload",
       {0x0C, 0x00, 0x03, 0x88, 0x13, 0x03, 0x03, 0xE6, 0x03, 0x03, 0x03},
       {0, 3, 5000, 0x0303, 0x03E6, 0x0303}},
      {"as the length byte", {0x0C, 0x00, 0x19}, {0, 25, 0, 0, 0, 0}},
      {"as the checksum", {0x0C, 0x00, 0x19, 0x13}, {0, 25, 0x13, 0, 0, 0}},
  };
  ASSERT_EQ(testing::Framed(cases[2].payload)[6], ETX);
  LinkBench bench(testing::TEST_SERIAL, {}, true);
  TesterLink link;
  ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bench.SetResponder([&c](const Bytes&) -> std::vector<Answer> { return {{c.payload}}; });
    StatsReply stats{};
    ASSERT_TRUE(link.GetStats(stats));
    EXPECT_EQ(stats.temperature, c.stats.temperature);
    EXPECT_EQ(stats.voltage, c.stats.voltage);
    EXPECT_EQ(stats.setCurrent, c.stats.setCurrent);
    EXPECT_EQ(stats.measuredCurrent, c.stats.measuredCurrent);
    EXPECT_EQ(stats.loopbackCurrent, c.stats.loopbackCurrent);
  }
  // Replies and requests keep their order: the next exchange gets its own reply.
  bench.SetResponder(testing::HealthyAnswer);
  StatsReply stats{};
  ASSERT_TRUE(link.GetStats(stats));
  EXPECT_EQ(stats.voltage, 5000);
}

// The cases below run out 500 ms waits.

TEST_F(TesterLinkExchange, SilentTesterEndsTheSetCommandAfterTheReplyWait) {
  AnswerWith({});
  link_.SetLoad(2500);
  EXPECT_EQ(bench_.Peer().Received(), (Bytes{0x02, 0x03, 0x10, 0xC4, 0x09, 0xDF, 0x03}));
  bench_.SetResponder(testing::HealthyAnswer);
  StatsReply stats{};
  EXPECT_TRUE(link_.GetStats(stats));
}

TEST_F(TesterLinkExchange, UnansweredSetHasNoVerdict) {
  AnswerWith({});
  for (const SetOperation& operation : {SET_OPERATIONS[0], SET_OPERATIONS[1]}) {
    SCOPED_TRACE(operation.name);
    const SetResult result = operation.run(link_);
    EXPECT_FALSE(result.answered);
    EXPECT_EQ(result.status, std::nullopt);
    EXPECT_FALSE(result.Accepted());
  }
}

TEST_F(TesterLinkExchange, LateReplyIsTakenByTheNextExchangeAndOnlyTheCommandByteTellsItApart) {
  // The tester stays silent; the test sends each reply itself once its exchange has given up.
  AnswerWith({});
  const Bytes connectionReply = testing::Framed(testing::HealthyAnswer({0x0A})[0].payload);

  ConnectionReply connection{};
  EXPECT_FALSE(link_.GetConnection(connection));
  EXPECT_EQ(connection.setVoltage, 0);
  ASSERT_TRUE(bench_.Peer().Send(connectionReply));
  // The reply wait returns with the stale frame, which fails the command-byte test of GetStats ...
  StatsReply stats{};
  EXPECT_FALSE(link_.GetStats(stats));

  // ... while a stale frame with the right command byte passes it.
  EXPECT_FALSE(link_.GetConnection(connection));
  ASSERT_TRUE(bench_.Peer().Send(connectionReply));
  EXPECT_TRUE(link_.GetConnection(connection));
  EXPECT_EQ(connection.setVoltage, 5000);
}

// A tester whose serial side holds the write until the test lets it go: the I/O thread stays in
// the write, so its completion comes as late as the test wants.
class WriteGate {
 public:
  std::vector<Answer> Hold() {
    std::unique_lock lock(mutex_);
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    return {};
  }
  void Release() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return held_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool open_ = false;
};

TEST_F(TesterLinkExchange, FrameQueuedWhileAWriteIsPendingIsDroppedAndTheLateCompletionIsTaken) {
  auto gate = std::make_shared<WriteGate>();
  bench_.SetResponder([gate](const Bytes&) { return gate->Hold(); });
  StatsReply stats{};
  EXPECT_FALSE(link_.GetStats(stats));  // the write-done wait runs out
  ASSERT_TRUE(gate->WaitHeld());
  EXPECT_FALSE(link_.SetProfile(1, 5000).answered);  // dropped: the earlier write is still pending
  EXPECT_EQ(bench_.Peer().Received(), (Bytes{0x02, 0x01, 0x0C, 0x0C, 0x03}));

  bench_.SetResponder(testing::HealthyAnswer);
  gate->Release();
  // The late completion clears the pending write; after it frames go out again.
  for (int i = 0; i < 1000 && link_.Context()->WritePending(); ++i) Sleep(2);
  EXPECT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.voltage, 5000);
}

TEST_F(TesterLinkExchange, FailedReadCompletionEndsReception) {
  // The read already waiting takes the next byte; the read after it fails.
  bench_.Device().FailReads(1);
  StatsReply stats{};
  EXPECT_FALSE(link_.GetStats(stats));
  EXPECT_FALSE(link_.GetStats(stats));
  // Writes still go out: both requests reached the tester.
  EXPECT_EQ(bench_.Peer().Received(),
            testing::Concat({{0x02, 0x01, 0x0C, 0x0C, 0x03}, {0x02, 0x01, 0x0C, 0x0C, 0x03}}));
}

TEST(TesterLinkClose, ThreadThatOutlivesCloseKeepsItsContextAndStopsCallingTheLink) {
  LinkBench bench;
  auto gate = std::make_shared<WriteGate>();
  {
    TesterLink link;
    ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
    bench.SetResponder([gate](const Bytes& request) {
      gate->Hold();
      return testing::HealthyAnswer(request);
    });
    StatsReply stats{};
    EXPECT_FALSE(link.GetStats(stats));
    ASSERT_TRUE(gate->WaitHeld());
    link.Close();  // returns after its 2000 ms; the thread is still in the write
    EXPECT_EQ(link.Context(), nullptr);
    EXPECT_TRUE(bench.Device().IsOpen());
  }
  // The link is gone. The thread finishes its write, gets the reply, sees the stop, closes the
  // device and frees its context without touching the link (the sanitizer builds watch this).
  gate->Release();
  EXPECT_TRUE(bench.WaitUntilClosed());
}

}  // namespace
}  // namespace ralvex::link
