#include "hostdev/host_identity.h"

#include <algorithm>
#include <cstdio>

namespace ralvex::hostdev {
namespace {

struct ReleaseChip {
  uint8_t releaseHigh;
  uint32_t chipCode;
};

// Device release numbers (high byte) the chip families report, and their chip codes.
constexpr ReleaseChip RELEASE_CHIPS[] = {
    {0x02, 0x40360010},  // AM
    {0x04, 0x40360011},  // BM
    {0x05, 0x40360100},  // 2232C
    {0x06, 0x40360012},  // 232R
    {0x07, 0x40360101},  // 2232H
    {0x08, 0x40360110},  // 4232H
    {0x09, 0x40360140},  // 232H
    {0x10, 0x40360150},  // X series
};
constexpr uint32_t CHIP_CODE_UNKNOWN = 0x40360000;

constexpr char INTERFACE_GUID_TEXT[] = "{219d0508-57a8-4ff5-97a1-bd86587c6c7e}";
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

uint32_t ChipCodeFromRelease(uint16_t release) {
  const auto high = static_cast<uint8_t>(release >> 8);
  for (const ReleaseChip& row : RELEASE_CHIPS) {
    if (row.releaseHigh == high) return row.chipCode;
  }
  return CHIP_CODE_UNKNOWN;
}

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

  identity.serial =
      port.serial.substr(0, multiPort ? IDENTITY_SERIAL_MAX - 1 : IDENTITY_SERIAL_MAX);
  if (multiPort && !port.serial.empty()) identity.serial += letter;
  identity.description = port.product;
  if (multiPort) {
    identity.description =
        identity.description.substr(0, IDENTITY_DESCRIPTION_MAX - 2) + " " + letter;
  }
  identity.description.resize(std::min(identity.description.size(), IDENTITY_DESCRIPTION_MAX));

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
  identity.interfacePath = "\\\\?\\usb#" + path + "#" + part + "#" + INTERFACE_GUID_TEXT;
  return identity;
}

}  // namespace ralvex::hostdev
