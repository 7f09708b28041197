// What a bridge port looks like to the access layer: the IDs and path of its device node, the
// identity its requests answer (serial, description, location, chip code), made from sysfs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devside/chip_facts.h"
#include "hostdev/sysfs_discovery.h"

namespace ralvex::hostdev {

struct PortIdentity {
  std::string instanceId;  // "USB\VID_0403&PID_6001\SERIAL" ("...&MI_01\..." for multi-port)
  std::vector<std::string> hardwareIds;
  std::string interfacePath;  // "\\?\usb#vid_0403&pid_6001#serial#{...}"
  std::string serial;         // per port: the device's serial, plus A, B, ... on multi-port chips
  std::string description;    // per port: the product string, plus " A", " B", ... likewise
  uint32_t chipCode = 0;      // the device-information request's chip code
  uint32_t id = 0;            // VID << 16 | PID
  uint32_t location = 0;
  uint16_t packetSize = 64;
};

// The chip code of the family whose device release (bcdDevice) this is: the device side's table.
using devside::ChipCodeFromRelease;

// Bus number, then one hexadecimal digit per port of the path, then the interface number plus
// one: bus 1, path "4.2", interface 0 gives 0x1421. Ports above 15 count as 15; only the low
// 32 bits are kept on very deep paths.
uint32_t LocationId(uint32_t busNumber, std::string_view devPath, uint8_t interfaceNumber);

// Everything above for one discovered port. The instance ID ends in the serial when it can stand
// there, else in the bus number and port path ("1-4.2"), as a hub names a device without one.
PortIdentity IdentifyPort(const HostPort& port);

}  // namespace ralvex::hostdev
