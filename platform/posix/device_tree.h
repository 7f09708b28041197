// Read access to the device tree for the Win32 functions of platform/posix (files, SetupDi*, CM_*).
// Drivers plug nodes in through devices.h; this header is internal to the platform layer.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/devices.h"

namespace ralvex::posix {

// The root device node: what CM_Locate_DevNode_ExA returns for NULL or "". Real nodes start above.
inline constexpr DEVINST ROOT_DEVINST = 1;
inline constexpr const char* ROOT_INSTANCE_ID = "HTREE\\ROOT\\0";

struct DeviceNodeSnapshot {
  DEVINST devinst = 0;
  DeviceNodeInfo info;
};

// ASCII case-insensitive equality, as the system compares IDs and paths.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Runs the enumeration hook, if one is registered.
void RunEnumerationHook();

// Copies of every node, in enumeration order (absent nodes included).
std::vector<DeviceNodeSnapshot> SnapshotDeviceTree();

// The node with this number (absent nodes included). False for the root and unknown numbers.
bool FindDeviceNode(DEVINST node, DeviceNodeSnapshot* out);

// The node with this instance ID (case-insensitive, absent nodes included); 0 when there is none.
DEVINST FindDeviceNodeById(std::string_view instanceId, bool* present);

// The driver behind a present node's interface path (case-insensitive); null when no present
// node exposes the path or nobody answers opens on it.
std::shared_ptr<DeviceDriver> FindInterfaceDriver(std::string_view path);

// The drivers of `node` and every node below it, in enumeration order; for the root, of every
// node. False when the node is unknown.
bool CollectSubtreeDrivers(DEVINST node, std::vector<std::shared_ptr<DeviceDriver>>* drivers);

}  // namespace ralvex::posix
