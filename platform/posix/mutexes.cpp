// Mutexes: recursive and owner-checked. Each successful wait by the owner adds one to the count and
// each ReleaseMutex takes one off. When the owner thread ends while holding it, the mutex is
// abandoned: the next waiter gets WAIT_ABANDONED and the ownership.
#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "platform/posix/kernel_sync.h"

namespace ralvex::posix {
namespace {

class MutexObject;

// The mutexes the current thread owns, so that its end can abandon them. Only the owning thread
// touches its list, always under the kernel lock.
struct OwnedMutexes {
  std::vector<std::weak_ptr<MutexObject>> mutexes;
  ~OwnedMutexes() { AbandonOwnedMutexes(); }
};
thread_local OwnedMutexes owned;

class MutexObject final : public KernelObject, public std::enable_shared_from_this<MutexObject> {
 public:
  bool IsWaitable() const override { return true; }
  bool IsSignalled(uint64_t thread) const override {
    // A count at its limit would wrap; the owner's further waits just don't succeed.
    return owner_ == 0 || (owner_ == thread && count_ < std::numeric_limits<uint32_t>::max());
  }
  bool Acquire(uint64_t thread) override {
    if (owner_ == thread) {
      ++count_;
      return false;
    }
    // The ownership record can only fail to grow when memory runs out; the thread still owns the
    // mutex then, it just cannot be abandoned automatically.
    try {
      owned.mutexes.push_back(weak_from_this());
    } catch (const std::bad_alloc&) {
    }
    owner_ = thread;
    count_ = 1;
    const bool abandoned = abandoned_;
    abandoned_ = false;
    return abandoned;
  }

  // With the kernel lock held. Returns false when the caller is not the owner.
  bool Release(uint64_t thread) {
    if (owner_ != thread || count_ == 0) return false;
    if (--count_ == 0) {
      owner_ = 0;
      Forget();
      WakeWaiters();
    }
    return true;
  }

  // With the kernel lock held, from the ending owner thread.
  void Abandon(uint64_t thread) {
    if (owner_ != thread) return;
    owner_ = 0;
    count_ = 0;
    abandoned_ = true;
    WakeWaiters();
  }

 private:
  void Forget() {
    auto& list = owned.mutexes;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const std::weak_ptr<MutexObject>& entry) {
                                auto locked = entry.lock();
                                return !locked || locked.get() == this;
                              }),
               list.end());
  }

  uint64_t owner_ = 0;  // CurrentThreadKey of the owner, 0 when free
  uint32_t count_ = 0;
  bool abandoned_ = false;
};

}  // namespace

void AbandonOwnedMutexes() {
  const uint64_t self = CurrentThreadKey();
  std::lock_guard guard(KernelLock());
  for (const auto& entry : owned.mutexes) {
    if (auto mutex = entry.lock()) mutex->Abandon(self);
  }
  owned.mutexes.clear();
}

}  // namespace ralvex::posix

using ralvex::posix::CurrentThreadKey;
using ralvex::posix::KernelLock;
using ralvex::posix::MutexObject;

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
  // Named mutexes would be shared between processes; they are refused rather than made private.
  if (lpName != nullptr && lpName[0] != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  std::shared_ptr<MutexObject> mutex;
  try {
    mutex = std::make_shared<MutexObject>();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bInitialOwner) {
    std::lock_guard guard(KernelLock());
    mutex->Acquire(CurrentThreadKey());
  }
  HANDLE handle = ralvex::posix::InsertObject(mutex);
  if (handle == nullptr) {
    if (bInitialOwner) {
      std::lock_guard guard(KernelLock());
      mutex->Release(CurrentThreadKey());
    }
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return handle;
}

extern "C" BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  std::shared_ptr<MutexObject> mutex = ralvex::posix::FindObjectAs<MutexObject>(hMutex);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard guard(KernelLock());
  if (!mutex->Release(CurrentThreadKey())) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}
