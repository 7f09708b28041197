// Configuration manager over the POSIX device tree: device instance IDs, locating nodes and
// asking bus drivers to report their children again. Only the local machine exists.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/device_tree.h"
#include "platform/win32.h"

namespace {

constexpr ULONG CM_LOCATE_FLAGS_KNOWN =
    CM_LOCATE_DEVNODE_PHANTOM | CM_LOCATE_DEVNODE_CANCELREMOVE | CM_LOCATE_DEVNODE_NOVALIDATION;
constexpr ULONG CM_REENUMERATE_FLAGS_KNOWN =
    CM_REENUMERATE_SYNCHRONOUS | CM_REENUMERATE_RETRY_INSTALLATION | CM_REENUMERATE_ASYNCHRONOUS;

}  // namespace

extern "C" {

CONFIGRET WINAPI CM_Get_Device_ID_ExA(DEVINST node, PSTR buffer, ULONG length, ULONG flags,
                                      HMACHINE machine) {
  if (machine != nullptr) return CR_INVALID_MACHINENAME;
  if (buffer == nullptr) return CR_INVALID_POINTER;
  if (flags != 0) return CR_INVALID_FLAG;
  std::string id;
  if (node == ralvex::posix::ROOT_DEVINST) {
    id = ralvex::posix::ROOT_INSTANCE_ID;
  } else {
    ralvex::posix::DeviceNodeSnapshot snapshot;
    if (!ralvex::posix::FindDeviceNode(node, &snapshot)) return CR_INVALID_DEVNODE;
    id = snapshot.info.instanceId;
  }
  if (length < id.size() + 1) {
    // As much as fits, without a terminator.
    std::memcpy(buffer, id.data(), std::min<size_t>(length, id.size()));
    return CR_BUFFER_SMALL;
  }
  std::memcpy(buffer, id.c_str(), id.size() + 1);
  return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Locate_DevNode_ExA(PDEVINST node, DEVINSTID_A id, ULONG flags,
                                       HMACHINE machine) {
  if (node == nullptr) return CR_INVALID_POINTER;
  *node = 0;
  if (machine != nullptr) return CR_INVALID_MACHINENAME;
  if ((flags & ~CM_LOCATE_FLAGS_KNOWN) != 0) return CR_INVALID_FLAG;
  if (id == nullptr || *id == '\0') {
    *node = ralvex::posix::ROOT_DEVINST;
    return CR_SUCCESS;
  }
  size_t length = strnlen(id, MAX_DEVICE_ID_LEN);
  if (length >= MAX_DEVICE_ID_LEN) return CR_INVALID_DEVICE_ID;
  std::string_view wanted(id, length);
  if (ralvex::posix::EqualsIgnoreCase(wanted, ralvex::posix::ROOT_INSTANCE_ID)) {
    *node = ralvex::posix::ROOT_DEVINST;
    return CR_SUCCESS;
  }
  bool present = false;
  DEVINST found = ralvex::posix::FindDeviceNodeById(wanted, &present);
  if (found == 0) return CR_NO_SUCH_DEVNODE;
  if (!present && (flags & CM_LOCATE_DEVNODE_PHANTOM) == 0) return CR_NO_SUCH_DEVNODE;
  *node = found;
  return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Reenumerate_DevNode_Ex(DEVINST node, ULONG flags, HMACHINE machine) {
  if (machine != nullptr) return CR_INVALID_MACHINENAME;
  if ((flags & ~CM_REENUMERATE_FLAGS_KNOWN) != 0) return CR_INVALID_FLAG;
  std::vector<std::shared_ptr<ralvex::posix::DeviceDriver>> drivers;
  if (!ralvex::posix::CollectSubtreeDrivers(node, &drivers)) return CR_INVALID_DEVNODE;
  // Even the asynchronous form runs to the end here: the drivers answer at once, and a caller
  // that asked not to wait loses nothing by it. Drivers run without the tree lock, so they may
  // plug and unplug nodes.
  for (const auto& driver : drivers) driver->Reenumerate();
  return CR_SUCCESS;
}

}  // extern "C"
