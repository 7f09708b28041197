// Enumeration: FT_ListDevices and the process-wide device-information list.
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "bridge/device_info.h"
#include "bridge/enumeration.h"
#include "bridge/handle_record.h"
#include "bridge/lazy_init.h"
#include "bridge/open_close.h"
#include "bridge/payload.h"
#include "bridge/request_path.h"

namespace ralvex::bridge {
namespace {

// What a string entry of FT_LIST_ALL may hold: the caller's buffers are 64 bytes.
constexpr size_t LIST_ALL_STRING_CAPACITY = 64;

// The device-information list: replaced by FT_CreateDeviceInfoList, read by the other two, all
// under its lock. The count is also read before the lock (a quick refusal), hence atomic.
struct DeviceInfoList {
  std::unique_ptr<FT_DEVICE_LIST_INFO_NODE[]> nodes;
  std::atomic<uint32_t> count{0};
};

DeviceInfoList& InfoList() {
  static DeviceInfoList list;
  return list;
}

// The list's priority: description, then location, else the serial number. (Opening by a match
// asks the serial number first.)
uint32_t QuerySlotDescriptionFirst(DWORD flags) {
  if (flags & FT_OPEN_BY_DESCRIPTION) return SLOT_QUERY_DESCRIPTION;
  if (flags & FT_OPEN_BY_LOCATION) return SLOT_QUERY_LOCATION;
  return SLOT_QUERY_SERIAL_NUMBER;
}

// The reply string as the driver counted it (bytes returned, plus the terminator of the zeroed
// buffer), bounded by the destination's capacity and always terminated.
void CopyReplyString(char* destination, size_t capacity, const char* reply, DWORD returned) {
  size_t length = returned < IDENTITY_QUERY_SIZE ? returned : IDENTITY_QUERY_SIZE;
  if (length > capacity - 1) length = capacity - 1;
  std::memcpy(destination, reply, length);
  destination[length] = '\0';
}

uint32_t LocationOf(const FtHandleRecord* record) {
  uint32_t location = 0;
  if (SendRequest(record, SLOT_QUERY_LOCATION, BytesOf(location), BytesOf(location)) !=
      REQUEST_ACCEPTED) {
    return 0;
  }
  return location;
}

void FillNodeFromRecord(FT_DEVICE_LIST_INFO_NODE* node, const FtHandleRecord* record) {
  if (record->maxPacketSize > 64) node->Flags |= FT_FLAGS_HISPEED;
  node->Type = record->deviceType;
  node->ID = record->id;
  std::memcpy(node->SerialNumber, record->serialNumber, sizeof(node->SerialNumber));
  std::memcpy(node->Description, record->description, sizeof(node->Description));
  node->LocId = LocationOf(record);
}

// FT_LIST_BY_INDEX: the identity of the device at one index.
FT_STATUS ListOneDevice(uint32_t index, uint32_t count, uint32_t slot, void* destination) {
  if (index >= count) return FT_DEVICE_NOT_FOUND;
  FtHandleRecord* record = nullptr;
  const FT_STATUS opened = OpenDeviceByIndex(index, DeviceOpenArguments{}, &record);
  if (opened != FT_OK) return opened;
  IdentityReply reply;
  DWORD returned = 0;
  const bool answered = QueryIdentity(record, slot, reply, &returned);
  if (answered && slot == SLOT_QUERY_LOCATION) {
    std::memcpy(destination, reply, sizeof(DWORD));
  } else if (answered) {
    // A serial number fits 16 bytes, a description 64.
    const size_t capacity =
        slot == SLOT_QUERY_SERIAL_NUMBER ? SERIAL_FIELD_SIZE : DESCRIPTION_FIELD_SIZE;
    CopyReplyString(static_cast<char*>(destination), capacity, reply, returned);
  }
  CloseRecord(record);
  return answered ? FT_OK : FT_IO_ERROR;
}

// FT_LIST_ALL: entries in index order. A device in use keeps its place with an empty entry; one
// that does not answer gets none. The status is the last device's.
FT_STATUS ListAllDevices(uint32_t count, uint32_t slot, void* entries) {
  auto* strings = static_cast<char**>(entries);
  auto* locations = static_cast<DWORD*>(entries);
  uint32_t position = 0;
  // A null string pointer is skipped without advancing.
  auto put = [&](const IdentityReply& reply, DWORD returned) {
    if (slot == SLOT_QUERY_LOCATION) {
      std::memcpy(&locations[position++], reply, sizeof(DWORD));
    } else if (strings[position] != nullptr) {
      CopyReplyString(strings[position++], LIST_ALL_STRING_CAPACITY, reply, returned);
    }
  };

  FT_STATUS result = FT_DEVICE_NOT_FOUND;
  for (uint32_t index = 0; index < count; ++index) {
    FtHandleRecord* record = nullptr;
    if (OpenDeviceByIndex(index, DeviceOpenArguments{}, &record) != FT_OK) {
      const IdentityReply empty = {};
      put(empty, 0);
      result = FT_OK;
      continue;
    }
    IdentityReply reply;
    DWORD returned = 0;
    const bool answered = QueryIdentity(record, slot, reply, &returned);
    if (answered) put(reply, returned);
    result = answered ? FT_OK : FT_IO_ERROR;
    CloseRecord(record);
  }
  return result;
}

FT_STATUS ListDevices(PVOID pvArg1, PVOID pvArg2, DWORD flags) {
  uint32_t count = 0;
  if (!CountInterfaces(&count)) return FT_DEVICE_NOT_FOUND;

  const uint32_t slot = QuerySlotDescriptionFirst(flags);
  switch (flags & FT_LIST_MASK) {
    case FT_LIST_NUMBER_ONLY:
      if (pvArg1 == nullptr) return FT_INVALID_PARAMETER;
      *static_cast<DWORD*>(pvArg1) = count;
      return FT_OK;
    case FT_LIST_BY_INDEX:
      if (pvArg2 == nullptr) return FT_INVALID_PARAMETER;
      // The index travels in the pointer argument itself.
      return ListOneDevice(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pvArg1)), count, slot,
                           pvArg2);
    case FT_LIST_ALL:
      if (pvArg1 == nullptr || pvArg2 == nullptr) return FT_INVALID_PARAMETER;
      *static_cast<DWORD*>(pvArg2) = count;
      return ListAllDevices(count, slot, pvArg1);
    default:
      return FT_INVALID_PARAMETER;
  }
}

