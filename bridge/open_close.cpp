#include "bridge/open_close.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "bridge/device_info.h"
#include "bridge/enumeration.h"
#include "bridge/lazy_init.h"
#include "bridge/payload.h"
#include "bridge/request_path.h"

namespace ralvex::bridge {
namespace {

constexpr DWORD MATCH_SELECTOR_BITS =
    FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION;
// Opening by a match asks the serial number first, then the description, then the location; 0
// when no selector bit is set. (The device list prefers the description.)
uint32_t QuerySlotSerialFirst(DWORD flags) {
  if (flags & FT_OPEN_BY_SERIAL_NUMBER) return SLOT_QUERY_SERIAL_NUMBER;
  if (flags & FT_OPEN_BY_DESCRIPTION) return SLOT_QUERY_DESCRIPTION;
  if (flags & FT_OPEN_BY_LOCATION) return SLOT_QUERY_LOCATION;
  return 0;
}

// Whether the candidate's identity answers the match value.
bool CandidateMatches(const FtHandleRecord* record, uint32_t slot, const void* matchValue) {
  IdentityReply reply;
  DWORD returned = 0;
  if (!QueryIdentity(record, slot, reply, &returned)) return false;
  if (slot == SLOT_QUERY_LOCATION) {
    uint32_t location = 0;
    std::memcpy(&location, reply, sizeof(location));
    return location == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(matchValue));
  }
  return std::strcmp(static_cast<const char*>(matchValue), reply) == 0;
}

// After a match the type is asked once more; a refusal keeps the one learnt at open.
void RefreshDeviceType(FtHandleRecord* record) {
  FT_DEVICE type = 0;
  if (QueryDeviceInfo(record, &type, nullptr, nullptr, nullptr, nullptr) == FT_OK) {
    record->deviceType = type;
  }
}

}  // namespace

DWORD DeviceOpenFlags(DWORD callerFlags) {
  return ServerEdition() ? callerFlags | FILE_FLAG_SESSION_AWARE : callerFlags;
}

FT_STATUS OpenDeviceByIndex(uint32_t index, const DeviceOpenArguments& arguments,
                            FtHandleRecord** recordOut) {
  *recordOut = nullptr;
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;
  OpenLock lock;

  ResolvedInterface resolved;
  if (!ResolveInterface(index, &resolved)) return FT_DEVICE_NOT_FOUND;

  HANDLE file = CreateFileA(resolved.detail->DevicePath, arguments.access, arguments.shareMode,
                            arguments.security, arguments.disposition,
                            DeviceOpenFlags(arguments.flags), arguments.templateFile);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) {
    std::free(resolved.detail);
    return FT_DEVICE_NOT_OPENED;
  }

  auto* record = new (std::nothrow) FtHandleRecord{};
  if (record == nullptr) {
    CloseHandle(file);
    std::free(resolved.detail);
    return FT_INSUFFICIENT_RESOURCES;
  }
  record->deviceHandle = file;
  record->interfaceDetail = resolved.detail;
  record->devInst = resolved.devInst;
  record->requestTable = PRIMARY_REQUEST_TABLE.data();

  // The table is chosen once: a device that does not answer through the primary table is
  // addressed through the alternate one for the life of the handle.
  FT_DEVICE type = 0;
  DWORD id = 0;
  if (QueryDeviceInfo(record, &type, &id, record->serialNumber, record->description, nullptr) !=
      FT_OK) {
    record->requestTable = ALTERNATE_REQUEST_TABLE.data();
    QueryDeviceInfo(record, &type, &id, record->serialNumber, record->description, nullptr);
  }
  record->deviceType = type;
  record->id = id;

  uint16_t packetSize = 0;
  if (SendRequest(record, SLOT_GET_PACKET_SIZE, {}, BytesOf(packetSize)) == REQUEST_ACCEPTED) {
    record->maxPacketSize = packetSize;
  }

  // Published only when complete, so a concurrent lookup never sees a half-filled record.
  InsertHandleRecord(record);
  *recordOut = record;
  return FT_OK;
}

