#include "hostdev/host_bus.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "devside/device_classes.h"
#include "hostdev/host_identity.h"
#include "hostdev/sysfs_discovery.h"
#include "hostdev/tty_driver.h"
#include "platform/posix/devices.h"

namespace ralvex::hostdev {
namespace {

struct PluggedPort {
  DEVINST node = 0;
  std::string ttyName;
  std::shared_ptr<TtyDriver> driver;
};

struct HostBus {
  std::mutex mutex;
  bool attached = false;
  HostBusOptions options;
  std::map<std::string, PluggedPort> ports;  // by instance ID
  std::set<std::string> warned;              // ttys already reported as not accessible
};

// Never destroyed: the enumeration hook may run from static destructors elsewhere.
HostBus& Bus() {
  static HostBus* bus = new HostBus;
  return *bus;
}

int DefaultAccessCheck(const std::string& path) {
  return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

void DefaultWarn(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

std::string PermissionLine(const std::string& ttyPath, const PortIdentity& identity) {
  std::string who = identity.serial.empty() ? identity.description : identity.serial;
  return "ralvex: no permission to open " + ttyPath + (who.empty() ? "" : " (" + who + ")") +
         ": add your user to the group that owns it (ls -l " + ttyPath +
         ", often 'dialout') or install packaging/udev/60-ralvex.rules, then log in again";
}

void RefreshLocked(HostBus& bus) {
  const HostBusOptions& options = bus.options;
  std::map<std::string, PluggedPort> kept;
  for (const HostPort& port : DiscoverHostPorts(options.sysfsRoot, options.extraIds)) {
    PortIdentity identity = IdentifyPort(port);
    const std::string ttyPath = options.devRoot + "/" + port.ttyName;
    const int access = options.accessCheck(ttyPath);
    if (access == EACCES || access == EPERM) {
      if (bus.warned.insert(ttyPath).second) options.warn(PermissionLine(ttyPath, identity));
      continue;
    }
    // Two devices with one serial: the second is named by its place on the bus instead.
    if (kept.count(identity.instanceId) > 0) {
      HostPort renamed = port;
      renamed.serial.clear();
      PortIdentity placed = IdentifyPort(renamed);
      identity.instanceId = placed.instanceId;
      identity.interfacePath = placed.interfacePath;
    }
    auto existing = bus.ports.find(identity.instanceId);
    if (existing != bus.ports.end() && existing->second.ttyName == port.ttyName) {
      kept.emplace(identity.instanceId, std::move(existing->second));
      bus.ports.erase(existing);
      continue;
    }
    std::string latency = port.portFolder + "/latency_timer";
    if (::access(latency.c_str(), F_OK) != 0) latency.clear();
    PluggedPort plugged;
    plugged.ttyName = port.ttyName;
    plugged.driver = std::make_shared<TtyDriver>(ttyPath, identity, latency);
    posix::DeviceNodeInfo info;
    info.instanceId = identity.instanceId;
    info.setupClass = devside::USB_SETUP_CLASS_NAME;
    info.setupClassGuid = devside::USB_SETUP_CLASS_GUID;
    info.description = identity.description;
    info.hardwareIds = identity.hardwareIds;
    info.compatibleIds = {"USB\\Class_FF&SubClass_FF&Prot_FF", "USB\\Class_FF&SubClass_FF",
                          "USB\\Class_FF"};
    info.interfaces.push_back({devside::BRIDGE_INTERFACE_GUID, identity.interfacePath});
    info.driver = plugged.driver;
    plugged.node = posix::AddDeviceNode(std::move(info));
    kept.emplace(identity.instanceId, std::move(plugged));
  }
  // Whatever was not seen again has left.
  for (auto& [id, port] : bus.ports) {
    if (kept.count(id) == 0) posix::RemoveDeviceNode(port.node);
  }
  bus.ports = std::move(kept);
}

void EnumerationHook() {
  RefreshHostBus();
}

const char* EnvironmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return (value == nullptr || *value == '\0') ? fallback : value;
}

}  // namespace

void AttachHostBus(HostBusOptions options) {
  if (!options.accessCheck) options.accessCheck = DefaultAccessCheck;
  if (!options.warn) options.warn = DefaultWarn;
  DetachHostBus();
  {
    HostBus& bus = Bus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.options = std::move(options);
    bus.attached = true;
    bus.warned.clear();
  }
  posix::SetEnumerationHook(EnumerationHook);
  RefreshHostBus();
}

bool AttachHostBusFromEnvironment(std::string* error) {
  HostBusOptions options;
  options.sysfsRoot = EnvironmentOr("RALVEX_SYSFS", "/sys");
  options.devRoot = EnvironmentOr("RALVEX_DEV", "/dev");
  bool good = ParseUsbIdList(EnvironmentOr("RALVEX_USB_IDS", ""), &options.extraIds, error);
  AttachHostBus(std::move(options));
  return good;
}

void DetachHostBus() {
  posix::SetEnumerationHook(nullptr);
  HostBus& bus = Bus();
  std::map<std::string, PluggedPort> gone;
  {
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.attached = false;
    gone.swap(bus.ports);
  }
  for (auto& [id, port] : gone) posix::RemoveDeviceNode(port.node);
}

void RefreshHostBus() {
  HostBus& bus = Bus();
  std::lock_guard<std::mutex> lock(bus.mutex);
  if (bus.attached) RefreshLocked(bus);
}

}  // namespace ralvex::hostdev
