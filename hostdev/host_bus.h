// The machine's real bridge ports as device nodes of the POSIX device tree. Once attached, every
// enumeration looks at sysfs again: ports that appeared get a node, ports that left lose theirs,
// so plugging and unplugging are seen between two calls.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hostdev/usb_ids.h"

namespace ralvex::hostdev {

struct HostBusOptions {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";  // where a tty's node is opened by its name
  std::vector<UsbIdPair> extraIds;
  // Whether the user may open a tty node for reading and writing; errno-style: 0 or EACCES/EPERM.
  // Default: access(2).
  std::function<int(const std::string& path)> accessCheck;
  // One line per tty the user may not open, once per process (default: standard error).
  std::function<void(const std::string& line)> warn;
};

// Attaches the machine's ports for the rest of the process (or until DetachHostBus), replacing
// an earlier attach, and enumerates once.
void AttachHostBus(HostBusOptions options);

// Attaches with the roots and IDs from RALVEX_SYSFS, RALVEX_DEV and RALVEX_USB_IDS. A bad ID
// list is reported in *error (one line) and the bridge vendor's devices are still attached;
// returns false then.
bool AttachHostBusFromEnvironment(std::string* error);

// Takes the nodes out of the tree and stops looking at sysfs. Open handles keep their files.
void DetachHostBus();

// Brings the tree up to date with sysfs now (what every enumeration does).
void RefreshHostBus();

}  // namespace ralvex::hostdev
