#include "lab/sample_logger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "tests/lab/lab_fakes.h"

namespace ralvex::lab {
namespace {

using test_support::FakeClock;
using test_support::FakeSink;
using test_support::FakeTester;

// A log run on fakes: set its parts up, then RunLogged.
struct LogRig {
  LogOutcome RunLogged() {
    std::FILE* err = std::tmpfile();
    const LogRun run{tester, sink, options, clock, stop, err, &progress};
    LogOutcome outcome = RunLog(run);
    std::rewind(err);
    char line[256];
    while (std::fgets(line, sizeof line, err) != nullptr) errText += line;
    std::fclose(err);
    return outcome;
  }
  // The slot each GetStats call was made in.
  std::vector<uint64_t> SlotsAsked() const {
    std::vector<uint64_t> slots;
    for (SteadyTime t : tester.statsAsked) {
      slots.push_back(static_cast<uint64_t>((t - SteadyTime{}) / Millis(options.intervalMs)));
    }
    return slots;
  }

  FakeClock clock;
  FakeTester tester{clock};
  FakeSink sink;
  LogOptions options;
  StopRequests stop;
  std::string errText;
  ProgressLine progress{nullptr, false};
};

class SampleLoggerTest : public ::testing::Test, public LogRig {};

TEST_F(SampleLoggerTest, OneRowPerSlotOnTheSchedule) {
  options.samples = 5;
  const LogOutcome outcome = RunLogged();
  EXPECT_EQ(outcome.exitCode, LAB_EXIT_DONE);
  ASSERT_EQ(sink.rows.size(), 5u);
  EXPECT_EQ(SlotsAsked(), (std::vector<uint64_t>{0, 1, 2, 3, 4}));
  for (std::size_t i = 0; i < sink.rows.size(); ++i) {
    // Each row's elapsed time is when its reply came, measured from the first reply.
    EXPECT_NEAR(sink.rows[i].sample.elapsedS, 0.1 * static_cast<double>(i), 1e-9);
  }
  EXPECT_EQ(outcome.summary.samples, 5u);
  EXPECT_EQ(outcome.summary.missedSlots, 0u);
  EXPECT_DOUBLE_EQ(outcome.summary.requestedRateHz, 10.0);
  EXPECT_NEAR(outcome.summary.AchievedRateHz(), 10.0, 1e-9);
  EXPECT_EQ(outcome.summary.ended, "done");
}

TEST_F(SampleLoggerTest, SlowExchangesMissSlotsAndNeverFillOneTwice) {
  options.samples = 4;
  tester.exchange = Millis(250);
  const LogOutcome outcome = RunLogged();
  const std::vector<uint64_t> slots = SlotsAsked();
  EXPECT_EQ(slots, (std::vector<uint64_t>{0, 2, 5, 7}));
  EXPECT_EQ(std::set<uint64_t>(slots.begin(), slots.end()).size(), slots.size());
  // Slots 1, 3-4, 6 and, during the last exchange, 8-9.
  EXPECT_EQ(outcome.summary.missedSlots, 1u + 2u + 1u + 2u);
  EXPECT_EQ(sink.rows.size(), 4u);  // no row invented for a missed slot
}

TEST_F(SampleLoggerTest, FailedExchangesAreCountedAndRetriedInTheNextSlot) {
  options.samples = 3;
  tester.failCalls = {1, 2};
  const LogOutcome outcome = RunLogged();
  EXPECT_EQ(outcome.summary.failedExchanges, 2u);
  EXPECT_EQ(sink.rows.size(), 3u);
  EXPECT_EQ(SlotsAsked(), (std::vector<uint64_t>{0, 1, 2, 3, 4}));
}

TEST_F(SampleLoggerTest, DurationEndsBeforeTheFirstSlotPastIt) {
  options.durationS = 1.0;
  RunLogged();
  EXPECT_EQ(sink.rows.size(), 10u);
}

TEST_F(SampleLoggerTest, WaitsLookAtTheStopRequestsAtLeastEvery100Ms) {
  options.samples = 2;
  options.intervalMs = 5000;
  RunLogged();
  EXPECT_LE(clock.longestSleep, STOP_CHECK_PERIOD);
}

TEST_F(SampleLoggerTest, FlushesAtLeastOnceASecond) {
  options.durationS = 5.0;
  RunLogged();
  EXPECT_GE(sink.flushes, 5);
}

TEST_F(SampleLoggerTest, OutputFailureEndsTheRunAndStillResetsTheLoad) {
  options.loadMa = 800;
  sink.writes = false;
  const LogOutcome outcome = RunLogged();
  EXPECT_EQ(outcome.exitCode, LAB_EXIT_OUTPUT_FAILED);
  EXPECT_EQ(tester.load, 0);
  EXPECT_NE(errText.find("disk full"), std::string::npos);
}

// The safety rule: however the run ends, the load it set is back at 0 mA.
struct SafetyCase {
  const char* name;
  std::function<void(LogRig&)> arrange;
  std::vector<uint16_t> loads;  // every SetLoad, in order
  int exitCode;
};

TEST(SampleLogger, TheLoadGoesBackToZeroHoweverTheRunEnds) {
  const SafetyCase cases[] = {
      {"sample count reached", [](LogRig& t) { t.options.samples = 3; }, {1000, 0}, 0},
      {"duration over", [](LogRig& t) { t.options.durationS = 0.5; }, {1000, 0}, 0},
      {"stop request",
       [](LogRig& t) {
         t.tester.onStats = [&t](int call) {
           if (call == 2) t.stop.Request();
         };
       },
       {1000, 0},
       0},
      {"the tester stops answering",
       [](LogRig& t) {
         t.options.samples = 2;
         t.tester.failCalls = {0, 1, 2, 3};
       },
       {1000, 0},
       0},
      {"second interrupt leaves it",
       [](LogRig& t) {
         t.tester.onStats = [&t](int call) {
           if (call == 1) {
             t.stop.Request();
             t.stop.Request();
           }
         };
       },
       {1000},
       0},
      {"no load given, none set",
       [](LogRig& t) {
         t.options.loadMa.reset();
         t.options.samples = 2;
       },
       {},
       0},
  };
  for (const SafetyCase& c : cases) {
    SCOPED_TRACE(c.name);
    LogRig rig;
    rig.options.loadMa = 1000;
    c.arrange(rig);
    const LogOutcome outcome = rig.RunLogged();
    EXPECT_EQ(rig.tester.loads, c.loads);
    EXPECT_EQ(outcome.exitCode, c.exitCode);
  }
}

TEST_F(SampleLoggerTest, ALostTesterIsReopenedTheLoadReappliedAndTheGapSkipped) {
  options.samples = 4;
  options.loadMa = 700;
  tester.failedReopens = 2;
  tester.onStats = [this](int call) {
    if (call == 1) tester.lost = true;
  };
  const LogOutcome outcome = RunLogged();
  EXPECT_EQ(outcome.exitCode, LAB_EXIT_DONE);
  EXPECT_EQ(tester.reopens, 3);
  EXPECT_EQ(outcome.summary.reconnects, 1u);
  EXPECT_NEAR(outcome.summary.secondsWithoutTester, 2.0, 0.2);
  EXPECT_EQ(tester.loads, (std::vector<uint16_t>{700, 700, 0}));
  EXPECT_NE(errText.find("gone"), std::string::npos);
  EXPECT_NE(errText.find("back"), std::string::npos);
  ASSERT_EQ(sink.rows.size(), 4u);
  // The totals did not integrate over the two seconds without the tester.
  const double beforeGap = sink.rows[0].chargeMah;
  const double hourOfGap = 2.0 / 3600.0 * 1000;  // what 1000 mA over the gap would add
  EXPECT_LT(sink.rows[2].chargeMah - beforeGap, hourOfGap / 2);
}

TEST_F(SampleLoggerTest, ATesterLostForGoodEndsWithThreeAfterTheReconnectTime) {
  options.reconnectS = 3;
  tester.failedReopens = 1000;
  tester.onStats = [this](int) { tester.lost = true; };
  const LogOutcome outcome = RunLogged();
  EXPECT_EQ(outcome.exitCode, LAB_EXIT_NO_TESTER);
  EXPECT_EQ(tester.reopens, 4);  // at 0, 1, 2 and 3 s
  EXPECT_EQ(outcome.summary.ended, "tester lost");
  EXPECT_NE(errText.find("did not come back within 3 s"), std::string::npos);
}

}  // namespace
}  // namespace ralvex::lab
