// Internals shared by the synchronisation objects (events, mutexes, threads) and the waits.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/posix/handle_table.h"

namespace ralvex::posix {

// Thread keys: a new thread created by _beginthreadex gets its key before it runs, so that the
// creator can report it as the thread id.
uint64_t NewThreadKey();
void AdoptThreadKey(uint64_t key);

// Waits until one (waitAll false) or all of `objects` can be acquired, or `ms` pass. Returns
// WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i or WAIT_TIMEOUT; WAIT_FAILED (with the last error set)
// only when memory runs out. Leaves the last error alone otherwise.
DWORD WaitForObjects(KernelObject* const* objects, DWORD count, bool waitAll, DWORD ms);

// Mutexes still owned by the calling thread become abandoned: the next waiter gets
// WAIT_ABANDONED and the ownership. Runs when a thread ends.
void AbandonOwnedMutexes();

// A manual- or auto-reset event.
class EventObject final : public KernelObject {
 public:
  EventObject(bool manualReset, bool initialState)
      : manualReset_(manualReset), signalled_(initialState) {}

  bool IsWaitable() const override { return true; }
  bool IsSignalled(uint64_t) const override { return signalled_; }
  bool Acquire(uint64_t) override {
    if (!manualReset_) signalled_ = false;
    return false;
  }

  void Set();
  void Reset();

 private:
  const bool manualReset_;
  bool signalled_;  // guarded by KernelLock()
};

}  // namespace ralvex::posix
