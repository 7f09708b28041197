#include "hostdev/host_identity.h"

#include <algorithm>
#include <cstdio>

#include "devside/device_classes.h"
#include "devside/payloads.h"

namespace ralvex::hostdev {
namespace {

// "USB\VID_vvvv&PID_pppp&MI_ii\" plus the part must stay below the system's ID length limit.
constexpr size_t MAX_INSTANCE_PART = 150;

std::string Hex4(uint16_t value, bool upper) {
  char text[5];
  std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value);
  return text;
}

std::string Hex2(uint8_t value, bool upper) {
  char text[3];
  std::snprintf(text, sizeof text, upper ? "%02X" : "%02x", value);
  return text;
}

bool UsableInId(std::string_view text) {
  if (text.empty() || text.size() > MAX_INSTANCE_PART) return false;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '\\' || c == '/' || c == '#' || c == ',') {
      return false;
    }
  }
  return true;
}

}  // namespace

uint32_t LocationId(uint32_t busNumber, std::string_view devPath, uint8_t interfaceNumber) {
  uint32_t location = busNumber;
  while (!devPath.empty()) {
    size_t dot = devPath.find('.');
    std::string_view part = devPath.substr(0, dot);
    uint32_t port = 0;
    for (char c : part) {
      if (c < '0' || c > '9') break;
      port = port * 10 + static_cast<uint32_t>(c - '0');
      if (port > 15) port = 15;
    }
    location = (location << 4) | port;
    if (dot == std::string_view::npos) break;
    devPath.remove_prefix(dot + 1);
  }
  return (location << 4) | ((interfaceNumber + 1u) & 0xF);
}

PortIdentity IdentifyPort(const HostPort& port) {
  PortIdentity identity;
  const bool multiPort = port.portCount > 1;
  const std::string letter(1, static_cast<char>('A' + (port.portIndex % 26)));

  identity.serial = port.serial.substr(
      0, multiPort ? devside::DEVICE_INFO_SERIAL_MAX - 1 : devside::DEVICE_INFO_SERIAL_MAX);
  if (multiPort && !port.serial.empty()) identity.serial += letter;
  identity.description = port.product;
  if (multiPort) {
    identity.description =
        identity.description.substr(0, devside::DEVICE_INFO_DESCRIPTION_MAX - 2) + " " + letter;
  }
  identity.description.resize(
      std::min(identity.description.size(), devside::DEVICE_INFO_DESCRIPTION_MAX));

  identity.chipCode = ChipCodeFromRelease(port.release);
  identity.id = (uint32_t{port.vid} << 16) | port.pid;
  identity.location = LocationId(port.busNumber, port.devPath, port.interfaceNumber);
  identity.packetSize = port.highSpeed ? 512 : 64;

  std::string part =
      UsableInId(port.serial) ? port.serial : std::to_string(port.busNumber) + "-" + port.devPath;
  std::string ids = "VID_" + Hex4(port.vid, true) + "&PID_" + Hex4(port.pid, true);
  std::string path = "vid_" + Hex4(port.vid, false) + "&pid_" + Hex4(port.pid, false);
  std::string mi;
  if (multiPort) {
    mi = "&MI_" + Hex2(port.interfaceNumber, true);
    path += "&mi_" + Hex2(port.interfaceNumber, false);
  }
  identity.instanceId = "USB\\" + ids + mi + "\\" + part;
  identity.hardwareIds = {"USB\\" + ids + "&REV_" + Hex4(port.release, true) + mi,
                          "USB\\" + ids + mi};
  identity.interfacePath =
      "\\\\?\\usb#" + path + "#" + part + "#" + devside::BRIDGE_INTERFACE_GUID_TEXT;
  return identity;
}

}  // namespace ralvex::hostdev
