#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lab/lab_options.h"
#include "lab/sweep_rows.h"
#include "lab/sweep_run.h"
#include "tests/cli/capture.h"
#include "tests/lab/lab_fakes.h"
#include "tests/lab/lab_parse.h"

namespace ralvex::lab {
namespace {

using test_support::FakeClock;
using test_support::FakeTester;
using test_support::Parse;
using ::testing::_;
using ::testing::Return;

TEST(SweepSteps, FromToByTheStepWithTheEndIncluded) {
  struct Case {
    uint32_t from, to, step;
    std::vector<uint32_t> steps;
  };
  for (const Case& c :
       {Case{0, 3000, 1000, {0, 1000, 2000, 3000}}, Case{0, 2500, 1000, {0, 1000, 2000, 2500}},
        Case{5000, 3300, 1000, {5000, 4000, 3300}}, Case{700, 700, 50, {700}},
        Case{0, 65535, 65535, {0, 65535}}}) {
    EXPECT_EQ(SweepSteps(c.from, c.to, c.step), c.steps) << c.from << ".." << c.to;
  }
}

TEST(SweepOptionsTest, EachCommandReadsItsOwnOptions) {
  const ParsedCommandLine v =
      Parse({"sweep",  "voltage", "--profile", "5",      "--from", "3300",     "--to",
             "5000",   "--step",  "100",       "--load", "1500",   "--settle", "20",
             "--hold", "40",      "--format",  "jsonl",  "--plot", "p.svg"})
          .result;
  ASSERT_TRUE(v.options);
  const SweepOptions& s = v.options->sweep;
  EXPECT_EQ(v.options->command, LAB_SWEEP);
  EXPECT_EQ(s.kind, SWEEP_VOLTAGE);
  EXPECT_EQ(s.profile, 5);
  EXPECT_EQ(s.loadMa, 1500);
  EXPECT_EQ(s.timing.settle, Millis(20));
  EXPECT_EQ(s.timing.hold, Millis(40));
  EXPECT_EQ(s.format, LOG_JSONL);
  EXPECT_EQ(s.plot, "p.svg");
  EXPECT_FALSE(v.options->log.loadMa);  // the log's --load is another option

  const ParsedCommandLine l =
      Parse({"sweep", "load", "--from", "0", "--to", "100", "--step", "7"}).result;
  ASSERT_TRUE(l.options);
  EXPECT_EQ(l.options->sweep.kind, SWEEP_LOAD);
  EXPECT_EQ(l.options->sweep.timing.settle, Millis(500));
  EXPECT_EQ(l.options->sweep.timing.hold, Millis(1000));

  const ParsedCommandLine c = Parse({"capacity", "--load", "2000", "--profile", "5", "--voltage",
                                     "9000", "--cutoff-mv", "3000", "--max-duration", "1.5"})
                                  .result;
  ASSERT_TRUE(c.options);
  EXPECT_EQ(c.options->command, LAB_CAPACITY);
  EXPECT_EQ(c.options->capacity.loadMa, 2000);
  EXPECT_EQ(c.options->capacity.voltageMv, 9000);
  EXPECT_EQ(c.options->capacity.cutoffMv, 3000);
  EXPECT_EQ(c.options->capacity.maxDurationS, 1.5);
  EXPECT_EQ(c.options->capacity.recoverTimeoutMs, 5000u);
}

TEST(SweepOptionsTest, BadValuesNameTheOption) {
  struct Case {
    std::vector<std::string> args;
    const char* named;
  };
  const std::vector<std::string> load = {"sweep", "load", "--from", "0", "--to", "100"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = load;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  for (const Case& c : {
           Case{load, "--step is required"},
           Case{with({"--step", "0"}), "'0' for --step"},
           Case{with({"--step", "5", "--hold", "0"}), "'0' for --hold"},
           Case{with({"--step", "5", "--format", "sqlite"}), "'sqlite' for --format"},
           Case{{"sweep", "voltage", "--from", "3300", "--to", "5000", "--step", "20"},
                "--profile is required"},
           Case{{"sweep", "voltage", "--profile", "5", "--from", "3310", "--to", "5000", "--step",
                 "20"},
                "multiples of 20 mV"},
           Case{{"sweep", "voltage", "--profile", "8", "--from", "3300", "--to", "5000", "--step",
                 "20"},
                "'8' for --profile"},
           Case{{"sweep"}, "ubcommand is required"},
           Case{{"capacity"}, "--load is required"},
           Case{{"capacity", "--load", "0"}, "'0' for --load"},
           Case{{"capacity", "--load", "10", "--voltage", "9000"}, "--voltage needs --profile"},
           Case{{"capacity", "--load", "10", "--format", "xml"}, "'xml' for --format"},
       }) {
    const test_support::Parsed parsed = Parse(c.args);
    EXPECT_FALSE(parsed.result.options);
    EXPECT_EQ(parsed.result.exitCode, LAB_EXIT_INVALID_COMMAND_LINE);
    EXPECT_NE(parsed.err.find(c.named), std::string::npos) << parsed.err;
  }
}

StepResult Held(std::vector<double> volts, double ma) {
  StepResult step;
  step.setting = {true, link::SET_ACCEPTED};
  for (double v : volts) {
    ++step.samples;
    step.voltageMv.Add(v);
    step.currentMa.Add(ma);
    step.powerMw.Add(v * ma / 1000);
  }
  return step;
}

TEST(SweepRowsTest, ColumnsAndValuesInBothFormats) {
  const SweepRow row{1500, Held({5000, 5010}, 1500)};
  EXPECT_EQ(SweepHeader(SWEEP_LOAD, LOG_CSV),
            "set_ma,samples,voltage_mv_min,voltage_mv_mean,voltage_mv_max,current_ma_min,"
            "current_ma_mean,current_ma_max,power_mw_min,power_mw_mean,power_mw_max,"
            "failed_exchanges,lost_at_ma\n");
  EXPECT_EQ(SweepHeader(SWEEP_VOLTAGE, LOG_JSONL), "");
  EXPECT_EQ(SweepLine(SWEEP_LOAD, LOG_CSV, row),
            "1500,2,5000,5005.0,5010,1500,1500.0,1500,7500.0,7507.5,7515.0,0,\n");
  EXPECT_EQ(SweepLine(SWEEP_VOLTAGE, LOG_JSONL, row).substr(0, 48),
            "{\"set_mv\":1500,\"samples\":2,\"voltage_mv_min\":5000");
  SweepRow lost{3500, Held({}, 0)};
  lost.step.contractLost = true;
  lost.step.lostAtMa = 3500;
  EXPECT_EQ(SweepLine(SWEEP_LOAD, LOG_CSV, lost), "3500,0,,,,,,,,,,0,3500\n");
  const std::string json = SweepLine(SWEEP_LOAD, LOG_JSONL, lost);
  EXPECT_NE(json.find("\"voltage_mv_mean\":null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"lost_at_ma\":3500}"), std::string::npos) << json;
}

TEST(SweepRowsTest, ThePlotDrawsTheStepsWithReadings) {
  const Plot plot = SweepPlot(
      SWEEP_LOAD, {{0, Held({5000}, 0)}, {3500, Held({}, 0)}, {1000, Held({4900}, 1000)}});
  ASSERT_EQ(plot.series.size(), 2u);
  ASSERT_EQ(plot.series[0].points.size(), 2u);
  EXPECT_DOUBLE_EQ(plot.series[0].points[1].y, 4900);
  EXPECT_TRUE(plot.series[1].rightAxis);
  EXPECT_DOUBLE_EQ(plot.series[1].points[1].y, 4900);
  EXPECT_EQ(plot.x.unit, "mA");
}

// A voltage sweep on fakes: a PD-APDO profile 2 (3300-11000 mV) after a fixed profile 1.
struct SweepRunTest : ::testing::Test {
  SweepRunTest() {
    tester.profiles.count = 2;
    tester.profiles.entries[0] = {0x0051, 0, 5000, 3000};
    tester.profiles.entries[1] = {0x0352, 3300, 11000, 3000};
    options.kind = SWEEP_VOLTAGE;
    options.profile = 2;
    options.from = 5000;
    options.to = 7000;
    options.step = 1000;
    options.loadMa = 1000;
    options.timing = {Millis(20), Millis(50)};
    options.output = ::testing::TempDir() + "/sweep.csv";
  }
  int Run() {
    err = cli::test_support::Capture([&](std::FILE* e) {
      code = RunSweep({tester, options, clock, stop, e, nullptr});
    });
    std::ifstream file(options.output);
    std::stringstream text;
    text << file.rdbuf();
    rows = text.str();
    return code;
  }
  size_t Lines() const { return static_cast<size_t>(std::count(rows.begin(), rows.end(), '\n')); }

  FakeClock clock;
  FakeTester tester{clock};
  StopRequests stop;
  SweepOptions options;
  std::string err, rows;
  int code = -1;
};

TEST_F(SweepRunTest, StepsThroughTheRangeAndEndsOnProfileOneWithoutLoad) {
  ::testing::InSequence order;
  for (uint16_t mv : {5000, 6000, 7000}) {
    EXPECT_CALL(tester, SetProfile(2, mv))
        .WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  }
  EXPECT_CALL(tester, SetProfile(1, 5000))
      .WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  EXPECT_EQ(Run(), LAB_EXIT_DONE) << err;
  EXPECT_EQ(Lines(), 4u) << rows;  // the header and three steps
  EXPECT_EQ(tester.loads, (std::vector<uint16_t>{1000, 0}));
}

TEST_F(SweepRunTest, ARefusedStepIsNamedAndEndsTheSweepSafely) {
  EXPECT_CALL(tester, SetProfile(2, 5000))
      .WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  EXPECT_CALL(tester, SetProfile(2, 6000))
      .WillOnce(Return(link::SetResult{true, link::SET_REFUSED}));
  EXPECT_CALL(tester, SetProfile(1, _)).WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  EXPECT_EQ(Run(), LAB_EXIT_INVALID_PROFILE);
  EXPECT_NE(err.find("the tester refused step 2 of 3 (profile 2 at 6000 mV)"), std::string::npos)
      << err;
  EXPECT_EQ(Lines(), 2u) << rows;
  EXPECT_EQ(tester.load, 0);
}

TEST_F(SweepRunTest, ALostContractEndsTheSweepAfterItsRow) {
  EXPECT_CALL(tester, SetProfile(2, 5000))
      .WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  EXPECT_CALL(tester, SetProfile(1, _)).WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  tester.onStats = [&](int call) {
    if (call == 3) tester.stats.voltage = 0;
  };
  EXPECT_EQ(Run(), LAB_EXIT_NO_TESTER);
  EXPECT_NE(err.find("the contract was lost during step 1 of 3 (profile 2 at 5000 mV), at 1000 mA"),
            std::string::npos)
      << err;
  EXPECT_EQ(Lines(), 2u) << rows;
  EXPECT_EQ(tester.load, 0);
}

TEST_F(SweepRunTest, AProfileItCannotSweepChangesNothing) {
  struct Case {
    uint8_t profile;
    uint32_t from;
    int code;
    const char* says;
  };
  for (const Case& c : {Case{1, 5000, LAB_EXIT_INVALID_PROFILE, "profile 1 is PD-FIX"},
                        Case{3, 5000, LAB_EXIT_INVALID_PROFILE, "profile 3 does not exist"},
                        Case{2, 3000, LAB_EXIT_INVALID_COMMAND_LINE, "3000-7000 mV leaves"}}) {
    options.profile = c.profile;
    options.from = c.from;
    EXPECT_EQ(Run(), c.code);
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
  }
  EXPECT_TRUE(tester.loads.empty());  // and SetProfile was never called
}

TEST_F(SweepRunTest, ALoadSweepStopsBetweenStepsOnRequest) {
  options.kind = SWEEP_LOAD;
  options.from = 0;
  options.to = 3000;
  options.step = 500;
  tester.onStats = [&](int call) {
    if (call == 20) stop.Request();
  };
  EXPECT_EQ(Run(), LAB_EXIT_DONE);
  EXPECT_NE(err.find("Interrupted"), std::string::npos) << err;
  EXPECT_LT(Lines(), 8u);
  EXPECT_EQ(tester.load, 0);
}

}  // namespace
}  // namespace ralvex::lab