FT_STATUS CreateDeviceInfoList(DWORD* countOut) {
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;
  DeviceInfoListLock lock;
  if (countOut == nullptr) return FT_INVALID_PARAMETER;

  DeviceInfoList& list = InfoList();
  list.nodes.reset();
  list.count.store(0, std::memory_order_relaxed);
  *countOut = 0;

  HDEVINFO set =
      SetupDiGetClassDevsA(&BRIDGE_INTERFACE_CLASS, nullptr, nullptr, BRIDGE_ENUMERATION_FLAGS);
  if (set == nullptr) return FT_DEVICE_NOT_FOUND;
  if (set == INVALID_HANDLE_VALUE) return FT_OTHER_ERROR;

  const uint32_t count = CountInterfacesInSet(set);
  std::unique_ptr<FT_DEVICE_LIST_INFO_NODE[]> nodes(new (std::nothrow)
                                                        FT_DEVICE_LIST_INFO_NODE[count]());
  if (nodes == nullptr) {
    SetupDiDestroyDeviceInfoList(set);
    return FT_INSUFFICIENT_RESOURCES;
  }

  for (uint32_t index = 0; index < count; ++index) {
    FT_DEVICE_LIST_INFO_NODE* node = &nodes[index];
    FtHandleRecord* record = nullptr;
    if (OpenDeviceByIndex(index, DeviceOpenArguments{}, &record) == FT_OK) {
      FillNodeFromRecord(node, record);
      node->ftHandle = nullptr;
      CloseRecord(record);
      continue;
    }
    *node = {};
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    if (!SetupDiEnumDeviceInfo(set, index, &info)) {
      // The set no longer answers: report an empty list rather than a partial one.
      SetupDiDestroyDeviceInfoList(set);
      return FT_OK;
    }
    node->Flags = FT_FLAGS_OPENED;
    // The location is asked through the copy's file handle. The open lock keeps a close on
    // another thread from closing that handle, or handing its value to another device's file,
    // meanwhile.
    OpenLock openLock;
    FtHandleRecord held{};
    FT_HANDLE handle = info.DevInst != 0 ? FindHandleByDevInst(info.DevInst, &held) : nullptr;
    if (handle != nullptr) {
      // Held open by this process: reported with its identity and its handle.
      FillNodeFromRecord(node, &held);
      node->ftHandle = handle;
    } else {
      node->Type = FT_DEVICE_UNKNOWN;
    }
  }
  SetupDiDestroyDeviceInfoList(set);

  list.nodes = std::move(nodes);
  list.count.store(count, std::memory_order_relaxed);
  *countOut = count;
  return FT_OK;
}

}  // namespace
}  // namespace ralvex::bridge

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_ListDevices(PVOID pvArg1, PVOID pvArg2, DWORD dwFlags) {
  return ListDevices(pvArg1, pvArg2, dwFlags);
}

