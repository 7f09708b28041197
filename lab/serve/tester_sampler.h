// One tester under `serve`: a thread of its own opens it, samples it on the log's schedule (slot n
// due at start + n × interval, a slot that passed while an exchange ran is missed, never filled
// late), keeps its contract fresh, and carries out the control requests that HTTP threads queue,
// so that no other thread ever talks to the tester. A tester that goes away (the device lost, or
// three exchanges in a row unanswered) is marked down and reopened every second. When the sampler
// stops, a load it set goes back to 0 mA and the port is closed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lab/lab_clock.h"
#include "lab/log/log_row.h"
#include "lab/serve/sample_history.h"
#include "lab/serve/tester_port.h"
#include "lab/status_report.h"

namespace ralvex::lab {

inline constexpr Millis CONTRACT_REFRESH_PERIOD{1000};
inline constexpr int DOWN_AFTER_FAILURES = 3;

// What the HTTP side reads of a tester: the latest of everything, copied under the sampler's lock.
struct TesterView {
  std::string serial;
  bool up = false;
  bool measured = false;    // lastRow (and snapshot.stats) hold a reading
  StatusSnapshot snapshot;  // contract and profiles as last read, stats of the last row
  LogRow lastRow{};
  uint64_t exchanges = 0;  // every exchange with the tester, answered or not
  uint64_t failures = 0;
  uint64_t samples = 0;  // readings taken into the history
};

enum ControlKind : uint8_t { CONTROL_LOAD, CONTROL_PROFILE };

struct ControlAction {
  ControlKind kind = CONTROL_LOAD;
  uint16_t loadMa = 0;
  uint8_t profile = 0;     // the position in the source's list, from 1
  uint16_t voltageMv = 0;  // for a ranged profile
};

struct ControlOutcome {
  bool up = false;    // false: the tester was down, nothing was sent
  bool valid = true;  // false: the source lists no such profile, or it takes no such voltage
  link::SetResult result;
};

struct SamplerTiming {
  Millis interval{500};
  std::chrono::seconds history{600};
};

class TesterSampler {
 public:
  TesterSampler(std::unique_ptr<TesterPort> port, std::string serial, std::size_t index,
                SamplerTiming timing, std::FILE* err);
  ~TesterSampler() { Stop(); }
  TesterSampler(const TesterSampler&) = delete;
  TesterSampler& operator=(const TesterSampler&) = delete;

  void Start();
  // Ends the thread: pending requests are answered as down, the load back to 0 mA, port closed.
  void Stop();

  TesterView View() const;
  std::vector<LogRow> Samples(std::optional<WallTime> since) const;
  // Queued for the sampler's thread; the future is ready once the tester answered (or not).
  std::future<ControlOutcome> Post(const ControlAction& action);

 private:
  struct Pending {
    ControlAction action;
    std::promise<ControlOutcome> reply;
  };
  class Loop;

  std::unique_ptr<TesterPort> port_;
  SamplerTiming timing_;
  std::FILE* err_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::deque<Pending> queue_;
  TesterView view_;
  SampleHistory history_;
  std::thread thread_;
};

}  // namespace ralvex::lab
