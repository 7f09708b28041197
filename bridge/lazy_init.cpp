#include "bridge/lazy_init.h"

#include <atomic>
#include <mutex>

#include "ralvex/bridge.h"

namespace ralvex::bridge {
namespace {

struct LayerState {
  // Serialises initialisation and finalisation themselves: two threads making their first call
  // at once must not both create the locks.
  std::mutex initMutex;
  std::atomic<bool> initialised{false};
  std::atomic<HANDLE> openLock{nullptr};
  std::atomic<HANDLE> deviceInfoListLock{nullptr};
  CRITICAL_SECTION matchSection{};
  std::atomic<bool> serverEdition{false};
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
  std::lock_guard guard(state.initMutex);
  if (state.initialised.load(std::memory_order_relaxed)) return true;

  InitializeCriticalSection(&state.matchSection);
  HANDLE openLock = CreateMutexA(nullptr, FALSE, nullptr);
  HANDLE deviceInfoListLock = CreateMutexA(nullptr, FALSE, nullptr);
  if (openLock == nullptr || deviceInfoListLock == nullptr) {
    if (openLock != nullptr) CloseHandle(openLock);
    if (deviceInfoListLock != nullptr) CloseHandle(deviceInfoListLock);
    DeleteCriticalSection(&state.matchSection);
    return false;
  }
  state.openLock.store(openLock, std::memory_order_relaxed);
  state.deviceInfoListLock.store(deviceInfoListLock, std::memory_order_relaxed);
  state.serverEdition.store(ReadServerEdition(), std::memory_order_relaxed);
  state.initialised.store(true, std::memory_order_release);
  return true;
}

void Finalise() {
  LayerState& state = State();
  std::lock_guard guard(state.initMutex);
  if (!state.initialised.load(std::memory_order_relaxed)) return;
  CloseHandle(state.openLock.exchange(nullptr));
  CloseHandle(state.deviceInfoListLock.exchange(nullptr));
  DeleteCriticalSection(&state.matchSection);
  state.initialised.store(false, std::memory_order_release);
}

bool ServerEdition() {
  return State().serverEdition.load(std::memory_order_relaxed);
}

OpenLock::OpenLock() : mutex_(State().openLock.load(std::memory_order_acquire)) {
  WaitForSingleObject(mutex_, INFINITE);
}
OpenLock::~OpenLock() {
  ReleaseMutex(mutex_);
}

DeviceInfoListLock::DeviceInfoListLock()
    : mutex_(State().deviceInfoListLock.load(std::memory_order_acquire)) {
  WaitForSingleObject(mutex_, INFINITE);
}
DeviceInfoListLock::~DeviceInfoListLock() {
  ReleaseMutex(mutex_);
}

MatchSection::MatchSection() {
  EnterCriticalSection(&State().matchSection);
}
MatchSection::~MatchSection() {
  LeaveCriticalSection(&State().matchSection);
}

}  // namespace ralvex::bridge

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_Initialise(void) {
  return LazyInitialise() ? FT_OK : FT_INSUFFICIENT_RESOURCES;
}

void FT_CALL FT_Finalise(void) {
  Finalise();
}
