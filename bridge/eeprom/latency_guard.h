// A chip whose layout asks for it (the 232R) programs faster with a short latency timer: it is
// raised to 119 for the write and verify and put back afterwards, on every path once it was
// changed.
#pragma once

#include "ralvex/bridge.h"

namespace ralvex::bridge::eeprom {

inline constexpr UCHAR PROGRAMMING_LATENCY = 119;

class LatencyGuard {
 public:
  // With `raise`, saves the handle's latency timer and sets PROGRAMMING_LATENCY. Without it, or
  // when the timer cannot be read, the timer is left alone (there would be nothing to put back).
  LatencyGuard(FT_HANDLE handle, bool raise);
  // Restores the saved value unless Restore ran.
  ~LatencyGuard();
  LatencyGuard(const LatencyGuard&) = delete;
  LatencyGuard& operator=(const LatencyGuard&) = delete;

  // Restores now: the status of the restoring call (FT_OK when nothing was changed).
  FT_STATUS Restore();

 private:
  FT_HANDLE handle_;
  UCHAR saved_;
  bool changed_;
};

}  // namespace ralvex::bridge::eeprom
