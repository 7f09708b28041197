// The log's schedule: sample n is due at start + n × interval on the steady clock, so lateness
// never adds up. Slot n lasts until slot n + 1 is due; a slot whose time passed while an earlier
// exchange ran is missed (never filled late, never filled twice). Interval 0 means back to back:
// every slot is due at once and none is missed.
#pragma once

#include <cstdint>

#include "lab/lab_clock.h"

namespace ralvex::lab {

struct NextSlot {
  uint64_t slot;
  uint64_t missed;  // slots passed over since the one taken
};

class SampleSchedule {
 public:
  SampleSchedule(SteadyTime start, Millis interval) : start_(start), interval_(interval) {}

  SteadyTime Start() const { return start_; }
  Millis Interval() const { return interval_; }
  SteadyTime Due(uint64_t slot) const { return start_ + interval_ * static_cast<int64_t>(slot); }
  // The slot whose time span holds `now` (0 before the start; with interval 0 always 0).
  uint64_t SlotAt(SteadyTime now) const;
  // After slot `taken` ended at `now`: the next slot to take and how many were missed on the way.
  NextSlot After(uint64_t taken, SteadyTime now) const;

 private:
  SteadyTime start_;
  Millis interval_;
};

}  // namespace ralvex::lab
