// The safety rule: a run that changed the tester's load sets it back to 0 mA before it ends,
// however it ends. The guard marks the load changed before it asks (a lost reply may still have
// set it) and resets it when the run is over or when the guard goes out of scope.
#pragma once

#include <cstdint>

#include "testers/tester_session.h"

namespace ralvex::lab {

inline constexpr int LOAD_RESET_ATTEMPTS = 3;

class LoadGuard {
 public:
  explicit LoadGuard(testers::TesterSession& tester) : tester_(tester) {}
  ~LoadGuard() { Reset(); }
  LoadGuard(const LoadGuard&) = delete;
  LoadGuard& operator=(const LoadGuard&) = delete;

  // Sets the load; the tester's answer (answered, and its verdict when it gave one).
  link::SetResult Apply(uint16_t loadMa);
  // Back to 0 mA (up to three attempts) if the load was changed; true when nothing is left set.
  bool Reset();
  // A second interrupt: the run ends at once and leaves the load as it is.
  void Abandon() { changed_ = false; }

 private:
  testers::TesterSession& tester_;
  bool changed_ = false;
};

}  // namespace ralvex::lab
