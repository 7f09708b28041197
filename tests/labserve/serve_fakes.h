// Stand-ins for serve's tests: a tester whose answers the test changes while a sampler's thread
// talks to it (every member behind one lock), the port that holds it, and a model of testers the
// API reads without any thread.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "lab/serve/serve_model.h"
#include "lab/serve/tester_port.h"

namespace ralvex::lab::test_support {

class SharedTester final : public testers::TesterSession {
 public:
  bool GetConnection(link::ConnectionReply& reply) override {
    std::lock_guard<std::mutex> lock(mutex);
    reply = connection;
    return Answers();
  }
  bool GetProfiles(link::ProfileList& list) override {
    std::lock_guard<std::mutex> lock(mutex);
    list = profiles;
    return Answers();
  }
  bool GetStats(link::StatsReply& reply) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++statsCalls;
    reply = stats;
    reply.setCurrent = load;
    reply.measuredCurrent = load;
    return Answers();
  }
  link::SetResult SetProfile(uint8_t id, uint16_t mv) override {
    std::lock_guard<std::mutex> lock(mutex);
    profileSets.push_back({id, mv});
    return Answers() ? link::SetResult{true, link::SET_ACCEPTED} : link::SetResult{};
  }
  link::SetResult SetLoad(uint16_t ma) override {
    std::lock_guard<std::mutex> lock(mutex);
    loads.push_back(ma);
    setterThreads.push_back(std::this_thread::get_id());
    if (!Answers()) return {};
    load = ma;
    return {true, link::SET_ACCEPTED};
  }
  link::SetResult StoreDefaultVoltage(uint16_t) override { return {}; }
  link::SetResult StoreDefaultLoad(uint16_t) override { return {}; }
  link::SetResult StoreMaxLoad(uint16_t) override { return {}; }
  uint8_t VersionLevel() const override { return 21; }
  bool DeviceLost() const override {
    std::lock_guard<std::mutex> lock(mutex);
    return lost;
  }
  bool Reopen() override {
    std::lock_guard<std::mutex> lock(mutex);
    ++reopens;
    if (!present) return false;
    lost = false;
    return true;
  }

  // Changes or reads the tester under its lock.
  void Change(const std::function<void(SharedTester&)>& change) {
    std::lock_guard<std::mutex> lock(mutex);
    change(*this);
  }
  template <typename Read>
  auto Get(Read read) const {
    std::lock_guard<std::mutex> lock(mutex);
    return read(*this);
  }

  mutable std::mutex mutex;
  link::ConnectionReply connection{1, 1, 5, 0, 5000, 3000, 15000};
  link::ProfileList profiles{};
  link::StatsReply stats{0, 25, 5000, 0, 0, 0};
  bool answering = true;
  bool lost = true;     // until the sampler opens it
  bool present = true;  // a Reopen finds it
  uint16_t load = 0;
  int statsCalls = 0;
  int reopens = 0;
  int closes = 0;
  std::vector<uint16_t> loads;
  std::vector<std::thread::id> setterThreads;
  std::vector<std::pair<uint8_t, uint16_t>> profileSets;

 private:
  bool Answers() const { return answering && !lost; }
};

class SharedPort final : public TesterPort {
 public:
  explicit SharedPort(SharedTester& tester) : tester_(tester) {}
  testers::TesterSession& Session() override { return tester_; }
  void Close() override {
    tester_.Change([](SharedTester& t) {
      t.lost = true;  // closed: nothing answers until it is opened again
      ++t.closes;
    });
  }

 private:
  SharedTester& tester_;
};

// Polls `done` every millisecond for up to five seconds; whether it came true.
inline bool Eventually(const std::function<bool()>& done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Testers as the test says, and the control requests the API handed on.
class ScriptedModel final : public ServeModel {
 public:
  std::vector<TesterView> Testers() const override { return testers; }
  std::optional<std::vector<LogRow>> Samples(const std::string& serial,
                                             std::optional<WallTime> since) const override {
    const auto at = rows.find(serial);
    if (at == rows.end()) return std::nullopt;
    std::vector<LogRow> after;
    for (const LogRow& row : at->second) {
      if (!since || row.sample.time > *since) after.push_back(row);
    }
    return after;
  }
  std::optional<ControlOutcome> Control(const std::string& serial,
                                        const ControlAction& action) override {
    if (rows.find(serial) == rows.end()) return std::nullopt;
    actions.push_back(action);
    return outcome;
  }

  std::vector<TesterView> testers;
  std::map<std::string, std::vector<LogRow>> rows;
  ControlOutcome outcome{true, true, {true, link::SET_ACCEPTED}};
  std::vector<ControlAction> actions;
};

}  // namespace ralvex::lab::test_support