FT_STATUS FT_CALL FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs) {
  return CreateDeviceInfoList(lpdwNumDevs);
}

FT_STATUS FT_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, LPDWORD lpdwNumDevs) {
  if (lpdwNumDevs == nullptr) return FT_INVALID_PARAMETER;
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;
  DeviceInfoListLock lock;
  DeviceInfoList& list = InfoList();
  const uint32_t count = list.count.load(std::memory_order_relaxed);
  if (pDest != nullptr && list.nodes != nullptr) {
    std::memcpy(pDest, list.nodes.get(), sizeof(FT_DEVICE_LIST_INFO_NODE) * count);
  }
  *lpdwNumDevs = count;
  return FT_OK;
}

FT_STATUS FT_CALL FT_GetDeviceInfoDetail(DWORD dwIndex, LPDWORD lpdwFlags, LPDWORD lpdwType,
                                         LPDWORD lpdwID, LPDWORD lpdwLocId, LPVOID lpSerialNumber,
                                         LPVOID lpDescription, FT_HANDLE* pftHandle) {
  DeviceInfoList& list = InfoList();
  if (dwIndex >= list.count.load(std::memory_order_relaxed)) return FT_DEVICE_NOT_FOUND;
  if (!LazyInitialise()) return FT_INSUFFICIENT_RESOURCES;
  DeviceInfoListLock lock;
  // Checked again under the lock: the list may have been rebuilt smaller meanwhile.
  if (list.nodes == nullptr || dwIndex >= list.count.load(std::memory_order_relaxed)) {
    return FT_DEVICE_NOT_FOUND;
  }
  const FT_DEVICE_LIST_INFO_NODE& node = list.nodes[dwIndex];
  if (lpdwFlags != nullptr) *lpdwFlags = node.Flags;
  if (lpdwType != nullptr) *lpdwType = node.Type;
  if (lpdwID != nullptr) *lpdwID = node.ID;
  if (lpSerialNumber != nullptr) {
    std::memcpy(lpSerialNumber, node.SerialNumber, sizeof(node.SerialNumber));
  }
  if (lpDescription != nullptr) {
    std::memcpy(lpDescription, node.Description, sizeof(node.Description));
  }
  if (pftHandle != nullptr) *pftHandle = node.ftHandle;
  if (lpdwLocId != nullptr) *lpdwLocId = node.LocId;
  return FT_OK;
}
