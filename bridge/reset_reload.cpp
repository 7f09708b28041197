// Device resets on an open handle, and the bus-wide operations: rescan of the root hubs and
// restart of the devices with one USB identity.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/request_path.h"
#include "bridge/reset_reload.h"

namespace ralvex::bridge {
namespace {

constexpr std::string_view ROOT_HUB_PREFIX = "USB\\ROOT_HUB";
constexpr DWORD INITIAL_GUID_ROOM = 16;
constexpr DWORD INITIAL_PROPERTY_BUFFER = 8192;
// Growing a buffer more often than this means the answer keeps changing: give up.
constexpr int MAX_BUFFER_RETRIES = 8;

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The device instance ID of a set element, or "?" when it cannot be read.
std::string DeviceInstanceId(DEVINST devInst, HMACHINE machine) {
  char buffer[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_ID_ExA(devInst, buffer, MAX_DEVICE_ID_LEN, 0, machine) != CR_SUCCESS) {
    return "?";
  }
  return std::string(buffer, strnlen(buffer, MAX_DEVICE_ID_LEN));
}

// The strings of a REG_MULTI_SZ property; empty when the device has none.
std::vector<std::string> ReadIdList(HDEVINFO set, SP_DEVINFO_DATA* info, DWORD property) {
  std::vector<std::string> ids;
  std::vector<char> buffer(INITIAL_PROPERTY_BUFFER);
  for (int attempt = 0; attempt < MAX_BUFFER_RETRIES; ++attempt) {
    DWORD type = 0;
    DWORD required = 0;
    if (SetupDiGetDeviceRegistryPropertyA(set, info, property, &type,
                                          reinterpret_cast<BYTE*>(buffer.data()),
                                          static_cast<DWORD>(buffer.size()), &required)) {
      // Split at the terminators, never past the buffer even if the final ones are missing.
      size_t start = 0;
      while (start < buffer.size() && buffer[start] != '\0') {
        const size_t length = strnlen(buffer.data() + start, buffer.size() - start);
        ids.emplace_back(buffer.data() + start, length);
        start += length + 1;
      }
      return ids;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || type != REG_MULTI_SZ ||
        required <= buffer.size()) {
      return ids;
    }
    buffer.assign(required, '\0');
  }
  return ids;
}

enum RestartOutcome : uint8_t { RELOAD_RESTARTED, RELOAD_NEEDS_REBOOT, RELOAD_FAILED };

const char* OutcomeText(RestartOutcome outcome) {
  switch (outcome) {
    case RELOAD_RESTARTED:
      return "restarted";
    case RELOAD_NEEDS_REBOOT:
      return "restarted, takes effect after a reboot";
    case RELOAD_FAILED:
      return "could not be restarted";
  }
  return "";
}

RestartOutcome RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* info) {
  SP_PROPCHANGE_PARAMS params{};
  params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  params.StateChange = DICS_PROPCHANGE;
  params.Scope = DICS_FLAG_CONFIGSPECIFIC;
  params.HwProfile = 0;
  if (!SetupDiSetClassInstallParamsA(set, info, &params.ClassInstallHeader, sizeof(params)) ||
      !SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, info)) {
    return RELOAD_FAILED;
  }
  SP_DEVINSTALL_PARAMS_A install{};
  install.cbSize = sizeof(install);
  if (SetupDiGetDeviceInstallParamsA(set, info, &install) &&
      (install.Flags & (DI_NEEDRESTART | DI_NEEDREBOOT)) != 0) {
    return RELOAD_NEEDS_REBOOT;
  }
  return RELOAD_RESTARTED;
}

}  // namespace

