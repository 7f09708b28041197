#include "bridge/eeprom/latency_guard.h"

namespace ralvex::bridge::eeprom {

LatencyGuard::LatencyGuard(FT_HANDLE handle, bool raise)
    : handle_(handle), saved_(0), changed_(false) {
  if (raise && FT_GetLatencyTimer(handle_, &saved_) == FT_OK) {
    changed_ = true;
    FT_SetLatencyTimer(handle_, PROGRAMMING_LATENCY);
  }
}

LatencyGuard::~LatencyGuard() {
  Restore();
}

FT_STATUS LatencyGuard::Restore() {
  if (!changed_) return FT_OK;
  changed_ = false;
  return FT_SetLatencyTimer(handle_, saved_);
}

}  // namespace ralvex::bridge::eeprom
