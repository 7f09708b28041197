#include "devside/serial_timeouts.h"

#include "platform/win32.h"

namespace ralvex::devside {
namespace {

uint64_t Total(uint32_t multiplier, uint32_t constant, uint32_t length) {
  const uint64_t total = uint64_t{multiplier} * length + constant;
  return total > LONGEST_TIMEOUT_MS ? 0 : total;
}

}  // namespace

ReadPlan PlanRead(const SerialTimeouts& t, uint32_t wanted) {
  ReadPlan plan;
  const bool noInterval = t.readInterval == MAXDWORD;
  plan.immediate = noInterval && t.readMultiplier == 0 && t.readConstant == 0;
  plan.firstByte =
      noInterval && t.readMultiplier == MAXDWORD && t.readConstant > 0 && t.readConstant < MAXDWORD;
  if (plan.firstByte) {
    plan.totalMs = t.readConstant;
  } else if (!plan.immediate) {
    plan.totalMs = Total(t.readMultiplier, t.readConstant, wanted);
  }
  plan.intervalMs = (t.readInterval != 0 && !noInterval) ? t.readInterval : 0;
  return plan;
}

uint64_t WriteTimeoutMs(const SerialTimeouts& t, uint32_t length) {
  return Total(t.writeMultiplier, t.writeConstant, length);
}

}  // namespace ralvex::devside
