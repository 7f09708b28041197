// Device installation services over the POSIX device tree: device-information sets are snapshots
// of the tree taken when the set is created; the class installer call reaches the node's driver.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/device_tree.h"
#include "platform/posix/devices.h"
#include "platform/win32.h"

namespace ralvex::posix {
namespace {

// Install-parameter state of one element, and the device the element stands for.
struct Element {
  DeviceNodeSnapshot node;
  DWORD installFlags = 0;
  bool hasPropertyChange = false;
  SP_PROPCHANGE_PARAMS propchange{};
};

struct InterfaceRef {
  size_t element = 0;
  size_t iface = 0;
};

struct DeviceInfoSet {
  std::mutex mutex;
  bool hasClass = false;
  GUID classGuid{};
  std::vector<Element> elements;
  std::vector<InterfaceRef> interfaces;  // every interface of every element, in element order
  bool hasPropertyChange = false;        // set-wide class-install parameters
  SP_PROPCHANGE_PARAMS propchange{};
};

// Set handles live in their own number range so that they never collide with kernel handles
// (CloseHandle on a set must fail, as it does on the real system).
constexpr uintptr_t SET_HANDLE_FIRST = 0x5E700000;

struct SetRegistry {
  std::mutex mutex;
  std::map<uintptr_t, std::shared_ptr<DeviceInfoSet>> sets;
  uintptr_t next = SET_HANDLE_FIRST;
};

SetRegistry& Registry() {
  static SetRegistry* registry = new SetRegistry;
  return *registry;
}

std::shared_ptr<DeviceInfoSet> FindSet(HDEVINFO handle) {
  SetRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  auto it = registry.sets.find(reinterpret_cast<uintptr_t>(handle));
  return it == registry.sets.end() ? nullptr : it->second;
}

// Property codes from here on do not exist at all (as opposed to codes the node has no value for).
constexpr DWORD SPDRP_CODE_LIMIT = 0x25;

bool SameGuid(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

bool HasPrefixIgnoreCase(const std::string& text, const char* prefix) {
  size_t n = std::strlen(prefix);
  return text.size() >= n && EqualsIgnoreCase(std::string_view(text).substr(0, n), prefix);
}

// The element a caller's SP_DEVINFO_DATA names: its DevInst within this set. Checks cbSize.
// Set lock held.
Element* FindElement(DeviceInfoSet& set, const SP_DEVINFO_DATA* data, DWORD* error) {
  if (data == nullptr) {
    *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    *error = ERROR_INVALID_USER_BUFFER;
    return nullptr;
  }
  for (Element& element : set.elements) {
    if (element.node.devinst == data->DevInst) return &element;
  }
  *error = ERROR_INVALID_PARAMETER;
  return nullptr;
}

void FillDevInfo(const Element& element, size_t index, SP_DEVINFO_DATA* data) {
  data->ClassGuid = element.node.info.setupClassGuid;
  data->DevInst = element.node.devinst;
  data->Reserved = static_cast<ULONG_PTR>(index + 1);
}

// Adds the tree's nodes that the flags select to `set`, skipping nodes it already holds.
void Populate(DeviceInfoSet& set, const GUID* guid, const char* enumerator, DWORD flags) {
  bool interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
  bool all = (flags & DIGCF_ALLCLASSES) != 0;
  bool presentOnly = (flags & DIGCF_PRESENT) != 0;
  for (DeviceNodeSnapshot& node : SnapshotDeviceTree()) {
    if (presentOnly && !node.info.present) continue;
    if (enumerator != nullptr && *enumerator != '\0' && !interfaces) {
      std::string prefix = std::string(enumerator) + "\\";
      if (!HasPrefixIgnoreCase(node.info.instanceId, prefix.c_str())) continue;
    }
    // An interface set holds devices that expose interfaces, whatever their class.
    bool selected = all && !(interfaces && node.info.interfaces.empty());
    if (!all && interfaces) {
      for (const DeviceInterfaceInfo& iface : node.info.interfaces) {
        if (SameGuid(iface.classGuid, *guid)) selected = true;
      }
    } else if (!all) {
      selected = SameGuid(node.info.setupClassGuid, *guid);
    }
    if (!selected) continue;
    bool held = false;
    for (const Element& element : set.elements) held |= element.node.devinst == node.devinst;
    if (held) continue;
    Element element;
    element.node = std::move(node);
    size_t index = set.elements.size();
    for (size_t i = 0; i < element.node.info.interfaces.size(); ++i) {
      set.interfaces.push_back({index, i});
    }
    set.elements.push_back(std::move(element));
  }
}

bool IsLocalMachine(PCSTR machine) {
  return machine == nullptr || *machine == '\0';
}

}  // namespace
}  // namespace ralvex::posix

using ralvex::posix::DeviceInfoSet;
using ralvex::posix::Element;
using ralvex::posix::Fail;
using ralvex::posix::FindElement;
using ralvex::posix::FindSet;

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsExA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                       DWORD flags, HDEVINFO existing, PCSTR machine,
                                       PVOID reserved) {
  (void)parent;
  if (reserved != nullptr || !ralvex::posix::IsLocalMachine(machine)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (classGuid == nullptr && (flags & DIGCF_ALLCLASSES) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  ralvex::posix::RunEnumerationHook();
  if (existing != nullptr && existing != INVALID_HANDLE_VALUE) {
    std::shared_ptr<DeviceInfoSet> set = FindSet(existing);
    if (!set) {
      SetLastError(ERROR_INVALID_HANDLE);
      return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(set->mutex);
    ralvex::posix::Populate(*set, classGuid, enumerator, flags);
    return existing;
  }
  auto set = std::make_shared<DeviceInfoSet>();
  if (classGuid != nullptr && (flags & DIGCF_DEVICEINTERFACE) == 0 &&
      (flags & DIGCF_ALLCLASSES) == 0) {
    set->hasClass = true;
    set->classGuid = *classGuid;
  }
  ralvex::posix::Populate(*set, classGuid, enumerator, flags);
  ralvex::posix::SetRegistry& registry = ralvex::posix::Registry();
  std::lock_guard lock(registry.mutex);
  uintptr_t value = registry.next;
  registry.next += 4;
  registry.sets.emplace(value, std::move(set));
  return reinterpret_cast<HDEVINFO>(value);
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent,
                                     DWORD flags) {
  return SetupDiGetClassDevsExA(classGuid, enumerator, parent, flags, nullptr, nullptr, nullptr);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
  std::shared_ptr<DeviceInfoSet> removed;  // released outside the registry lock
  ralvex::posix::SetRegistry& registry = ralvex::posix::Registry();
  std::lock_guard lock(registry.mutex);
  auto it = registry.sets.find(reinterpret_cast<uintptr_t>(handle));
  if (it == registry.sets.end()) return Fail(ERROR_INVALID_HANDLE);
  removed = std::move(it->second);
  registry.sets.erase(it);
  return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA data) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (data->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  std::lock_guard lock(set->mutex);
  if (index >= set->elements.size()) return Fail(ERROR_NO_MORE_ITEMS);
  ralvex::posix::FillDevInfo(set->elements[index], index, data);
  return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA devinfo,
                                        const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (classGuid == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  std::lock_guard lock(set->mutex);
  const Element* only = nullptr;
  if (devinfo != nullptr) {
    DWORD error = 0;
    only = FindElement(*set, devinfo, &error);
    if (only == nullptr) return Fail(error);
  }
  DWORD seen = 0;
  for (size_t i = 0; i < set->interfaces.size(); ++i) {
    const ralvex::posix::InterfaceRef& ref = set->interfaces[i];
    const Element& element = set->elements[ref.element];
    if (only != nullptr && only != &element) continue;
    const ralvex::posix::DeviceInterfaceInfo& iface = element.node.info.interfaces[ref.iface];
    if (!ralvex::posix::SameGuid(iface.classGuid, *classGuid)) continue;
    if (seen++ != index) continue;
    data->InterfaceClassGuid = iface.classGuid;
    data->Flags = element.node.info.present ? SPINT_ACTIVE : 0;
    data->Reserved = static_cast<ULONG_PTR>(i + 1);
    return TRUE;
  }
  return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                             PDWORD required, PSP_DEVINFO_DATA devinfo) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  if (detail == nullptr && size != 0) return Fail(ERROR_INVALID_USER_BUFFER);
  if (detail != nullptr && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (devinfo != nullptr && devinfo->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  std::lock_guard lock(set->mutex);
  if (data->Reserved == 0 || data->Reserved > set->interfaces.size()) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const ralvex::posix::InterfaceRef& ref = set->interfaces[data->Reserved - 1];
  const Element& element = set->elements[ref.element];
  const std::string& path = element.node.info.interfaces[ref.iface].path;
  // The device the interface belongs to is reported even when the buffer is only being sized.
  if (devinfo != nullptr) ralvex::posix::FillDevInfo(element, ref.element, devinfo);
  size_t needed = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1;
  if (required != nullptr) *required = static_cast<DWORD>(needed);
  if (detail == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO handle, PSP_DEVINFO_DATA devinfo,
                                              DWORD property, PDWORD type, PBYTE buffer, DWORD size,
                                              PDWORD required) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  std::lock_guard lock(set->mutex);
  DWORD error = 0;
  const Element* element = FindElement(*set, devinfo, &error);
  if (element == nullptr) return Fail(error);
  if (property >= ralvex::posix::SPDRP_CODE_LIMIT) return Fail(ERROR_INVALID_REG_PROPERTY);
  if (buffer == nullptr && size != 0) return Fail(ERROR_INVALID_USER_BUFFER);

  const ralvex::posix::DeviceNodeInfo& info = element->node.info;
  std::string value;
  DWORD value_type = 0;
  if (property == SPDRP_DEVICEDESC && !info.description.empty()) {
    value = info.description;
    value.push_back('\0');
    value_type = REG_SZ;
  } else if (property == SPDRP_HARDWAREID || property == SPDRP_COMPATIBLEIDS) {
    const std::vector<std::string>& ids =
        property == SPDRP_HARDWAREID ? info.hardwareIds : info.compatibleIds;
    for (const std::string& id : ids) {
      value += id;
      value.push_back('\0');
    }
    if (!value.empty()) value.push_back('\0');  // the list's own terminator
    value_type = REG_MULTI_SZ;
  }
  if (value.empty()) return Fail(ERROR_INVALID_DATA);
  if (type != nullptr) *type = value_type;
  if (required != nullptr) *required = static_cast<DWORD>(value.size());
  if (buffer == nullptr || size < value.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, value.data(), value.size());
  return TRUE;
}

BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO handle, PSP_DEVINFO_DATA devinfo,
                                          PSP_CLASSINSTALL_HEADER params, DWORD size) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (params == nullptr && size != 0) return Fail(ERROR_INVALID_PARAMETER);
  if (params != nullptr) {
    if (params->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) return Fail(ERROR_INVALID_USER_BUFFER);
    // Only the property-change parameters mean anything here.
    if (params->InstallFunction != DIF_PROPERTYCHANGE || size != sizeof(SP_PROPCHANGE_PARAMS)) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
  }
  std::lock_guard lock(set->mutex);
  bool* has = &set->hasPropertyChange;
  SP_PROPCHANGE_PARAMS* stored = &set->propchange;
  if (devinfo != nullptr) {
    DWORD error = 0;
    Element* element = FindElement(*set, devinfo, &error);
    if (element == nullptr) return Fail(error);
    has = &element->hasPropertyChange;
    stored = &element->propchange;
  }
  *has = params != nullptr;  // NULL clears the parameters
  if (params != nullptr) std::memcpy(stored, params, sizeof(SP_PROPCHANGE_PARAMS));
  return TRUE;
}

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO handle,
                                      PSP_DEVINFO_DATA devinfo) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (function != DIF_PROPERTYCHANGE) return Fail(ERROR_DI_DO_DEFAULT);
  DEVINST devinst = 0;
  SP_PROPCHANGE_PARAMS params{};
  {
    std::lock_guard lock(set->mutex);
    DWORD error = 0;
    Element* element = FindElement(*set, devinfo, &error);
    if (element == nullptr) return Fail(error);
    if (element->hasPropertyChange) {
      params = element->propchange;
    } else if (set->hasPropertyChange) {
      params = set->propchange;
    } else {
      return Fail(ERROR_INVALID_PARAMETER);
    }
    devinst = element->node.devinst;
  }
  DWORD scope = params.Scope;
  if (scope != DICS_FLAG_GLOBAL && scope != DICS_FLAG_CONFIGSPECIFIC) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if ((params.StateChange == DICS_START || params.StateChange == DICS_STOP) &&
      scope != DICS_FLAG_CONFIGSPECIFIC) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (params.StateChange < DICS_ENABLE || params.StateChange > DICS_STOP) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // Only a restart has a driver hook; the node must still be in the tree.
  if (params.StateChange != DICS_PROPCHANGE) return Fail(ERROR_NOT_SUPPORTED);
  ralvex::posix::DeviceNodeSnapshot node;
  if (!ralvex::posix::FindDeviceNode(devinst, &node)) return Fail(ERROR_NO_SUCH_DEVINST);
  bool needsReboot = false;
  if (node.info.driver) {
    DWORD error = node.info.driver->Restart(&needsReboot);
    if (error != 0) return Fail(error);
  }
  std::lock_guard lock(set->mutex);
  for (Element& element : set->elements) {
    if (element.node.devinst != devinst) continue;
    if (needsReboot) element.installFlags |= DI_NEEDRESTART;
  }
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO handle, PSP_DEVINFO_DATA devinfo,
                                           PSP_DEVINSTALL_PARAMS_A params) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (params == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A)) return Fail(ERROR_INVALID_USER_BUFFER);
  std::lock_guard lock(set->mutex);
  DWORD flags = 0;
  if (devinfo != nullptr) {
    DWORD error = 0;
    const Element* element = FindElement(*set, devinfo, &error);
    if (element == nullptr) return Fail(error);
    flags = element->installFlags;
  }
  std::memset(params, 0, sizeof(*params));
  params->cbSize = sizeof(SP_DEVINSTALL_PARAMS_A);
  params->Flags = flags;
  return TRUE;
}