std::string ReloadPattern(uint16_t vid, uint16_t pid) {
  std::string pattern = "USB\\VID_0000&PID_0000";
  constexpr char DIGITS[] = "0123456789ABCDEF";
  // Digits from the last position of each group leftwards; leading zeros stay.
  size_t position = 11;
  for (unsigned value = vid; value != 0; value >>= 4) pattern[position--] = DIGITS[value & 0xF];
  position = 20;
  for (unsigned value = pid; value != 0; value >>= 4) pattern[position--] = DIGITS[value & 0xF];
  return pattern;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

bool IsRootHubId(std::string_view instanceId) {
  return instanceId.size() >= ROOT_HUB_PREFIX.size() &&
         EqualsIgnoringCase(instanceId.substr(0, ROOT_HUB_PREFIX.size()), ROOT_HUB_PREFIX);
}

void RestartMatchingDevices(std::string_view pattern) {
  HDEVINFO set = SetupDiGetClassDevsExA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES,
                                        nullptr, nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE || set == nullptr) return;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    if (!SetupDiEnumDeviceInfo(set, index, &info)) break;
    bool matches = false;
    for (DWORD property : {DWORD{SPDRP_HARDWAREID}, DWORD{SPDRP_COMPATIBLEIDS}}) {
      for (const std::string& id : ReadIdList(set, &info, property)) {
        if (EqualsIgnoringCase(id, pattern)) matches = true;
      }
    }
    if (!matches) continue;
    const RestartOutcome outcome = RestartDevice(set, &info);
    std::printf("%-60s: %s\n", DeviceInstanceId(info.DevInst, nullptr).c_str(),
                OutcomeText(outcome));
    std::fflush(stdout);
  }
  SetupDiDestroyDeviceInfoList(set);
}

FT_STATUS Rescan() {
  DWORD room = INITIAL_GUID_ROOM;
  std::unique_ptr<GUID[]> guids(new (std::nothrow) GUID[room]);
  if (guids == nullptr) return FT_OTHER_ERROR;
  DWORD required = 0;
  int attempts = 0;
  while (!SetupDiClassGuidsFromNameExA("USB", guids.get(), room, &required, nullptr, nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= room ||
        ++attempts >= MAX_BUFFER_RETRIES) {
      return FT_OTHER_ERROR;
    }
    room = required;
    guids.reset(new (std::nothrow) GUID[room]);
    if (guids == nullptr) return FT_OTHER_ERROR;
  }
  if (required == 0) return FT_OTHER_ERROR;
  if (required > room) required = room;

  for (DWORD g = 0; g < required; ++g) {
    HDEVINFO set = SetupDiGetClassDevsExA(&guids[g], nullptr, nullptr, DIGCF_PRESENT, nullptr,
                                          nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE || set == nullptr) continue;
    SP_DEVINFO_LIST_DETAIL_DATA_A detail{};
    detail.cbSize = sizeof(detail);
    HMACHINE machine =
        SetupDiGetDeviceInfoListDetailA(set, &detail) ? detail.RemoteMachineHandle : nullptr;
    for (DWORD index = 0;; ++index) {
      SP_DEVINFO_DATA info{};
      info.cbSize = sizeof(info);
      if (!SetupDiEnumDeviceInfo(set, index, &info)) break;
      const std::string id = DeviceInstanceId(info.DevInst, machine);
      if (!IsRootHubId(id)) continue;
      DEVINST node = 0;
      if (CM_Locate_DevNode_ExA(&node, const_cast<char*>(id.c_str()), 0, machine) == CR_SUCCESS) {
        CM_Reenumerate_DevNode_Ex(node, 0, machine);
      }
    }
    SetupDiDestroyDeviceInfoList(set);
  }
  return FT_OK;
}

}  // namespace ralvex::bridge

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_ResetDevice(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_RESET_DEVICE, {}, {}));
}
FT_STATUS FT_CALL FT_ResetPort(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_RESET_PORT, {}, {}));
}
FT_STATUS FT_CALL FT_CyclePort(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_CYCLE_PORT, {}, {}));
}
FT_STATUS FT_CALL FT_StopInTask(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_STOP_IN_TASK, {}, {}));
}
FT_STATUS FT_CALL FT_RestartInTask(FT_HANDLE ftHandle) {
  return FtStatusOf(SendRequest(LookupHandle(ftHandle), SLOT_RESTART_IN_TASK, {}, {}));
}

FT_STATUS FT_CALL FT_Rescan(void) {
  return Rescan();
}

FT_STATUS FT_CALL FT_Reload(WORD wVid, WORD wPid) {
  if (wVid == 0 && wPid == 0) {
    // Root hubs of both kinds, plain first. The patterns are exact: USB 3 hubs stay.
    RestartMatchingDevices("USB\\ROOT_HUB");
    RestartMatchingDevices("USB\\ROOT_HUB20");
  } else {
    RestartMatchingDevices(ReloadPattern(wVid, wPid));
  }
  return FT_OK;
}
