// Finds the bridges' serial ports in sysfs the way the kernel lays them out: every tty in
// class/tty whose device link leads into an interface of a USB device with a bridge's IDs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostdev/usb_ids.h"

namespace ralvex::hostdev {

// One tty of a bridge, with what sysfs tells about it and its USB device.
struct HostPort {
  std::string ttyName;          // "ttyUSB0": the node's name below the /dev root
  std::string portFolder;       // the tty's device folder (resolved); may hold latency_timer
  std::string usbDeviceFolder;  // the USB device's folder (resolved)
  uint16_t vid = 0;
  uint16_t pid = 0;
  uint16_t release = 0;  // bcdDevice
  std::string product;   // USB product string; may be empty
  std::string serial;    // USB serial number string; may be empty
  uint32_t busNumber = 0;
  std::string devPath;  // port path from the root hub: "1", "1.4", ...
  uint8_t interfaceNumber = 0;
  bool highSpeed = false;  // the device runs at 480 Mbit/s or faster
  uint32_t portIndex = 0;  // among the device's ttys, by interface number
  uint32_t portCount = 1;  // ttys the device has
};

// The bridges' ports below `sysfsRoot` (normally "/sys"), ordered by bus, port path and
// interface. Ttys whose links or attributes cannot be read are left out.
std::vector<HostPort> DiscoverHostPorts(const std::string& sysfsRoot,
                                        const std::vector<UsbIdPair>& extraIds);

}  // namespace ralvex::hostdev
