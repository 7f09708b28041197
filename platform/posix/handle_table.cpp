#include "platform/posix/handle_table.h"

#include "platform/posix/kernel_sync.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <unordered_map>

namespace ralvex::posix {
namespace {

// Handles step by 4 like the system's and stop below 2^31, so that code passing them through a
// signed 32-bit value still sees a positive number.
constexpr uint32_t HANDLE_VALUE_FIRST = 4;
constexpr uint32_t HANDLE_VALUE_STEP = 4;
constexpr uint32_t HANDLE_VALUE_LAST = 0x7FFFFFFCu;

struct HandleTable {
  std::mutex lock;
  uint32_t next = HANDLE_VALUE_FIRST;
  std::unordered_map<uint32_t, std::shared_ptr<KernelObject>> objects;
};

// Never destroyed: detached threads and thread-exit hooks may still use the table while the
// process runs its static destructors.
HandleTable& Table() {
  static HandleTable* table = new HandleTable;
  return *table;
}

bool ToKey(HANDLE handle, uint32_t* key) {
  const auto value = reinterpret_cast<uintptr_t>(handle);
  if (value < HANDLE_VALUE_FIRST || value > HANDLE_VALUE_LAST || value % HANDLE_VALUE_STEP != 0)
    return false;
  *key = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

namespace {
std::atomic<uint64_t> nextThreadKey{1};
thread_local uint64_t threadKey = 0;
}  // namespace

uint64_t NewThreadKey() {
  return nextThreadKey.fetch_add(1, std::memory_order_relaxed);
}

void AdoptThreadKey(uint64_t key) {
  threadKey = key;
}

uint64_t CurrentThreadKey() {
  if (threadKey == 0) threadKey = NewThreadKey();
  return threadKey;
}

std::mutex& KernelLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

void KernelObject::WakeWaiters() {
  for (Waiter* waiter : waiters_) waiter->wake.notify_one();
}

void KernelObject::AddWaiter(Waiter* waiter) {
  waiters_.push_back(waiter);
}

void KernelObject::RemoveWaiter(Waiter* waiter) {
  auto it = std::find(waiters_.begin(), waiters_.end(), waiter);
  if (it != waiters_.end()) waiters_.erase(it);
}

HANDLE InsertObject(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  if (table.next > HANDLE_VALUE_LAST) {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
  }
  const uint32_t key = table.next;
  try {
    table.objects.emplace(key, std::move(object));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
  }
  table.next += HANDLE_VALUE_STEP;
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(key));
}

std::shared_ptr<KernelObject> FindObject(HANDLE handle) {
  uint32_t key = 0;
  if (!ToKey(handle, &key)) return nullptr;
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(key);
  return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> RemoveObject(HANDLE handle,
                                           const std::function<bool(const KernelObject&)>& accept) {
  uint32_t key = 0;
  if (!ToKey(handle, &key)) return nullptr;
  std::shared_ptr<KernelObject> object;
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(key);
  if (it == table.objects.end()) return nullptr;
  if (accept && !accept(*it->second)) return nullptr;
  object = std::move(it->second);
  table.objects.erase(it);
  return object;
}

std::size_t LiveHandleCount() {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  return table.objects.size();
}

}  // namespace ralvex::posix

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  using namespace ralvex::posix;
  std::shared_ptr<KernelObject> object = RemoveObject(
      hObject, [](const KernelObject& candidate) { return candidate.ClosableByCloseHandle(); });
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Outside every lock: a device file waits here for its outstanding completions.
  object->Close();
  return TRUE;
}
