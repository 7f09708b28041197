// Stand-ins for ralvex-lab's tests: a clock that moves only when slept on or told, a tester whose
// exchanges take a set time and can fail, vanish or come back, and a sink that keeps its rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "lab/lab_clock.h"
#include "lab/log/row_sink.h"
#include "tests/testers/fake_session.h"

namespace ralvex::lab::test_support {

class FakeClock final : public LabClock {
 public:
  SteadyTime Now() const override { return SteadyTime{} + now_; }
  WallTime WallNow() const override { return WallTime{} + now_; }
  void SleepFor(std::chrono::nanoseconds span) override {
    longestSleep = std::max(longestSleep, span);
    now_ += span;
  }
  void Advance(std::chrono::nanoseconds span) { now_ += span; }
  std::chrono::nanoseconds longestSleep{0};

 private:
  std::chrono::nanoseconds now_{0};
};

// The scripted operations are its own; ralvex-lab sets no profile and stores no setting, so those
// mocks must not be called.
class FakeTester final : public testers::test_support::FakeSession {
 public:
  explicit FakeTester(FakeClock& clock) : clock_(clock) {
    EXPECT_CALL(*this, SetProfile).Times(0);
    EXPECT_CALL(*this, StoreDefaultVoltage).Times(0);
    EXPECT_CALL(*this, StoreDefaultLoad).Times(0);
    EXPECT_CALL(*this, StoreMaxLoad).Times(0);
  }

  bool GetConnection(link::ConnectionReply& reply) override {
    reply = connection;
    return answers;
  }
  bool GetProfiles(link::ProfileList& list) override {
    list = profiles;
    return answers;
  }
  bool GetStats(link::StatsReply& stats) override {
    const int call = statsCalls++;
    statsAsked.push_back(clock_.Now());
    clock_.Advance(exchange);
    if (onStats) onStats(call);
    if (lost || !answers || failCalls.count(call) != 0) return false;
    stats = this->stats;
    stats.setCurrent = load;
    return true;
  }
  link::SetResult SetLoad(uint16_t loadMa) override {
    loads.push_back(loadMa);
    if (lost) return {};
    load = loadMa;
    return {true, link::SET_ACCEPTED};
  }
  uint8_t VersionLevel() const override { return versionLevel; }
  bool DeviceLost() const override { return lost; }
  bool Reopen() override {
    ++reopens;
    if (reopens <= failedReopens) return false;
    lost = false;
    return true;
  }

  // What it answers and how.
  link::ConnectionReply connection{1, 1, 5, 0, 5000, 3000, 15000};
  link::ProfileList profiles{};
  link::StatsReply stats{0, 25, 5000, 0, 1000, 0};
  uint8_t versionLevel = 21;
  bool answers = true;
  bool lost = false;
  int failedReopens = 0;  // Reopen fails this many times before it succeeds
  std::chrono::milliseconds exchange{10};
  std::set<int> failCalls;           // GetStats calls (from 0) that get no answer
  std::function<void(int)> onStats;  // runs after each GetStats call

  // What happened.
  int statsCalls = 0;
  int reopens = 0;
  uint16_t load = 0;
  std::vector<uint16_t> loads;
  std::vector<SteadyTime> statsAsked;

 private:
  FakeClock& clock_;
};

class FakeSink final : public RowSink {
 public:
  bool Write(const LogRow& row) override {
    rows.push_back(row);
    return writes;
  }
  bool Flush() override {
    ++flushes;
    return true;
  }
  bool Finish(const std::string& summaryJson) override {
    finished = summaryJson;
    return true;
  }
  std::string Error() const override { return "disk full"; }

  std::vector<LogRow> rows;
  int flushes = 0;
  bool writes = true;
  std::string finished;
};

}  // namespace ralvex::lab::test_support
