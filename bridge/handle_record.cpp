#include "bridge/handle_record.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>

namespace ralvex::bridge {
namespace {

// Guards the links of the list. Lookups run concurrently with opens and closes of other
// handles; without this a walk could step onto a record being freed by another thread's close.
// It is the innermost lock: nothing is called while it is held.
std::shared_mutex& HandleListGuard() {
  static std::shared_mutex guard;
  return guard;
}

FtHandleRecord* handleListHead = nullptr;

}  // namespace

FtHandleRecord* LookupHandle(FT_HANDLE handle) {
  if (handle == nullptr) return nullptr;
  std::shared_lock lock(HandleListGuard());
  for (FtHandleRecord* record = handleListHead; record != nullptr; record = record->next) {
    if (static_cast<void*>(record) == handle) return record;
  }
  return nullptr;
}

void InsertHandleRecord(FtHandleRecord* record) {
  std::unique_lock lock(HandleListGuard());
  record->next = handleListHead;
  handleListHead = record;
}

bool RemoveHandleRecord(FtHandleRecord* record) {
  std::unique_lock lock(HandleListGuard());
  for (FtHandleRecord** link = &handleListHead; *link != nullptr; link = &(*link)->next) {
    if (*link == record) {
      *link = record->next;
      record->next = nullptr;
      return true;
    }
  }
  return false;
}

FT_HANDLE FindHandleByDevInst(uint32_t devInst, FtHandleRecord* copy) {
  std::shared_lock lock(HandleListGuard());
  for (FtHandleRecord* record = handleListHead; record != nullptr; record = record->next) {
    if (record->devInst == devInst) {
      std::memcpy(copy, record, sizeof(FtHandleRecord));
      copy->next = nullptr;
      copy->interfaceDetail = nullptr;
      return record;
    }
  }
  return nullptr;
}

size_t OpenHandleCount() {
  std::shared_lock lock(HandleListGuard());
  size_t count = 0;
  for (FtHandleRecord* record = handleListHead; record != nullptr; record = record->next) ++count;
  return count;
}

}  // namespace ralvex::bridge
