// The process-wide table of kernel objects behind HANDLE values.
//
// Every object a Win32 handle names (event, mutex, thread, open device file, device information
// set) derives from KernelObject and is entered with InsertObject. Handle values are small
// multiples of 4 that fit in 32 bits and are never handed out twice, so a late wait, completion or
// close that still names an old handle can never reach a newer object.
//
// Waiting: all signalled states are guarded by one lock, KernelLock(). A waiting thread checks its
// objects under that lock and, if none is ready, sleeps on its own condition variable after
// registering with each object; an object whose state may have become signalled calls
// WakeWaiters() (with the lock held) and the waiters check again. Nothing polls.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32.h"

namespace ralvex::posix {

// A number for the calling thread, unique for the life of the process; never 0. Mutex ownership
// is recorded with it.
uint64_t CurrentThreadKey();

// Guards the signalled state of every kernel object and their waiter lists. Hold it briefly and
// never call into a driver or caller code while holding it.
std::mutex& KernelLock();

// One thread blocked in a wait; the objects it waits on point at it while it sleeps.
struct Waiter {
  std::condition_variable wake;
};

class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  // Whether the wait functions accept this handle; the others fail with ERROR_INVALID_HANDLE.
  virtual bool IsWaitable() const { return false; }
  // With KernelLock() held: would a wait by `thread` (a CurrentThreadKey value) be satisfied now?
  virtual bool IsSignalled(uint64_t thread) const {
    (void)thread;
    return false;
  }
  // With KernelLock() held: a wait by `thread` has been satisfied by this object. Consume an
  // auto-reset event, take a mutex, ... Returns true when the wait reports WAIT_ABANDONED.
  virtual bool Acquire(uint64_t thread) {
    (void)thread;
    return false;
  }
  // Whether CloseHandle may close this handle (a device information set is closed by its own
  // function instead). CloseHandle on one that may not fails with ERROR_INVALID_HANDLE.
  virtual bool ClosableByCloseHandle() const { return true; }
  // Called by CloseHandle once the handle has left the table (new lookups fail), with no lock
  // held. A device file cancels its pending requests here and returns only when no completion can
  // touch caller memory any more. Threads that looked the handle up earlier may still hold the
  // object; it is destroyed when the last reference goes.
  virtual void Close() {}

  // With KernelLock() held: wake every thread waiting on this object so that it checks again.
  // Call after any change that may have made the object signalled.
  void WakeWaiters();

  // With KernelLock() held: used by the wait functions.
  void AddWaiter(Waiter* waiter);
  void RemoveWaiter(Waiter* waiter);

 private:
  std::vector<Waiter*> waiters_;
};

// Enters an object and returns its new handle. Returns NULL with ERROR_NO_SYSTEM_RESOURCES (last
// error) when the handle space is used up or memory runs out.
HANDLE InsertObject(std::shared_ptr<KernelObject> object);

// The object a handle names, or null for NULL, INVALID_HANDLE_VALUE and unknown or closed handles.
std::shared_ptr<KernelObject> FindObject(HANDLE handle);

template <class T>
std::shared_ptr<T> FindObjectAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(FindObject(handle));
}

// Takes a handle out of the table without calling Close(), if `accept` agrees (checked under the
// table lock, so two closers cannot both win). Returns the object, or null.
std::shared_ptr<KernelObject> RemoveObject(
    HANDLE handle, const std::function<bool(const KernelObject&)>& accept = nullptr);

template <class T>
std::shared_ptr<T> RemoveObjectAs(HANDLE handle) {
  return std::static_pointer_cast<T>(RemoveObject(handle, [](const KernelObject& object) {
    return dynamic_cast<const T*>(&object) != nullptr;
  }));
}

// Handles currently in the table (tests use it to find leaks).
std::size_t LiveHandleCount();

}  // namespace ralvex::posix
