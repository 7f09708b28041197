// Opening and closing the link against a scripted tester: what the tester sees, the line settings,
// greeting failures, partial settings, reopening, and that retried opens leave no thread behind.
#include <gtest/gtest.h>

#include "link/tester_link.h"
#include "tests/link/tester_link_fixture.h"

namespace ralvex::link {
namespace {

using testing::Answer;
using testing::Bytes;
using testing::LinkBench;

TEST(TesterLinkOpen, GreetsReadsSettingsAndConfiguresTheLine) {
  LinkBench bench;
  TesterLink link;
  ASSERT_TRUE(link.Open(testing::TEST_SERIAL));

  EXPECT_EQ(bench.Peer().Received(), testing::OpenFrames());
  EXPECT_EQ(link.VersionLevel(), 0x15);
  EXPECT_EQ(link.VersionSublevel(), 0x07);
  EXPECT_TRUE(link.Settings().flag0);
  EXPECT_EQ(link.Settings().value2, 0x1234);
  EXPECT_TRUE(link.Settings().flag3);
  EXPECT_EQ(link.Settings().value4, 0x5678);

  const sim::BridgeLineState line = bench.Device().LineState();
  EXPECT_EQ(line.baudRate, 115200u);
  EXPECT_EQ(line.wordLength, 8);
  EXPECT_EQ(line.stopBits, 0);
  EXPECT_EQ(line.parity, 0);
  EXPECT_EQ(line.readTotalConstant, 10000u);
  EXPECT_EQ(line.writeTotalConstant, 10000u);
  EXPECT_EQ(line.latencyTimer, 1);  // lowered for the session ...
  EXPECT_EQ(line.eventChar, 0x03);  // and the frame end byte sends a packet at once ...
  EXPECT_EQ(line.eventCharEnabled, 1);
  EXPECT_EQ(line.errorCharEnabled, 0);

  ASSERT_NE(link.Context(), nullptr);
  EXPECT_TRUE(link.Context()->HasThread());
  link.Close();
  EXPECT_EQ(link.Context(), nullptr);
  EXPECT_EQ(bench.Device().LineState().latencyTimer, 16);  // ... both given back at close
  EXPECT_EQ(bench.Device().LineState().eventCharEnabled, 0);
  // The thread closed the device as it stopped.
  EXPECT_FALSE(bench.Device().IsOpen());
  EXPECT_EQ(bench.Peer().CloseCount(), 1u);
}

TEST(TesterLinkOpen, EventCharacterTheBridgeRefusesIsNoError) {
  constexpr uint32_t REQUEST_SET_CHARS = 87;
  LinkBench bench(testing::TEST_SERIAL, {REQUEST_SET_CHARS});
  TesterLink link;
  ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(bench.Peer().Received(), testing::OpenFrames());
  EXPECT_EQ(bench.Device().LineState().eventCharEnabled, 0);
  EXPECT_EQ(bench.Device().LineState().latencyTimer, 1);
  StatsReply stats{};
  EXPECT_TRUE(link.GetStats(stats));
}

TEST(TesterLinkOpen, LatencyTimerTheBridgeRefusesIsNoError) {
  constexpr uint32_t REQUEST_SET_LATENCY_TIMER = 92;
  constexpr uint32_t REQUEST_GET_LATENCY_TIMER = 93;
  for (const std::vector<uint32_t>& refused :
       {std::vector<uint32_t>{REQUEST_SET_LATENCY_TIMER},
        {REQUEST_SET_LATENCY_TIMER, REQUEST_GET_LATENCY_TIMER}}) {
    LinkBench bench(testing::TEST_SERIAL, refused);
    TesterLink link;
    ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
    EXPECT_EQ(bench.Peer().Received(), testing::OpenFrames());
    EXPECT_EQ(bench.Device().LineState().latencyTimer, 16);
  }
  // A timer that cannot be read is still lowered, and then left so.
  LinkBench bench(testing::TEST_SERIAL, {REQUEST_GET_LATENCY_TIMER});
  TesterLink link;
  ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(bench.Device().LineState().latencyTimer, 1);
  link.Close();
  EXPECT_EQ(bench.Device().LineState().latencyTimer, 1);
}

TEST(TesterLinkOpen, NoSuchDeviceFailsWithoutAThread) {
  LinkBench bench;
  TesterLink link;
  EXPECT_FALSE(link.Open("KORA9999"));
  EXPECT_EQ(link.Context(), nullptr);
  EXPECT_FALSE(link.Open(nullptr));
  EXPECT_EQ(link.Context(), nullptr);
  link.Close();
  link.Close();
  EXPECT_TRUE(bench.Peer().Received().empty());
  // Operations on a link that never opened fail at once instead of waiting.
  StatsReply stats{};
  EXPECT_FALSE(link.GetStats(stats));
  link.SetLoad(100);
}

TEST(TesterLinkOpen, DeviceHeldByAnotherProgramFailsWithoutAThread) {
  LinkBench bench;
  bench.Device().SetHeldOpen(true);
  TesterLink link;
  EXPECT_FALSE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(link.Context(), nullptr);
}

TEST(TesterLinkOpen, HelloAnsweredWithAnotherCommandFails) {
  LinkBench bench;
  bench.SetResponder([](const Bytes& request) -> std::vector<Answer> {
    if (request == Bytes{0x01}) return {{{0x02, 0x15, 0x07}}};
    return testing::HealthyAnswer(request);
  });
  TesterLink link;
  EXPECT_FALSE(link.Open(testing::TEST_SERIAL));
  // No settings were asked for, and the thread still runs until Close.
  EXPECT_EQ(bench.Peer().Received(), (Bytes{0x02, 0x01, 0x01, 0x01, 0x03}));
  ASSERT_NE(link.Context(), nullptr);
  EXPECT_TRUE(link.Context()->HasThread());
  EXPECT_TRUE(bench.Device().IsOpen());
  link.Close();
  EXPECT_FALSE(bench.Device().IsOpen());
}

TEST(TesterLinkOpen, RetriedOpensLeaveNoThreadOrDeviceBehind) {
  LinkBench bench;
  bench.SetResponder([](const Bytes& request) -> std::vector<Answer> {
    if (request == Bytes{0x01}) return {{{0x7F}}};
    return {};
  });
  TesterLink link;
  for (int attempt = 0; attempt < 10; ++attempt) {
    EXPECT_FALSE(link.Open(testing::TEST_SERIAL));
    link.Close();
    // Had the thread survived it would still hold the exclusive device.
    EXPECT_FALSE(bench.Device().IsOpen());
  }
  // Open without Close in between stops the earlier thread too.
  EXPECT_FALSE(link.Open(testing::TEST_SERIAL));
  EXPECT_FALSE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(bench.Peer().OpenCount(), 12u);
  EXPECT_EQ(bench.Peer().CloseCount(), 11u);

  bench.SetResponder(testing::HealthyAnswer);
  EXPECT_TRUE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(link.VersionLevel(), 0x15);
}

// The cases below each run out one 500 ms wait.

TEST(TesterLinkOpen, SilentTesterFailsOnTheReplyWaitAndCloseEndsTheThread) {
  LinkBench bench;
  bench.SetResponder([](const Bytes&) { return std::vector<Answer>{}; });
  TesterLink link;
  EXPECT_FALSE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(bench.Peer().Received(), (Bytes{0x02, 0x01, 0x01, 0x01, 0x03}));
  ASSERT_NE(link.Context(), nullptr);
  EXPECT_TRUE(bench.Device().IsOpen());
  link.Close();
  EXPECT_FALSE(bench.Device().IsOpen());
  EXPECT_EQ(link.Context(), nullptr);
}

TEST(TesterLinkOpen, UnansweredSettingStillOpensAndKeepsLaterSettingsOld) {
  LinkBench bench;
  TesterLink link;
  ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
  link.Close();

  // Second session on the same link, with a fresh context: setting 0 changes, id 2 is not
  // answered, so 2, 3 and 4 keep what the first session read.
  bench.Peer().ClearReceived();
  bench.SetResponder([](const Bytes& request) -> std::vector<Answer> {
    if (request == Bytes{0x01}) return {{{0x01, 0x16, 0x08}}};
    if (request == Bytes{0xE1, 0x00}) return {{{0xE1, 0x00}}};
    if (request == Bytes{0xE1, 0x02}) return {};
    return {{{0xE1, 0xAA, 0xBB}}};
  });
  ASSERT_TRUE(link.Open(testing::TEST_SERIAL));
  EXPECT_EQ(link.VersionLevel(), 0x16);
  EXPECT_FALSE(link.Settings().flag0);
  EXPECT_EQ(link.Settings().value2, 0x1234);
  EXPECT_TRUE(link.Settings().flag3);
  EXPECT_EQ(link.Settings().value4, 0x5678);
  // The sequence ended at the first failure: id 3 and 4 were never asked for.
  EXPECT_EQ(bench.Peer().Received(), testing::Concat({{0x02, 0x01, 0x01, 0x01, 0x03},
                                                      {0x02, 0x02, 0xE1, 0x00, 0xE2, 0x03},
                                                      {0x02, 0x02, 0xE1, 0x02, 0xE0, 0x03}}));

  // Reading them again now works and changes them.
  bench.SetResponder(testing::HealthyAnswer);
  EXPECT_TRUE(link.ReadSettings());
  EXPECT_TRUE(link.Settings().flag0);
}

}  // namespace
}  // namespace ralvex::link
