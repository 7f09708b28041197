// Open devices: the handle record and the process-wide handle list.
//
// An FT_HANDLE is the address of a record; it is valid exactly while the record is in the list.
// Records are inserted at open and removed at close, both under the open lock; lookups may come
// from any thread at any time.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "ralvex/bridge.h"

namespace ralvex::bridge {

struct FtHandleRecord {
  FtHandleRecord* next;  // next record in the handle list, null at the end
  HANDLE deviceHandle;   // the opened interface path
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* interfaceDetail;  // owned; path that was opened
  uint32_t deviceType;           // FT_DEVICE from the device-information request at open
  const uint32_t* requestTable;  // PRIMARY_REQUEST_TABLE or ALTERNATE_REQUEST_TABLE (.data())
  uint32_t id;                   // (VID << 16) | PID
  char serialNumber[16];         // NUL-terminated
  char description[64];          // NUL-terminated
  uint32_t devInst;              // device instance of the same enumeration index; 0 if unknown
  uint16_t maxPacketSize;        // the driver's packet size; above 64 means high speed
};

// The record of an open handle, or null when the handle is not open. Does not protect the
// record from a concurrent close of the same handle: callers must not close a handle in use.
FtHandleRecord* LookupHandle(FT_HANDLE handle);

// The handle a record is known by outside: its own address.
inline FT_HANDLE HandleOf(const FtHandleRecord* record) {
  return const_cast<FtHandleRecord*>(record);
}

// ---- list maintenance (open and close only, under the open lock) ----

// Pushes a record at the front of the list.
void InsertHandleRecord(FtHandleRecord* record);
// Unlinks a record; false when it was not in the list.
bool RemoveHandleRecord(FtHandleRecord* record);

// The open record whose devInst is `devInst`: copies it into *copy (next cleared) and returns
// its handle, or returns null. The copy shares the original's file handle: a caller that sends
// requests through it holds the open lock, so that no close frees that handle meanwhile.
FT_HANDLE FindHandleByDevInst(uint32_t devInst, FtHandleRecord* copy);

// Number of open handles (tests, diagnostics).
size_t OpenHandleCount();

}  // namespace ralvex::bridge
