#include "bridge/enumeration.h"

#include <cstddef>
#include <cstdlib>

namespace ralvex::bridge {

HDEVINFO OpenInterfaceSet() {
  HDEVINFO set =
      SetupDiGetClassDevsA(&BRIDGE_INTERFACE_CLASS, nullptr, nullptr, BRIDGE_ENUMERATION_FLAGS);
  return set == INVALID_HANDLE_VALUE ? nullptr : set;
}

uint32_t CountInterfacesInSet(HDEVINFO set) {
  uint32_t count = 0;
  for (;;) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &BRIDGE_INTERFACE_CLASS, count, &data)) break;
    ++count;
  }
  return count;
}

bool CountInterfaces(uint32_t* count) {
  HDEVINFO set = OpenInterfaceSet();
  if (set == nullptr) return false;
  *count = CountInterfacesInSet(set);
  SetupDiDestroyDeviceInfoList(set);
  return true;
}

bool ResolveInterface(uint32_t index, ResolvedInterface* resolved) {
  *resolved = {};
  HDEVINFO set = OpenInterfaceSet();
  if (set == nullptr) return false;

  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  bool ok = SetupDiEnumDeviceInterfaces(set, nullptr, &BRIDGE_INTERFACE_CLASS, index, &data);
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = nullptr;
  if (ok) {
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
    // A size that cannot even hold the fixed part and a terminator is no usable answer; a
    // block that cannot be allocated fails the open like an unreadable detail.
    constexpr DWORD minimum = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + 1;
    if (required >= minimum) {
      detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, required + 1));
    }
    if (detail != nullptr) {
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr)) {
        std::free(detail);
        detail = nullptr;
      }
    }
    ok = detail != nullptr;
  }
  if (ok) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    resolved->devInst = SetupDiEnumDeviceInfo(set, index, &info) ? info.DevInst : 0;
    resolved->detail = detail;
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}

}  // namespace ralvex::bridge
