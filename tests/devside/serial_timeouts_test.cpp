// The serial time-out rules both drivers follow: what a read waits for under each setting, when
// it is complete, and the write limit.
#include <gtest/gtest.h>

#include <vector>

#include "devside/serial_timeouts.h"
#include "platform/win32.h"

namespace ralvex::devside {
namespace {

struct ReadCase {
  const char* name;
  SerialTimeouts timeouts;
  uint32_t wanted;
  bool immediate;
  bool firstByte;
  uint64_t totalMs;
  uint32_t intervalMs;
};

TEST(ReadPlanRules, EachSettingWaitsForWhatItSays) {
  const uint32_t MAX = MAXDWORD;
  for (const ReadCase& c : std::vector<ReadCase>{
           {"all zero: wait for the full count", {0, 0, 0, 0, 0}, 10, false, false, 0, 0},
           {"total: multiplier x count + constant", {0, 5, 100, 0, 0}, 10, false, false, 150, 0},
           {"total: the constant alone", {0, 0, 40, 0, 0}, 10, false, false, 40, 0},
           {"immediate: interval MAXDWORD, the rest 0", {MAX, 0, 0, 0, 0}, 10, true, false, 0, 0},
           {"first byte: MAXDWORD, MAXDWORD, a constant",
            {MAX, MAX, 250, 0, 0},
            10,
            false,
            true,
            250,
            0},
           {"first byte with the largest constant below MAXDWORD",
            {MAX, MAX, MAX - 1, 0, 0},
            10,
            false,
            true,
            MAX - 1,
            0},
           // Neither special form: the plain rules, with MAXDWORD as no interval limit.
           {"MAXDWORD, MAXDWORD, 0 is no first-byte read",
            {MAX, MAX, 0, 0, 0},
            1,
            false,
            false,
            0,
            0},
           {"MAXDWORD, MAXDWORD, MAXDWORD is no first-byte read",
            {MAX, MAX, MAX, 0, 0},
            0,
            false,
            false,
            0,
            0},
           {"interval MAXDWORD with a constant only", {MAX, 0, 30, 0, 0}, 10, false, false, 30, 0},
           {"interval alone", {20, 0, 0, 0, 0}, 10, false, false, 0, 20},
           {"interval and total together", {20, 1, 5, 0, 0}, 10, false, false, 15, 20},
           // Totals past the longest honoured time-out count as no limit.
           {"multiplier MAXDWORD on a long read", {0, MAX, 0, 0, 0}, 100, false, false, 0, 0},
           {"all MAXDWORD", {MAX, MAX, MAX, MAX, MAX}, 2, false, false, 0, 0},
           {"just at the longest",
            {0, 0, static_cast<uint32_t>(LONGEST_TIMEOUT_MS), 0, 0},
            1,
            false,
            false,
            LONGEST_TIMEOUT_MS,
            0},
           {"write fields leave reads alone", {0, 0, 0, 7, 9}, 10, false, false, 0, 0},
       }) {
    const ReadPlan plan = PlanRead(c.timeouts, c.wanted);
    EXPECT_EQ(plan.immediate, c.immediate) << c.name;
    EXPECT_EQ(plan.firstByte, c.firstByte) << c.name;
    EXPECT_EQ(plan.totalMs, c.totalMs) << c.name;
    EXPECT_EQ(plan.intervalMs, c.intervalMs) << c.name;
  }
}

struct CompleteCase {
  const char* name;
  SerialTimeouts timeouts;
  uint32_t filled;
  uint32_t wanted;
  bool complete;
};

TEST(ReadPlanRules, CompleteWhenFullOrAsTheFormAllows) {
  const uint32_t MAX = MAXDWORD;
  for (const CompleteCase& c : std::vector<CompleteCase>{
           {"already satisfied", {0, 0, 0, 0, 0}, 8, 8, true},
           {"part of it waits on", {0, 0, 0, 0, 0}, 7, 8, false},
           {"nothing yet waits on", {0, 5, 100, 0, 0}, 0, 8, false},
           {"an interval read waits for the rest", {20, 0, 0, 0, 0}, 3, 8, false},
           {"immediate with nothing there", {MAX, 0, 0, 0, 0}, 0, 8, true},
           {"immediate with part of it", {MAX, 0, 0, 0, 0}, 3, 8, true},
           {"first byte: one byte is enough", {MAX, MAX, 50, 0, 0}, 1, 8, true},
           {"first byte: none waits", {MAX, MAX, 50, 0, 0}, 0, 8, false},
           {"all MAXDWORD is a plain read", {MAX, MAX, MAX, 0, 0}, 1, 8, false},
       }) {
    EXPECT_EQ(PlanRead(c.timeouts, c.wanted).Complete(c.filled, c.wanted), c.complete) << c.name;
  }
}

struct WriteCase {
  SerialTimeouts timeouts;
  uint32_t length;
  uint64_t limitMs;
};

TEST(WriteTimeoutRule, MultiplierTimesLengthPlusConstantUpToTheLongest) {
  const uint32_t MAX = MAXDWORD;
  for (const WriteCase& c : std::vector<WriteCase>{
           {{0, 0, 0, 0, 0}, 10, 0},
           {{0, 0, 0, 2, 30}, 10, 50},
           {{0, 0, 0, 0, 30}, 0, 30},
           {{MAX, MAX, MAX, 0, 0}, 10, 0},  // read fields leave writes alone
           {{0, 0, 0, 1000, 0}, 1000, 1'000'000},
           {{0, 0, 0, 0, static_cast<uint32_t>(LONGEST_TIMEOUT_MS)}, 1, LONGEST_TIMEOUT_MS},
           // Past the longest: no limit, also where the product would not fit 32 bits.
           {{0, 0, 0, 0, static_cast<uint32_t>(LONGEST_TIMEOUT_MS) + 1}, 0, 0},
           {{0, 0, 0, MAX, MAX}, 1, 0},
           {{0, 0, 0, MAX, 0}, 1000, 0},
       }) {
    EXPECT_EQ(WriteTimeoutMs(c.timeouts, c.length), c.limitMs)
        << c.timeouts.writeMultiplier << " x " << c.length << " + " << c.timeouts.writeConstant;
  }
}

}  // namespace
}  // namespace ralvex::devside
