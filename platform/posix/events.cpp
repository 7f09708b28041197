// Events: manual-reset ones stay set until reset and release every waiter; auto-reset ones release
// one waiter and reset, and with no waiter they stay set. Setting twice is setting once.
#include <memory>
#include <new>

#include "platform/posix/kernel_sync.h"

namespace ralvex::posix {

void EventObject::Set() {
  std::lock_guard guard(KernelLock());
  signalled_ = true;
  WakeWaiters();
}

void EventObject::Reset() {
  std::lock_guard guard(KernelLock());
  signalled_ = false;
}

namespace {

HANDLE CreateEventObject(BOOL manualReset, BOOL initialState, bool named) {
  // Named objects would be shared between processes; nothing here needs them, so they are
  // refused rather than silently made private.
  if (named) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  std::shared_ptr<EventObject> event;
  try {
    event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE handle = InsertObject(std::move(event));
  if (handle != nullptr) SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL WithEvent(HANDLE handle, void (EventObject::*change)()) {
  std::shared_ptr<EventObject> event = FindObjectAs<EventObject>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ((*event).*change)();
  return TRUE;
}

}  // namespace
}  // namespace ralvex::posix

using ralvex::posix::CreateEventObject;
using ralvex::posix::EventObject;
using ralvex::posix::WithEvent;

extern "C" HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                      LPCWSTR lpName) {
  return CreateEventObject(bManualReset, bInitialState, lpName != nullptr && lpName[0] != 0);
}

extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                      LPCSTR lpName) {
  return CreateEventObject(bManualReset, bInitialState, lpName != nullptr && lpName[0] != 0);
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent) {
  return WithEvent(hEvent, &EventObject::Set);
}

extern "C" BOOL WINAPI ResetEvent(HANDLE hEvent) {
  return WithEvent(hEvent, &EventObject::Reset);
}
