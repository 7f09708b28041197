// WaitForSingleObject and WaitForMultipleObjects.
//
// Wait-any takes the lowest-numbered ready object and acquires only that one, so other
// auto-reset events that were set stay set. Wait-all acquires every object in one step under the
// kernel lock, or none. A blocked waiter sleeps on its own condition variable; nothing polls.
#include <array>
#include <chrono>
#include <memory>
#include <new>

#include "platform/posix/kernel_sync.h"

namespace ralvex::posix {
namespace {

bool TrySatisfy(KernelObject* const* objects, DWORD count, bool waitAll, uint64_t self,
                DWORD* result) {
  if (!waitAll) {
    for (DWORD i = 0; i < count; ++i) {
      if (objects[i]->IsSignalled(self)) {
        *result = (objects[i]->Acquire(self) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
        return true;
      }
    }
    return false;
  }
  for (DWORD i = 0; i < count; ++i) {
    if (!objects[i]->IsSignalled(self)) return false;
  }
  *result = WAIT_OBJECT_0;
  bool abandoned = false;
  for (DWORD i = 0; i < count; ++i) {
    // All of them are taken; the result names the first abandoned mutex, if any.
    if (objects[i]->Acquire(self) && !abandoned) {
      abandoned = true;
      *result = WAIT_ABANDONED_0 + i;
    }
  }
  return true;
}

}  // namespace

DWORD WaitForObjects(KernelObject* const* objects, DWORD count, bool waitAll, DWORD ms) {
  using Clock = std::chrono::steady_clock;
  const uint64_t self = CurrentThreadKey();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  Waiter waiter;
  DWORD registered = 0;
  DWORD result = WAIT_TIMEOUT;

  std::unique_lock lock(KernelLock());
  for (;;) {
    if (TrySatisfy(objects, count, waitAll, self, &result)) break;
    if (ms == 0) {
      result = WAIT_TIMEOUT;
      break;
    }
    if (registered < count) {
      try {
        for (; registered < count; ++registered) objects[registered]->AddWaiter(&waiter);
      } catch (const std::bad_alloc&) {
        result = WAIT_FAILED;
        break;
      }
    }
    if (ms == INFINITE) {
      waiter.wake.wait(lock);
    } else if (waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (!TrySatisfy(objects, count, waitAll, self, &result)) result = WAIT_TIMEOUT;
      break;
    }
  }
  for (DWORD i = 0; i < registered; ++i) objects[i]->RemoveWaiter(&waiter);
  lock.unlock();

  if (result == WAIT_FAILED) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return result;
}

}  // namespace ralvex::posix

using ralvex::posix::FindObject;
using ralvex::posix::KernelObject;

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<KernelObject> object = FindObject(hHandle);
  if (!object || !object->IsWaitable()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  KernelObject* raw = object.get();
  return ralvex::posix::WaitForObjects(&raw, 1, false, dwMilliseconds);
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  // The references keep every object alive for the whole wait, even if a handle is closed
  // meanwhile.
  std::array<std::shared_ptr<KernelObject>, MAXIMUM_WAIT_OBJECTS> held;
  std::array<KernelObject*, MAXIMUM_WAIT_OBJECTS> objects{};
  for (DWORD i = 0; i < nCount; ++i) {
    held[i] = FindObject(lpHandles[i]);
    if (!held[i] || !held[i]->IsWaitable()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects[i] = held[i].get();
  }
  if (bWaitAll) {
    // Acquiring one object twice in one atomic step has no meaning.
    for (DWORD i = 0; i < nCount; ++i) {
      for (DWORD j = i + 1; j < nCount; ++j) {
        if (objects[i] == objects[j]) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
      }
    }
  }
  return ralvex::posix::WaitForObjects(objects.data(), nCount, bWaitAll != FALSE, dwMilliseconds);
}
