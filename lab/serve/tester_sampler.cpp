#include "lab/serve/tester_sampler.h"

#include "lab/load_guard.h"
#include "lab/sample_logger.h"
#include "lab/sample_schedule.h"
#include "testers/profile_request.h"

namespace ralvex::lab {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool SameContract(const link::ConnectionReply& a, const link::ConnectionReply& b) {
  return a.status == b.status && a.profileIndex == b.profileIndex && a.setVoltage == b.setVoltage &&
         a.maxCurrent == b.maxCurrent;
}

}  // namespace

// The sampler's thread: everything here runs on it alone, and only it touches the tester.
class TesterSampler::Loop {
 public:
  explicit Loop(TesterSampler& owner)
      : s_(owner),
        tester_(owner.port_->Session()),
        guard_(tester_),
        schedule_(SteadyClock::now(), owner.timing_.interval) {}

  void Run() {
    uint64_t slot = 0;
    for (;;) {
      if (!up_) {
        if (!Open()) {
          if (!Idle(SteadyClock::now() + REOPEN_PERIOD)) break;
          continue;
        }
        slot = schedule_.SlotAt(SteadyClock::now());
      }
      if (!Idle(schedule_.Due(slot))) break;
      if (tester_.DeviceLost()) {
        Down("is gone");
        continue;
      }
      TakeSample();
      if (up_ && SteadyClock::now() >= contractDue_) RefreshContract();
      slot = schedule_.After(slot, SteadyClock::now()).slot;
    }
    guard_.Reset();
    s_.port_->Close();
    AnswerLeft();
  }

 private:
  bool Open() {
    if (!tester_.Reopen()) return false;
    up_ = true;
    failuresInARow_ = 0;
    {
      std::lock_guard<std::mutex> lock(s_.mutex_);
      s_.view_.up = true;
      s_.view_.snapshot.versionLevel = tester_.VersionLevel();
    }
    if (wasUp_) Say("is back");
    wasUp_ = true;
    profilesStale_ = true;
    RefreshContract();
    return true;
  }

  void Down(const char* why) {
    if (!up_) return;
    up_ = false;
    integrator_.Gap();
    s_.port_->Close();
    {
      std::lock_guard<std::mutex> lock(s_.mutex_);
      s_.view_.up = false;
    }
    Say(why);
  }

  void Say(const char* what) {
    if (s_.err_ == nullptr) return;
    std::fprintf(s_.err_, "Tester %s %s.\n", s_.view_.serial.c_str(), what);
    std::fflush(s_.err_);
  }

  // Counts one exchange; three unanswered in a row take the tester down.
  bool Counted(bool answered) {
    failuresInARow_ = answered ? 0 : failuresInARow_ + 1;
    {
      std::lock_guard<std::mutex> lock(s_.mutex_);
      ++s_.view_.exchanges;
      if (!answered) ++s_.view_.failures;
    }
    if (failuresInARow_ >= DOWN_AFTER_FAILURES) Down("does not answer");
    return answered;
  }

  void TakeSample() {
    link::StatsReply stats{};
    if (!Counted(tester_.GetStats(stats))) return;
    const SteadyTime steady = SteadyClock::now();
    if (!first_) first_ = steady;
    const LogRow row = integrator_.Add(
        SampleOf(stats, std::chrono::system_clock::now(), Seconds(steady - *first_)));
    std::lock_guard<std::mutex> lock(s_.mutex_);
    s_.view_.measured = true;
    ++s_.view_.samples;
    s_.view_.snapshot.stats = stats;
    s_.view_.lastRow = row;
    s_.history_.Add(row);
  }

  // The contract, and the profiles when the contract changed (or a set may have changed them).
  void RefreshContract() {
    contractDue_ = SteadyClock::now() + CONTRACT_REFRESH_PERIOD;
    link::ConnectionReply contract{};
    if (!Counted(tester_.GetConnection(contract))) return;
    link::ProfileList profiles{};
    const bool changed = !SameContract(contract, s_.view_.snapshot.contract);
    const bool read = (changed || profilesStale_) && Counted(tester_.GetProfiles(profiles));
    if (read) profilesStale_ = false;
    std::lock_guard<std::mutex> lock(s_.mutex_);
    s_.view_.snapshot.contract = contract;
    if (read) s_.view_.snapshot.profiles = profiles;
  }

  // Waits until `due`, carrying out queued requests meanwhile; false once a stop was asked for.
  bool Idle(SteadyTime due) {
    std::unique_lock<std::mutex> lock(s_.mutex_);
    for (;;) {
      if (s_.stop_) return false;
      if (!s_.queue_.empty()) {
        Pending pending = std::move(s_.queue_.front());
        s_.queue_.pop_front();
        lock.unlock();
        pending.reply.set_value(Carry(pending.action));
        lock.lock();
        continue;
      }
      if (!s_.wake_.wait_until(lock, due, [&] { return s_.stop_ || !s_.queue_.empty(); })) {
        return true;
      }
    }
  }

  ControlOutcome Carry(const ControlAction& action) {
    if (!up_ || tester_.DeviceLost()) return {};
    link::SetResult result;
    if (action.kind == CONTROL_LOAD) {
      result = guard_.Apply(action.loadMa);
    } else {
      const testers::ProfileRequest request = testers::PlanProfileRequest(
          s_.view_.snapshot.profiles, action.profile, action.voltageMv, tester_.VersionLevel());
      if (!request.valid) return {true, false, {}};
      result = tester_.SetProfile(request.profileId, request.voltage);
      profilesStale_ = true;
      contractDue_ = SteadyClock::now();
    }
    Counted(result.answered);
    return {true, true, result};
  }

  void AnswerLeft() {
    std::lock_guard<std::mutex> lock(s_.mutex_);
    for (Pending& pending : s_.queue_) pending.reply.set_value(ControlOutcome{});
    s_.queue_.clear();
  }

  TesterSampler& s_;
  testers::TesterSession& tester_;
  LoadGuard guard_;
  SampleSchedule schedule_;
  Integrator integrator_;
  std::optional<SteadyTime> first_;
  SteadyTime contractDue_{};
  bool up_ = false;
  bool wasUp_ = false;
  bool profilesStale_ = true;
  int failuresInARow_ = 0;
};

TesterSampler::TesterSampler(std::unique_ptr<TesterPort> port, std::string serial,
                             std::size_t index, SamplerTiming timing, std::FILE* err)
    : port_(std::move(port)), timing_(timing), err_(err), history_(timing.history) {
  view_.serial = serial;
  view_.snapshot.serial = std::move(serial);
  view_.snapshot.index = index;
}

void TesterSampler::Start() {
  thread_ = std::thread([this] { Loop(*this).Run(); });
}

void TesterSampler::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

TesterView TesterSampler::View() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return view_;
}

std::vector<LogRow> TesterSampler::Samples(std::optional<WallTime> since) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_.After(since);
}

std::future<ControlOutcome> TesterSampler::Post(const ControlAction& action) {
  std::promise<ControlOutcome> reply;
  std::future<ControlOutcome> answer = reply.get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ || !thread_.joinable()) {
      reply.set_value(ControlOutcome{});
      return answer;
    }
    queue_.push_back({action, std::move(reply)});
  }
  wake_.notify_all();
  return answer;
}

}  // namespace ralvex::lab
