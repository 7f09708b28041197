#include "lab/sample_schedule.h"

#include <algorithm>

namespace ralvex::lab {

uint64_t SampleSchedule::SlotAt(SteadyTime now) const {
  if (interval_.count() <= 0 || now <= start_) return 0;
  return static_cast<uint64_t>((now - start_) / interval_);
}

NextSlot SampleSchedule::After(uint64_t taken, SteadyTime now) const {
  const uint64_t next = std::max(taken + 1, SlotAt(now));
  return {next, next - (taken + 1)};
}

}  // namespace ralvex::lab
