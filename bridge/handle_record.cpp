#include "bridge/handle_record.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>

namespace ralvex::bridge {
namespace {

// Guards the links of the list. Lookups run concurrently with opens and closes of other
// handles; without this a walk could step onto a record being freed by another thread's close.
// It is the innermost lock: nothing is called while it is held.
std::shared_mutex& ListGuard() {
  static std::shared_mutex guard;
  return guard;
}

FtHandleRecord* list_head = nullptr;

}  // namespace

FtHandleRecord* LookupHandle(FT_HANDLE handle) {
  if (handle == nullptr) return nullptr;
  std::shared_lock lock(ListGuard());
  for (FtHandleRecord* record = list_head; record != nullptr; record = record->next) {
    if (static_cast<void*>(record) == handle) return record;
  }
  return nullptr;
}

BOOL SendRequest(const FtHandleRecord* record, uint32_t slot, const void* in, DWORD in_length,
                 void* out, DWORD out_length, DWORD* returned, OVERLAPPED* overlapped) {
  DWORD local_returned = 0;
  return DeviceIoControl(record->deviceHandle, record->requestTable[slot], const_cast<void*>(in),
                         in_length, out, out_length,
                         returned != nullptr ? returned : &local_returned, overlapped);
}

FT_STATUS IssueRequest(const FtHandleRecord* record, uint32_t slot, const void* in, DWORD in_length,
                       void* out, DWORD out_length, OVERLAPPED* overlapped, DWORD* returned) {
  return SendRequest(record, slot, in, in_length, out, out_length, returned, overlapped)
             ? FT_OK
             : FT_IO_ERROR;
}

void InsertHandleRecord(FtHandleRecord* record) {
  std::unique_lock lock(ListGuard());
  record->next = list_head;
  list_head = record;
}

bool RemoveHandleRecord(FtHandleRecord* record) {
  std::unique_lock lock(ListGuard());
  for (FtHandleRecord** link = &list_head; *link != nullptr; link = &(*link)->next) {
    if (*link == record) {
      *link = record->next;
      record->next = nullptr;
      return true;
    }
  }
  return false;
}

FT_HANDLE FindHandleByDevInst(uint32_t dev_inst, FtHandleRecord* copy) {
  std::shared_lock lock(ListGuard());
  for (FtHandleRecord* record = list_head; record != nullptr; record = record->next) {
    if (record->devInst == dev_inst) {
      std::memcpy(copy, record, sizeof(FtHandleRecord));
      copy->next = nullptr;
      copy->interfaceDetail = nullptr;
      return record;
    }
  }
  return nullptr;
}

size_t OpenHandleCount() {
  std::shared_lock lock(ListGuard());
  size_t count = 0;
  for (FtHandleRecord* record = list_head; record != nullptr; record = record->next) ++count;
  return count;
}

}  // namespace ralvex::bridge
