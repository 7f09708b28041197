#include "lab/sample_schedule.h"

#include <gtest/gtest.h>

namespace ralvex::lab {
namespace {

const SteadyTime START = SteadyTime{} + std::chrono::seconds(5);

TEST(SampleSchedule, DueTimesAreStartPlusSlotTimesInterval) {
  const SampleSchedule schedule(START, Millis(100));
  EXPECT_EQ(schedule.Due(0), START);
  EXPECT_EQ(schedule.Due(7), START + Millis(700));
  // A million slots later the schedule has not drifted by a single tick.
  EXPECT_EQ(schedule.Due(1000000), START + std::chrono::seconds(100000));
}

struct AfterCase {
  int intervalMs;
  uint64_t taken;
  int endedAtMs;  // after the start
  uint64_t next;
  uint64_t missed;
};

TEST(SampleSchedule, NextSlotAndMissedSlots) {
  const AfterCase cases[] = {
      {100, 0, 10, 1, 0},     // on time: the next slot
      {100, 0, 99, 1, 0},     // still inside its own slot
      {100, 0, 100, 1, 0},    // the next slot has just begun: taken, late but in its slot
      {100, 0, 199, 1, 0},    // late within slot 1: still slot 1
      {100, 0, 200, 2, 1},    // slot 1 passed whole: missed
      {100, 3, 1050, 10, 6},  // a long exchange: slots 4-9 missed
      {100, 5, 0, 6, 0},      // a clock that reads early never repeats a slot
      {0, 0, 5000, 1, 0},     // interval 0: back to back, nothing missed
      {0, 41, 99999, 42, 0},
  };
  for (const AfterCase& c : cases) {
    const SampleSchedule schedule(START, Millis(c.intervalMs));
    const NextSlot next = schedule.After(c.taken, START + Millis(c.endedAtMs));
    EXPECT_EQ(next.slot, c.next) << c.intervalMs << " ms, slot " << c.taken << " at "
                                 << c.endedAtMs;
    EXPECT_EQ(next.missed, c.missed)
        << c.intervalMs << " ms, slot " << c.taken << " at " << c.endedAtMs;
  }
}

TEST(SampleSchedule, SlotAtBeforeTheStartIsTheFirst) {
  const SampleSchedule schedule(START, Millis(100));
  EXPECT_EQ(schedule.SlotAt(START - Millis(300)), 0u);
  EXPECT_EQ(schedule.SlotAt(START + Millis(250)), 2u);
}

}  // namespace
}  // namespace ralvex::lab
