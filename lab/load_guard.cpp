#include "lab/load_guard.h"

namespace ralvex::lab {

link::SetResult LoadGuard::Apply(uint16_t loadMa) {
  changed_ = changed_ || loadMa != 0;
  return tester_.SetLoad(loadMa);
}

bool LoadGuard::Reset() {
  if (!changed_) return true;
  if (tester_.DeviceLost()) return false;  // nothing reaches a tester that has gone
  for (int attempt = 0; attempt < LOAD_RESET_ATTEMPTS; ++attempt) {
    if (tester_.SetLoad(0).answered) {
      changed_ = false;
      return true;
    }
  }
  return false;
}

}  // namespace ralvex::lab
