// The simulated USB tree: three root hubs in setup class "USB" and the bridge devices below them,
// with the instance IDs, hardware IDs, compatible IDs and interface paths the system would give
// them. It plugs nodes into the POSIX device tree (platform/posix/devices.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devside/device_classes.h"
#include "platform/posix/devices.h"

namespace ralvex::sim {

// Hubs and bridge devices are in the setup class "USB"; each bridge device has one interface of
// the bridge's interface class.
using devside::BRIDGE_INTERFACE_GUID;
using devside::USB_SETUP_CLASS_GUID;
using devside::USB_SETUP_CLASS_NAME;

enum RootHub : size_t { ROOT_HUB_USB1 = 0, ROOT_HUB_USB2 = 1, ROOT_HUB_USB3 = 2 };
inline constexpr size_t ROOT_HUB_COUNT = 3;

// "USB\ROOT_HUB", "USB\ROOT_HUB20", "USB\ROOT_HUB30".
std::string_view RootHubInstanceId(RootHub hub);

// Identity of a bridge device as the USB tree shows it.
struct UsbDeviceIdentity {
  uint16_t vid = 0;
  uint16_t pid = 0;
  uint16_t rev = 0;         // bcdDevice: "REV_rrrr"
  std::string serial;       // empty, or not usable in an ID: the hub makes an instance part up
  std::string description;  // SPDRP_DEVICEDESC
  bool present = true;      // false: plugged in the tree but not present (unplugged from the start)
};

// "USB\VID_0403&PID_6001\<instance part>", upper-case hex.
std::string UsbInstanceId(uint16_t vid, uint16_t pid, std::string_view instancePart);
// "USB\VID_0403&PID_6001&REV_0600", "USB\VID_0403&PID_6001".
std::vector<std::string> UsbHardwareIds(uint16_t vid, uint16_t pid, uint16_t rev);
// "\\?\usb#vid_0403&pid_6001#<instance part>#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}".
std::string BridgeInterfacePath(uint16_t vid, uint16_t pid, std::string_view instancePart);
// Whether a serial number can stand as the instance part of an ID: printable ASCII without
// spaces, '\', '#', '/' or ',' and at most 200 characters in the whole ID.
bool SerialUsableInInstanceId(std::string_view serial);

// One device plugged into the tree.
struct PluggedDevice {
  DEVINST node = 0;
  RootHub hub = ROOT_HUB_USB3;
  uint32_t port = 0;  // 1-based port of its hub
  std::string instance_id;
  std::string interfacePath;
};

class UsbTree {
 public:
  // Plugs the three root hubs into the device tree.
  UsbTree();
  // Removes its nodes from the device tree (the hubs and every device below them).
  ~UsbTree();
  UsbTree(const UsbTree&) = delete;
  UsbTree& operator=(const UsbTree&) = delete;

  // The port the next device will be plugged into, and the location ID that port gives
  // (0x0111 for port 1, 0x0121 for port 2, ...: bus 1, port, interface 1).
  uint32_t NextPort() const;
  static uint32_t LocationOfPort(uint32_t port);

  // Plugs a bridge device below the bench's hub (USB 3: it serves every speed), after the
  // devices plugged before. `driver` answers opens of its interface; the hub passes its own
  // re-enumerations on to it (a device that left through a port cycle comes back). A serial that
  // cannot stand in an ID, or that another device on the tree already uses, gets an instance part
  // made up from the port, as a hub does for devices without a serial number.
  PluggedDevice Plug(const UsbDeviceIdentity& identity,
                     std::shared_ptr<posix::DeviceDriver> driver);

  DEVINST HubNode(RootHub hub) const;
  size_t DeviceCount() const;
  const PluggedDevice& Device(size_t index) const;

  // How many times each hub was asked to re-enumerate, and the hubs' instance IDs in the order
  // they were asked (what a test of a bus rescan checks).
  uint32_t ReenumerationCount(RootHub hub) const;
  std::vector<std::string> ReenumerationLog() const;
  void ClearReenumerationLog();

 private:
  struct Shared;
  class RootHubDriver;

  std::shared_ptr<Shared> shared_;
  DEVINST hubNodes_[ROOT_HUB_COUNT] = {};
  std::vector<PluggedDevice> devices_;
};

}  // namespace ralvex::sim
