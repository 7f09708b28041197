#include "lab/sample_logger.h"

#include <algorithm>
#include <optional>

#include "lab/load_guard.h"
#include "lab/sample_schedule.h"

namespace ralvex::lab {

namespace {

class Logger {
 public:
  explicit Logger(const LogRun& run)
      : run_(run),
        guard_(run.tester),
        schedule_(run.clock.Now(), Millis(run.options.intervalMs)),
        lastFlush_(schedule_.Start()) {
    summary_.requestedRateHz = run.options.intervalMs == 0 ? 0 : 1000.0 / run.options.intervalMs;
  }

  LogOutcome Run() {
    const int code = Loop();
    if (run_.stop.Urgent()) {
      guard_.Abandon();
      Note();
      std::fprintf(run_.err, "Second interrupt: ending at once; the load is left as it is.\n");
    } else {
      guard_.Reset();
    }
    run_.sink.Flush();
    summary_.runSeconds = Seconds(run_.clock.Now() - schedule_.Start());
    return {code, summary_};
  }

 private:
  int Loop() {
    if (run_.options.loadMa) guard_.Apply(*run_.options.loadMa);
    uint64_t slot = 0;
    for (;;) {
      if (const std::optional<int> end = EndBefore(slot)) return *end;
      if (!WaitUntil(schedule_.Due(slot))) return Ended("interrupted", LAB_EXIT_DONE);
      if (run_.tester.DeviceLost()) {
        if (!Reconnect()) {
          return Ended(run_.stop.Stopping() ? "interrupted" : "tester lost", LAB_EXIT_NO_TESTER);
        }
        slot = schedule_.SlotAt(run_.clock.Now());  // the gap's slots are time without it
        continue;
      }
      if (!TakeSample()) return Ended("output failed", LAB_EXIT_OUTPUT_FAILED);
      const NextSlot next = schedule_.After(slot, run_.clock.Now());
      summary_.missedSlots += next.missed;
      slot = next.slot;
    }
  }

  std::optional<int> EndBefore(uint64_t slot) {
    const LogOptions& o = run_.options;
    if (run_.stop.Stopping()) return Ended("interrupted", LAB_EXIT_DONE);
    if (ruled_ != nullptr) return Ended(ruled_, LAB_EXIT_DONE);
    if (o.samples && summary_.samples >= *o.samples) return Ended("done", LAB_EXIT_DONE);
    if (o.durationS && Seconds(schedule_.Due(slot) - schedule_.Start()) >= *o.durationS) {
      return Ended("done", LAB_EXIT_DONE);
    }
    // Without a schedule the duration is checked against the clock.
    if (o.durationS && o.intervalMs == 0 &&
        Seconds(run_.clock.Now() - schedule_.Start()) >= *o.durationS) {
      return Ended("done", LAB_EXIT_DONE);
    }
    return std::nullopt;
  }

  int Ended(const char* why, int code) {
    summary_.ended = why;
    return code;
  }

  bool WaitUntil(SteadyTime due) { return lab::WaitUntil(run_.clock, run_.stop, due); }

  // One exchange; a failed one is counted and the next slot tries again. False when the output
  // failed.
  bool TakeSample() {
    link::StatsReply stats{};
    if (!run_.tester.GetStats(stats)) {
      ++summary_.failedExchanges;
      return true;
    }
    const WallTime arrived = run_.clock.WallNow();
    const SteadyTime steady = run_.clock.Now();
    if (!first_) first_ = steady;
    const LogRow row = integrator_.Add(SampleOf(stats, arrived, Seconds(steady - *first_)));
    if (!run_.sink.Write(row)) return Failed();
    summary_.Add(row);
    if (run_.endAfterRow) ruled_ = run_.endAfterRow(row);
    if (run_.progress != nullptr) run_.progress->Show(row, summary_);
    if (steady - lastFlush_ >= FLUSH_PERIOD) {
      if (!run_.sink.Flush()) return Failed();
      lastFlush_ = steady;
    }
    return true;
  }

  // A line of its own on stderr: the progress line makes way.
  void Note() {
    if (run_.progress != nullptr) run_.progress->Clear();
  }

  bool Failed() {
    Note();
    std::fprintf(run_.err, "Error: the log could not be written: %s\n", run_.sink.Error().c_str());
    return false;
  }

  // The tester went away: reopen it every second for the reconnect time, then go on.
  bool Reconnect() {
    const SteadyTime lost = run_.clock.Now();
    const SteadyTime giveUp = lost + std::chrono::seconds(run_.options.reconnectS);
    Note();
    std::fprintf(run_.err, "The tester is gone; trying to reopen it for %u s.\n",
                 run_.options.reconnectS);
    std::fflush(run_.err);
    integrator_.Gap();
    run_.sink.Flush();
    for (SteadyTime attempt = lost;; attempt += REOPEN_PERIOD) {
      if (!WaitUntil(attempt)) break;
      if (run_.tester.Reopen()) {
        summary_.secondsWithoutTester += Seconds(run_.clock.Now() - lost);
        ++summary_.reconnects;
        Note();
        std::fprintf(run_.err, "The tester is back after %.1f s.\n",
                     Seconds(run_.clock.Now() - lost));
        std::fflush(run_.err);
        if (run_.options.loadMa) guard_.Apply(*run_.options.loadMa);
        return true;
      }
      if (run_.clock.Now() >= giveUp) break;
    }
    summary_.secondsWithoutTester += Seconds(run_.clock.Now() - lost);
    if (!run_.stop.Stopping()) {
      Note();
      std::fprintf(run_.err, "Error: the tester did not come back within %u s.\n",
                   run_.options.reconnectS);
    }
    return false;
  }

  const LogRun& run_;
  LoadGuard guard_;
  SampleSchedule schedule_;
  Integrator integrator_;
  LogSummary summary_;
  std::optional<SteadyTime> first_;
  SteadyTime lastFlush_;
  const char* ruled_ = nullptr;  // why the caller's rule ended the run
};

}  // namespace

Sample SampleOf(const link::StatsReply& stats, WallTime arrived, double elapsedS) {
  Sample sample;
  sample.time = arrived;
  sample.elapsedS = elapsedS;
  sample.voltageMv = stats.voltage;
  sample.currentMa = stats.measuredCurrent;
  sample.setCurrentMa = stats.setCurrent;
  sample.loopbackMa = stats.loopbackCurrent;
  sample.temperatureC = stats.temperature;
  return sample;
}

bool WaitUntil(LabClock& clock, const StopRequests& stop, SteadyTime due) {
  for (;;) {
    if (stop.Stopping()) return false;
    const SteadyTime now = clock.Now();
    if (now >= due) return true;
    clock.SleepFor(std::min<std::chrono::nanoseconds>(due - now, STOP_CHECK_PERIOD));
  }
}

LogOutcome RunLog(const LogRun& run) {
  return Logger(run).Run();
}

}  // namespace ralvex::lab