FT_STATUS CloseRecord(FtHandleRecord* record) {
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;
  OpenLock lock;
  // Unlinked first: a record another thread closed meanwhile is already freed and must not be
  // touched again.
  if (!RemoveHandleRecord(record)) return FT_DEVICE_NOT_FOUND;
  CloseHandle(record->deviceHandle);
  std::free(record->interfaceDetail);
  delete record;
  return FT_OK;
}

}  // namespace ralvex::bridge

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_Open(int deviceNumber, FT_HANDLE* pHandle) {
  if (pHandle == nullptr) return FT_INVALID_PARAMETER;
  FtHandleRecord* record = nullptr;
  const FT_STATUS status =
      OpenDeviceByIndex(static_cast<uint32_t>(deviceNumber), DeviceOpenArguments{}, &record);
  if (status == FT_OK) *pHandle = record;
  return status;
}

FT_STATUS FT_CALL FT_OpenEx(PVOID pvArg1, DWORD dwFlags, FT_HANDLE* pHandle) {
  const uint32_t slot = QuerySlotSerialFirst(dwFlags);
  if (slot == 0 || pHandle == nullptr) return FT_INVALID_PARAMETER;
  if (slot != SLOT_QUERY_LOCATION && pvArg1 == nullptr) return FT_INVALID_PARAMETER;
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;

  uint32_t count = 0;
  if (!CountInterfaces(&count) || count == 0) return FT_DEVICE_NOT_FOUND;

  FT_STATUS result = FT_DEVICE_NOT_FOUND;
  for (uint32_t index = 0; index < count; ++index) {
    FtHandleRecord* record = nullptr;
    {
      // Two FT_OpenEx calls never interleave their candidates.
      MatchSection section;
      result = OpenDeviceByIndex(index, DeviceOpenArguments{}, &record);
      if (result != FT_OK) continue;
      if (!CandidateMatches(record, slot, pvArg1)) {
        CloseRecord(record);
        result = FT_DEVICE_NOT_FOUND;
        continue;
      }
    }
    RefreshDeviceType(record);
    *pHandle = record;
    return FT_OK;
  }
  return result;
}

FT_HANDLE FT_CALL FT_W32_CreateFile(LPCSTR lpszName, DWORD dwAccess, DWORD dwShareMode,
                                    LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreate,
                                    DWORD dwAttrsAndFlags, HANDLE hTemplate) {
  const uint32_t slot = QuerySlotSerialFirst(dwAttrsAndFlags);
  if (slot == 0) return INVALID_HANDLE_VALUE;
  if (slot != SLOT_QUERY_LOCATION && lpszName == nullptr) return INVALID_HANDLE_VALUE;
  if (!LazyInitialise()) return INVALID_HANDLE_VALUE;

  uint32_t count = 0;
  if (!CountInterfaces(&count) || count == 0) return INVALID_HANDLE_VALUE;

  DeviceOpenArguments arguments;
  arguments.access = dwAccess;
  arguments.shareMode = dwShareMode;
  arguments.security = lpSecurityAttributes;
  arguments.disposition = dwCreate;
  // Bits 0-2 select the match; CreateFileA would read them as file attributes.
  arguments.flags = dwAttrsAndFlags & ~MATCH_SELECTOR_BITS;
  arguments.templateFile = hTemplate;

  for (uint32_t index = 0; index < count; ++index) {
    FtHandleRecord* record = nullptr;
    if (OpenDeviceByIndex(index, arguments, &record) != FT_OK) continue;
    if (CandidateMatches(record, slot, lpszName)) {
      RefreshDeviceType(record);
      return record;
    }
    CloseRecord(record);
  }
  return INVALID_HANDLE_VALUE;
}

FT_STATUS FT_CALL FT_Close(FT_HANDLE ftHandle) {
  FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  return CloseRecord(record);
}

BOOL FT_CALL FT_W32_CloseHandle(FT_HANDLE ftHandle) {
  const FT_STATUS status = FT_Close(ftHandle);
  if (status == FT_OK) return TRUE;
  SetLastError(status == FT_INSUFFICIENT_RESOURCES ? ERROR_NOT_ENOUGH_MEMORY
                                                   : ERROR_INVALID_HANDLE);
  return FALSE;
}
