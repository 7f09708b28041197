#include "bridge/open_close.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "bridge/device_info.h"
#include "bridge/enumeration.h"
#include "bridge/lazy_init.h"

namespace ralvex::bridge {
namespace {

constexpr DWORD MATCH_SELECTOR_BITS =
    FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION;
constexpr DWORD IDENTITY_QUERY_SIZE = 64;

// Serial number first, then description, then location; 0 when no selector bit is set.
uint32_t QuerySlotOfFlags(DWORD flags) {
  if (flags & FT_OPEN_BY_SERIAL_NUMBER) return SLOT_QUERY_SERIAL_NUMBER;
  if (flags & FT_OPEN_BY_DESCRIPTION) return SLOT_QUERY_DESCRIPTION;
  if (flags & FT_OPEN_BY_LOCATION) return SLOT_QUERY_LOCATION;
  return 0;
}

// Whether the candidate's identity answers the match value. The reply buffer has one byte more
// than the driver may fill, so a reply without a terminator still ends.
bool CandidateMatches(const FtHandleRecord* record, uint32_t slot, const void* match_value,
                      bool raw_request) {
  char reply[IDENTITY_QUERY_SIZE + 1] = {};
  DWORD returned = 0;
  const bool answered = raw_request
                            ? SendRequest(record, slot, reply, IDENTITY_QUERY_SIZE, reply,
                                          IDENTITY_QUERY_SIZE, &returned) != FALSE
                            : IssueRequest(record, slot, reply, IDENTITY_QUERY_SIZE, reply,
                                           IDENTITY_QUERY_SIZE, nullptr, &returned) == FT_OK;
  if (!answered) return false;
  if (slot == SLOT_QUERY_LOCATION) {
    uint32_t location = 0;
    std::memcpy(&location, reply, sizeof(location));
    return location == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(match_value));
  }
  return std::strcmp(static_cast<const char*>(match_value), reply) == 0;
}

// After a match the type is asked once more; a refusal keeps the one learnt at open.
void RefreshDeviceType(FtHandleRecord* record) {
  FT_DEVICE type = 0;
  if (QueryDeviceInfo(record, &type, nullptr, nullptr, nullptr, nullptr) == FT_OK) {
    record->deviceType = type;
  }
}

}  // namespace

DWORD DeviceOpenFlags(DWORD caller_flags) {
  return ServerEdition() ? caller_flags | FILE_FLAG_SESSION_AWARE : caller_flags;
}

FT_STATUS OpenDeviceByIndex(uint32_t index, const DeviceOpenArguments& arguments,
                            FtHandleRecord** record_out) {
  *record_out = nullptr;
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;
  OpenLock lock;

  ResolvedInterface resolved;
  if (!ResolveInterface(index, &resolved)) return FT_DEVICE_NOT_FOUND;

  HANDLE file = CreateFileA(resolved.detail->DevicePath, arguments.access, arguments.share_mode,
                            arguments.security, arguments.disposition,
                            DeviceOpenFlags(arguments.flags), arguments.template_file);
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
  record->devInst = resolved.dev_inst;
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
  record->self = record;

  uint16_t packet_size = 0;
  if (IssueRequest(record, SLOT_GET_PACKET_SIZE, nullptr, 0, &packet_size, sizeof(packet_size)) ==
      FT_OK) {
    record->maxPacketSize = packet_size;
  }

  // Published only when complete, so a concurrent lookup never sees a half-filled record.
  InsertHandleRecord(record);
  *record_out = record;
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

namespace bridge = ralvex::bridge;

FT_STATUS FT_CALL FT_Open(int deviceNumber, FT_HANDLE* pHandle) {
  if (pHandle == nullptr) return FT_INVALID_PARAMETER;
  bridge::FtHandleRecord* record = nullptr;
  const FT_STATUS status = bridge::OpenDeviceByIndex(static_cast<uint32_t>(deviceNumber),
                                                     bridge::DeviceOpenArguments{}, &record);
  if (status == FT_OK) *pHandle = record;
  return status;
}

FT_STATUS FT_CALL FT_OpenEx(PVOID pvArg1, DWORD dwFlags, FT_HANDLE* pHandle) {
  const uint32_t slot = bridge::QuerySlotOfFlags(dwFlags);
  if (slot == 0 || pHandle == nullptr) return FT_INVALID_PARAMETER;
  if (slot != bridge::SLOT_QUERY_LOCATION && pvArg1 == nullptr) return FT_INVALID_PARAMETER;
  if (!bridge::LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;

  uint32_t count = 0;
  if (!bridge::CountInterfaces(&count) || count == 0) return FT_DEVICE_NOT_FOUND;

  FT_STATUS result = FT_DEVICE_NOT_FOUND;
  for (uint32_t index = 0; index < count; ++index) {
    bridge::FtHandleRecord* record = nullptr;
    {
      // Two FT_OpenEx calls never interleave their candidates.
      bridge::MatchSection section;
      result = bridge::OpenDeviceByIndex(index, bridge::DeviceOpenArguments{}, &record);
      if (result != FT_OK) continue;
      if (!bridge::CandidateMatches(record, slot, pvArg1, false)) {
        bridge::CloseRecord(record);
        result = FT_DEVICE_NOT_FOUND;
        continue;
      }
    }
    bridge::RefreshDeviceType(record);
    *pHandle = record;
    return FT_OK;
  }
  return result;
}

FT_HANDLE FT_CALL FT_W32_CreateFile(LPCSTR lpszName, DWORD dwAccess, DWORD dwShareMode,
                                    LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreate,
                                    DWORD dwAttrsAndFlags, HANDLE hTemplate) {
  const uint32_t slot = bridge::QuerySlotOfFlags(dwAttrsAndFlags);
  if (slot == 0) return INVALID_HANDLE_VALUE;
  if (slot != bridge::SLOT_QUERY_LOCATION && lpszName == nullptr) return INVALID_HANDLE_VALUE;
  if (!bridge::LazyInitialise()) return INVALID_HANDLE_VALUE;

  uint32_t count = 0;
  if (!bridge::CountInterfaces(&count) || count == 0) return INVALID_HANDLE_VALUE;

  bridge::DeviceOpenArguments arguments;
  arguments.access = dwAccess;
  arguments.share_mode = dwShareMode;
  arguments.security = lpSecurityAttributes;
  arguments.disposition = dwCreate;
  // Bits 0-2 select the match; CreateFileA would read them as file attributes.
  arguments.flags = dwAttrsAndFlags & ~bridge::MATCH_SELECTOR_BITS;
  arguments.template_file = hTemplate;

  for (uint32_t index = 0; index < count; ++index) {
    bridge::FtHandleRecord* record = nullptr;
    if (bridge::OpenDeviceByIndex(index, arguments, &record) != FT_OK) continue;
    if (bridge::CandidateMatches(record, slot, lpszName, true)) {
      bridge::RefreshDeviceType(record);
      return record;
    }
    bridge::CloseRecord(record);
  }
  return INVALID_HANDLE_VALUE;
}

FT_STATUS FT_CALL FT_Close(FT_HANDLE ftHandle) {
  bridge::FtHandleRecord* record = bridge::LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  return bridge::CloseRecord(record);
}

BOOL FT_CALL FT_W32_CloseHandle(FT_HANDLE ftHandle) {
  const FT_STATUS status = FT_Close(ftHandle);
  if (status == FT_OK) return TRUE;
  SetLastError(status == FT_INSUFFICIENT_RESOURCES ? ERROR_NOT_ENOUGH_MEMORY
                                                   : ERROR_INVALID_HANDLE);
  return FALSE;
}
