// The serial time-outs of a bridge port and the rules a read and a write follow under them:
//
//   - read interval MAXDWORD, multiplier 0, constant 0: a read returns at once with what is there;
//   - interval MAXDWORD, multiplier MAXDWORD, constant between: it returns with the first bytes,
//     or after the constant with none;
//   - otherwise it returns when full, after multiplier x length + constant ms in all (0: no
//     limit), or when `interval` ms pass between two bytes once the first one came (0 and
//     MAXDWORD: no interval limit).
//
// A write ends after multiplier x length + constant ms in all (0: no limit). A time-out is a
// success with the bytes that moved. Totals longer than LONGEST_TIMEOUT_MS count as no limit.
#pragma once

#include <cstdint>

namespace ralvex::devside {

// COMMTIMEOUTS in its field order.
struct SerialTimeouts {
  uint32_t readInterval = 0;
  uint32_t readMultiplier = 0;
  uint32_t readConstant = 0;
  uint32_t writeMultiplier = 0;
  uint32_t writeConstant = 0;
};

// A timer that far out is never useful, and multiplier x length could overflow the clock.
inline constexpr uint64_t LONGEST_TIMEOUT_MS = 24ull * 24 * 3600 * 1000;

// What one read waits for, and when it is complete.
struct ReadPlan {
  bool immediate = false;   // returns at once with what is there
  bool firstByte = false;   // returns as soon as it holds a byte
  uint64_t totalMs = 0;     // from the start of the read; 0: no total limit
  uint32_t intervalMs = 0;  // after each byte that arrives; 0: no interval limit

  // Whether a read holding `filled` of the `wanted` bytes completes now, successfully. One that
  // does not ends only by a due time-out.
  bool Complete(uint32_t filled, uint32_t wanted) const {
    return filled >= wanted || immediate || (firstByte && filled > 0);
  }
};

ReadPlan PlanRead(const SerialTimeouts& timeouts, uint32_t wanted);

// The total time-out of a write of `length` bytes in ms; 0: no limit.
uint64_t WriteTimeoutMs(const SerialTimeouts& timeouts, uint32_t length);

}  // namespace ralvex::devside
