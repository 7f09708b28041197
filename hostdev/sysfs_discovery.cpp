#include "hostdev/sysfs_discovery.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>
#include <tuple>

namespace ralvex::hostdev {
namespace {

namespace fs = std::filesystem;

// Interface and device folders sit at most this far above a tty's device folder.
constexpr int MAX_WALK_UP = 4;
// Attribute files are short; a longer one is not what we are looking for.
constexpr size_t MAX_ATTRIBUTE_BYTES = 256;

bool ReadAttribute(const fs::path& folder, const char* name, std::string* value) {
  std::ifstream in(folder / name, std::ios::binary);
  if (!in) return false;
  std::string text(MAX_ATTRIBUTE_BYTES, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  *value = std::move(text);
  return true;
}

bool ReadNumber(const fs::path& folder, const char* name, int base, uint32_t* value) {
  std::string text;
  if (!ReadAttribute(folder, name, &text) || text.empty()) return false;
  char* end = nullptr;
  unsigned long parsed = std::strtoul(text.c_str(), &end, base);
  if (end == nullptr || *end != '\0' || parsed > 0xFFFFFFFFul) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

bool Exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

// Fills the USB side of `port` from the tty's resolved device folder. False when the tty does
// not sit below a USB interface.
bool ReadUsbSide(const fs::path& portFolder, HostPort* port) {
  fs::path interfaceFolder = portFolder;
  for (int up = 0; up < MAX_WALK_UP && !Exists(interfaceFolder / "bInterfaceNumber"); ++up) {
    if (!interfaceFolder.has_parent_path() || interfaceFolder == interfaceFolder.parent_path()) {
      return false;
    }
    interfaceFolder = interfaceFolder.parent_path();
  }
  uint32_t interfaceNumber = 0;
  if (!ReadNumber(interfaceFolder, "bInterfaceNumber", 16, &interfaceNumber)) return false;
  const fs::path device = interfaceFolder.parent_path();
  uint32_t vid = 0, pid = 0, release = 0, bus = 0;
  if (!ReadNumber(device, "idVendor", 16, &vid) || !ReadNumber(device, "idProduct", 16, &pid) ||
      !ReadNumber(device, "bcdDevice", 16, &release) || !ReadNumber(device, "busnum", 10, &bus) ||
      !ReadAttribute(device, "devpath", &port->devPath)) {
    return false;
  }
  port->usbDeviceFolder = device.string();
  port->vid = static_cast<uint16_t>(vid);
  port->pid = static_cast<uint16_t>(pid);
  port->release = static_cast<uint16_t>(release);
  port->busNumber = bus;
  port->interfaceNumber = static_cast<uint8_t>(interfaceNumber);
  ReadAttribute(device, "product", &port->product);
  ReadAttribute(device, "serial", &port->serial);
  uint32_t speed = 0;
  port->highSpeed = ReadNumber(device, "speed", 10, &speed) && speed >= 480;
  return true;
}

}  // namespace

std::vector<HostPort> DiscoverHostPorts(const std::string& sysfsRoot,
                                        const std::vector<UsbIdPair>& extraIds) {
  std::vector<HostPort> ports;
  std::error_code failure;
  fs::directory_iterator entries(fs::path(sysfsRoot) / "class" / "tty", failure);
  if (failure) return ports;
  for (const fs::directory_entry& entry : entries) {
    const fs::path deviceLink = entry.path() / "device";
    std::error_code broken;
    const fs::path portFolder = fs::canonical(deviceLink, broken);
    if (broken) continue;  // a virtual terminal, or a link that leads nowhere
    HostPort port;
    port.ttyName = entry.path().filename().string();
    port.portFolder = portFolder.string();
    if (!ReadUsbSide(portFolder, &port) || !IsBridgeId(port.vid, port.pid, extraIds)) continue;
    ports.push_back(std::move(port));
  }
  auto order = [](const HostPort& p) {
    return std::tie(p.busNumber, p.devPath, p.interfaceNumber, p.ttyName);
  };
  std::sort(ports.begin(), ports.end(),
            [&](const HostPort& a, const HostPort& b) { return order(a) < order(b); });
  // The ports of one device, numbered by interface.
  std::map<std::string, uint32_t> perDevice;
  for (HostPort& port : ports) port.portIndex = perDevice[port.usbDeviceFolder]++;
  for (HostPort& port : ports) port.portCount = perDevice[port.usbDeviceFolder];
  return ports;
}

}  // namespace ralvex::hostdev