BOOL WINAPI SetupDiClassGuidsFromNameExA(PCSTR name, LPGUID list, DWORD count, PDWORD required,
                                         PCSTR machine, PVOID reserved) {
  if (name == nullptr || reserved != nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (list == nullptr && count != 0) return Fail(ERROR_INVALID_PARAMETER);
  if (!ralvex::posix::IsLocalMachine(machine)) return Fail(ERROR_INVALID_PARAMETER);
  // The setup classes known here are those of the nodes plugged so far, present or not.
  std::vector<GUID> found;
  for (const ralvex::posix::DeviceNodeSnapshot& node : ralvex::posix::SnapshotDeviceTree()) {
    if (!ralvex::posix::EqualsIgnoreCase(node.info.setupClass, name)) continue;
    bool known = false;
    for (const GUID& guid : found) known |= ralvex::posix::SameGuid(guid, node.info.setupClassGuid);
    if (!known) found.push_back(node.info.setupClassGuid);
  }
  if (required != nullptr) *required = static_cast<DWORD>(found.size());
  if (found.size() > count) return Fail(ERROR_INSUFFICIENT_BUFFER);
  for (size_t i = 0; i < found.size(); ++i) list[i] = found[i];
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInfoListDetailA(HDEVINFO handle,
                                            PSP_DEVINFO_LIST_DETAIL_DATA_A detail) {
  std::shared_ptr<DeviceInfoSet> set = FindSet(handle);
  if (!set) return Fail(ERROR_INVALID_HANDLE);
  if (detail == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (detail->cbSize != sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  std::lock_guard lock(set->mutex);
  detail->ClassGuid = set->hasClass ? set->classGuid : GUID{};
  detail->RemoteMachineHandle = nullptr;  // the local machine
  detail->RemoteMachineName[0] = '\0';
  return TRUE;
}

}  // extern "C"
