#include "bridge/lazy_init.h"

#include <atomic>
#include <mutex>

#include "ralvex/bridge.h"

namespace ralvex::bridge {
namespace {

struct LayerState {
  // Serialises initialisation and finalisation themselves: two threads making their first call
  // at once must not both create the locks.
  std::mutex init_mutex;
  std::atomic<bool> initialised{false};
  std::atomic<HANDLE> open_lock{nullptr};
  std::atomic<HANDLE> list_lock{nullptr};
  CRITICAL_SECTION match_section{};
  std::atomic<bool> server_edition{false};
};

LayerState& State() {
  static LayerState state;
  return state;
}

bool ReadServerEdition() {
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
  return version.dwMajorVersion == 10 && version.wProductType != VER_NT_WORKSTATION;
}

}  // namespace

bool LazyInitialise() {
  LayerState& state = State();
  if (state.initialised.load(std::memory_order_acquire)) return true;
  std::lock_guard guard(state.init_mutex);
  if (state.initialised.load(std::memory_order_relaxed)) return true;

  InitializeCriticalSection(&state.match_section);
  HANDLE open_lock = CreateMutexA(nullptr, FALSE, nullptr);
  HANDLE list_lock = CreateMutexA(nullptr, FALSE, nullptr);
  if (open_lock == nullptr || list_lock == nullptr) {
    if (open_lock != nullptr) CloseHandle(open_lock);
    if (list_lock != nullptr) CloseHandle(list_lock);
    DeleteCriticalSection(&state.match_section);
    return false;
  }
  state.open_lock.store(open_lock, std::memory_order_relaxed);
  state.list_lock.store(list_lock, std::memory_order_relaxed);
  state.server_edition.store(ReadServerEdition(), std::memory_order_relaxed);
  state.initialised.store(true, std::memory_order_release);
  return true;
}

void Finalise() {
  LayerState& state = State();
  std::lock_guard guard(state.init_mutex);
  if (!state.initialised.load(std::memory_order_relaxed)) return;
  CloseHandle(state.open_lock.exchange(nullptr));
  CloseHandle(state.list_lock.exchange(nullptr));
  DeleteCriticalSection(&state.match_section);
  state.initialised.store(false, std::memory_order_release);
}

bool ServerEdition() {
  return State().server_edition.load(std::memory_order_relaxed);
}

OpenLock::OpenLock() : mutex_(State().open_lock.load(std::memory_order_acquire)) {
  WaitForSingleObject(mutex_, INFINITE);
}
OpenLock::~OpenLock() {
  ReleaseMutex(mutex_);
}

ListLock::ListLock() : mutex_(State().list_lock.load(std::memory_order_acquire)) {
  WaitForSingleObject(mutex_, INFINITE);
}
ListLock::~ListLock() {
  ReleaseMutex(mutex_);
}

MatchSection::MatchSection() {
  EnterCriticalSection(&State().match_section);
}
MatchSection::~MatchSection() {
  LeaveCriticalSection(&State().match_section);
}

}  // namespace ralvex::bridge

FT_STATUS FT_CALL FT_Initialise(void) {
  return ralvex::bridge::LazyInitialise() ? FT_OK : FT_INSUFFICIENT_RESOURCES;
}

void FT_CALL FT_Finalise(void) {
  ralvex::bridge::Finalise();
}
