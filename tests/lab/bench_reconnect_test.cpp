// A log run on the built-in bench whose tester's bridge leaves the bus mid-run and comes back: the
// real TesterLink sees it gone, the run reopens it by its serial number and goes on, and the load
// is set again on the returned tester and off at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "lab/sample_logger.h"
#include "link/tester_link.h"
#include "sim/bench.h"
#include "sim/bench_file.h"
#include "sim/bridge_device.h"
#include "sim/builtin_bench.h"
#include "testers/tester_session.h"

namespace ralvex::lab {
namespace {

using namespace std::chrono_literals;

// Keeps the rows; as the `unplugAt`-th is written the bridge leaves, and it is back `away` later.
class UnpluggingSink final : public RowSink {
 public:
  UnpluggingSink(sim::BridgeDevice& device, std::size_t unplugAt, std::chrono::milliseconds away)
      : device_(device), unplugAt_(unplugAt), away_(away) {}
  ~UnpluggingSink() override {
    if (replug_.joinable()) replug_.join();
  }

  bool Write(const LogRow& row) override {
    rows.push_back(row);
    if (rows.size() == unplugAt_) {
      device_.Unplug();
      replug_ = std::thread([this] {
        std::this_thread::sleep_for(away_);
        device_.Replug();
      });
    }
    return true;
  }
  bool Flush() override { return true; }
  bool Finish(const std::string&) override { return true; }
  std::string Error() const override { return ""; }

  std::vector<LogRow> rows;

 private:
  sim::BridgeDevice& device_;
  std::size_t unplugAt_;
  std::chrono::milliseconds away_;
  std::thread replug_;
};

std::string Contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += char(c);
  return text;
}

TEST(BenchReconnect, ABridgeThatLeavesAndComesBackIsReopenedBySerial) {
  std::string error;
  sim::BenchLayout layout;
  ASSERT_TRUE(sim::LoadBuiltinBench(&layout, &error)) << error;
  layout.statePath.clear();  // nothing of the user's built-in tester is touched
  const std::unique_ptr<sim::Bench> bench = sim::BuildBench(layout, &error);
  ASSERT_NE(bench, nullptr) << error;
  const std::string serial = layout.devices.at(0).config.serial;
  link::TesterLink link;
  ASSERT_TRUE(link.Open(serial.c_str()));

  const auto away = 1200ms;
  testers::LinkSession tester(link, serial);
  UnpluggingSink sink(bench->Device(0), 5, away);
  LogOptions options;
  options.intervalMs = 50;
  options.durationS = 4;
  options.reconnectS = 10;
  options.loadMa = 700;
  SystemLabClock clock;
  StopRequests stop;
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  const LogOutcome outcome = RunLog({tester, sink, options, clock, stop, err, nullptr});
  const std::string lines = Contents(err);
  std::fclose(err);

  EXPECT_EQ(outcome.exitCode, LAB_EXIT_DONE) << lines;
  // One line for the loss, one for the return, nothing else.
  EXPECT_TRUE(
      std::regex_match(lines, std::regex("The tester is gone; trying to reopen it for 10 s\\.\n"
                                         "The tester is back after [0-9.]+ s\\.\n")))
      << lines;
  EXPECT_EQ(outcome.summary.reconnects, 1u);
  EXPECT_GE(outcome.summary.secondsWithoutTester, std::chrono::duration<double>(away).count());
  ASSERT_GT(sink.rows.size(), 6u);
  EXPECT_EQ(outcome.summary.samples, sink.rows.size());
  // No row while the bridge was away: one hole, as long as the time without the tester at least.
  double hole = 0;
  for (std::size_t i = 1; i < sink.rows.size(); ++i) {
    hole = std::max(hole, sink.rows[i].sample.elapsedS - sink.rows[i - 1].sample.elapsedS);
  }
  EXPECT_GE(hole, outcome.summary.secondsWithoutTester - 0.1);
  // The load is on in every row, the returned tester's included, and off after the run.
  for (const LogRow& row : sink.rows) EXPECT_EQ(row.sample.setCurrentMa, 700);
  link::StatsReply stats{};
  ASSERT_TRUE(link.GetStats(stats));
  EXPECT_EQ(stats.setCurrent, 0);
  link.Close();
}

}  // namespace
}  // namespace ralvex::lab
