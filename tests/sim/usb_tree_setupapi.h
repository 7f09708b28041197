// Reading the device tree back through the installation services, as the access layer does.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace ralvex::sim::testing_setupapi {

struct ListedDevice {
  DEVINST node = 0;
  std::string instance_id;
};

inline std::string InstanceIdOf(DEVINST node) {
  char buffer[MAX_DEVICE_ID_LEN] = {};
  if (CM_Get_Device_ID_ExA(node, buffer, sizeof(buffer), 0, nullptr) != CR_SUCCESS) return "?";
  return buffer;
}

// Present interfaces of a class: their device paths, in enumeration order.
inline std::vector<std::string> InterfacePaths(const GUID& interfaceClass) {
  std::vector<std::string> paths;
  HDEVINFO set = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE || set == nullptr) return paths;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &data)) break;
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr);
    std::vector<char> storage(required + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr)) break;
    paths.emplace_back(detail->DevicePath);
  }
  SetupDiDestroyDeviceInfoList(set);
  return paths;
}

// Devices of a set, in order.
inline std::vector<ListedDevice> DevicesOf(HDEVINFO set) {
  std::vector<ListedDevice> devices;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInfo(set, index, &data)) break;
    devices.push_back({data.DevInst, InstanceIdOf(data.DevInst)});
  }
  return devices;
}

// The devices owning the present interfaces of a class.
inline std::vector<ListedDevice> InterfaceOwners(const GUID& interfaceClass) {
  HDEVINFO set = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE || set == nullptr) return {};
  std::vector<ListedDevice> devices = DevicesOf(set);
  SetupDiDestroyDeviceInfoList(set);
  return devices;
}

// Present devices of a setup class.
inline std::vector<ListedDevice> SetupClassDevices(const GUID& setup_class) {
  HDEVINFO set = SetupDiGetClassDevsExA(&setup_class, nullptr, nullptr, DIGCF_PRESENT, nullptr,
                                        nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE || set == nullptr) return {};
  std::vector<ListedDevice> devices = DevicesOf(set);
  SetupDiDestroyDeviceInfoList(set);
  return devices;
}

// A REG_SZ or REG_MULTI_SZ property of the device `node` (found among every present device),
// split into its strings; `error` gets the failure code (0 when read).
inline std::vector<std::string> Property(DEVINST node, DWORD property, DWORD* error = nullptr) {
  std::vector<std::string> strings;
  if (error != nullptr) *error = ERROR_NOT_FOUND;
  HDEVINFO set = SetupDiGetClassDevsExA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES,
                                        nullptr, nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE || set == nullptr) return strings;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInfo(set, index, &data)) break;
    if (data.DevInst != node) continue;
    DWORD type = 0;
    DWORD required = 0;
    BYTE buffer[4096] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, &data, property, &type, buffer, sizeof(buffer),
                                           &required)) {
      if (error != nullptr) *error = GetLastError();
      break;
    }
    if (error != nullptr) *error = 0;
    const char* text = reinterpret_cast<const char*>(buffer);
    if (type == REG_SZ) {
      strings.emplace_back(text);
    } else {
      for (const char* item = text; *item != '\0'; item += std::string(item).size() + 1) {
        strings.emplace_back(item);
      }
    }
    break;
  }
  SetupDiDestroyDeviceInfoList(set);
  return strings;
}

}  // namespace ralvex::sim::testing_setupapi
