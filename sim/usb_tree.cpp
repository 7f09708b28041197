#include "sim/usb_tree.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <mutex>

namespace ralvex::sim {
namespace {

// The host controllers behind the three root hubs: their PCI IDs make the hubs' hardware IDs.
struct RootHubModel {
  const char* instance_id;
  const char* description;
  uint16_t vid;
  uint16_t pid;
  uint16_t rev;
};

constexpr std::array<RootHubModel, ROOT_HUB_COUNT> TREE_ROOT_HUBS = {{
    {"USB\\ROOT_HUB", "USB Root Hub", 0x8086, 0x2934, 0x0003},
    {"USB\\ROOT_HUB20", "USB Root Hub (USB 2.0)", 0x8086, 0x293A, 0x0003},
    {"USB\\ROOT_HUB30", "USB Root Hub (USB 3.0)", 0x8086, 0xA2AF, 0x0000},
}};

// Bench devices hang below the USB 3 hub, as every speed does on an xHCI controller; the hub's
// bus is number 1 in the location IDs.
constexpr RootHub TREE_BENCH_HUB = ROOT_HUB_USB3;
constexpr uint32_t TREE_BENCH_BUS = 1;

// Vendor-specific interface class, subclass and protocol.
const std::vector<std::string> TREE_BRIDGE_COMPATIBLE_IDS = {
    "USB\\Class_FF&SubClass_FF&Prot_FF", "USB\\Class_FF&SubClass_FF", "USB\\Class_FF"};

std::string Hex4(uint16_t value, bool upper) {
  char text[5];
  std::snprintf(text, sizeof(text), upper ? "%04X" : "%04x", value);
  return text;
}

bool SameIdIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

struct UsbTree::Shared {
  mutable std::mutex mutex;
  std::array<uint32_t, ROOT_HUB_COUNT> reenumerations{};
  std::vector<std::string> log;
  std::array<std::vector<std::weak_ptr<posix::DeviceDriver>>, ROOT_HUB_COUNT> children;
};

// Nobody opens a root hub here; a restart changes nothing, and it counts the re-enumerations a bus
// rescan sends it and passes them on to its children.
class UsbTree::RootHubDriver final : public posix::DeviceDriver {
 public:
  RootHubDriver(std::shared_ptr<Shared> shared, RootHub hub)
      : shared_(std::move(shared)), hub_(static_cast<size_t>(hub)) {}

  uint32_t Open(bool, std::unique_ptr<posix::DeviceFile>*) override { return ERROR_ACCESS_DENIED; }

  uint32_t Restart(bool* needsReboot) override {
    *needsReboot = false;
    return 0;
  }

  void Reenumerate() override {
    std::vector<std::shared_ptr<posix::DeviceDriver>> children;
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      ++shared_->reenumerations[hub_];
      shared_->log.emplace_back(TREE_ROOT_HUBS[hub_].instance_id);
      for (const auto& child : shared_->children[hub_]) {
        if (auto driver = child.lock()) children.push_back(std::move(driver));
      }
    }
    // Outside the lock: a returning device marks its node present through the platform.
    for (const auto& child : children) child->Reenumerate();
  }

 private:
  std::shared_ptr<Shared> shared_;
  size_t hub_;
};

std::string_view RootHubInstanceId(RootHub hub) {
  return TREE_ROOT_HUBS[static_cast<size_t>(hub)].instance_id;
}

std::string UsbInstanceId(uint16_t vid, uint16_t pid, std::string_view instancePart) {
  std::string id = "USB\\VID_" + Hex4(vid, true) + "&PID_" + Hex4(pid, true) + "\\";
  id.append(instancePart);
  return id;
}

std::vector<std::string> UsbHardwareIds(uint16_t vid, uint16_t pid, uint16_t rev) {
  const std::string base = "USB\\VID_" + Hex4(vid, true) + "&PID_" + Hex4(pid, true);
  return {base + "&REV_" + Hex4(rev, true), base};
}

std::string BridgeInterfacePath(uint16_t vid, uint16_t pid, std::string_view instancePart) {
  std::string path = "\\\\?\\usb#vid_" + Hex4(vid, false) + "&pid_" + Hex4(pid, false) + "#";
  path.append(instancePart);
  path += "#";
  path += devside::BRIDGE_INTERFACE_GUID_TEXT;
  return path;
}

bool SerialUsableInInstanceId(std::string_view serial) {
  if (serial.empty()) return false;
  // "USB\VID_vvvv&PID_pppp\" is 22 characters; the whole ID must stay below the limit.
  if (22 + serial.size() >= MAX_DEVICE_ID_LEN) return false;
  for (char c : serial) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '\\' || c == '/' || c == '#' || c == ',') {
      return false;
    }
  }
  return true;
}

UsbTree::UsbTree() : shared_(std::make_shared<Shared>()) {
  for (size_t i = 0; i < ROOT_HUB_COUNT; ++i) {
    const RootHubModel& model = TREE_ROOT_HUBS[i];
    const std::string id = model.instance_id;
    const std::string pci = "&VID" + Hex4(model.vid, true) + "&PID" + Hex4(model.pid, true);
    posix::DeviceNodeInfo info;
    info.instanceId = id;
    info.setupClass = USB_SETUP_CLASS_NAME;
    info.setupClassGuid = USB_SETUP_CLASS_GUID;
    info.description = model.description;
    // No underscore after ROOT_HUB's VID and PID: that is how root hubs spell them.
    info.hardwareIds = {id + pci + "&REV" + Hex4(model.rev, true), id + pci, id};
    info.driver = std::make_shared<RootHubDriver>(shared_, static_cast<RootHub>(i));
    hubNodes_[i] = posix::AddDeviceNode(std::move(info));
  }
}

UsbTree::~UsbTree() {
  for (DEVINST node : hubNodes_) {
    if (node != 0) posix::RemoveDeviceNode(node);
  }
}

uint32_t UsbTree::NextPort() const {
  return static_cast<uint32_t>(devices_.size()) + 1;
}

uint32_t UsbTree::LocationOfPort(uint32_t port) {
  return (TREE_BENCH_BUS << 8) + (port << 4) + 1;
}

PluggedDevice UsbTree::Plug(const UsbDeviceIdentity& identity,
                            std::shared_ptr<posix::DeviceDriver> driver) {
  PluggedDevice plugged;
  plugged.hub = TREE_BENCH_HUB;
  plugged.port = NextPort();

  std::string instancePart = identity.serial;
  bool usable = SerialUsableInInstanceId(instancePart);
  if (usable) {
    const std::string id = UsbInstanceId(identity.vid, identity.pid, instancePart);
    usable = std::none_of(devices_.begin(), devices_.end(), [&](const PluggedDevice& other) {
      return SameIdIgnoringCase(other.instance_id, id);
    });
  }
  if (!usable) {
    // What a hub makes up for a device it cannot name by serial: parent ID prefix and port.
    char part[32];
    std::snprintf(part, sizeof(part), "5&%08x&0&%u",
                  0x2f1c3a7eu + static_cast<uint32_t>(TREE_BENCH_HUB), plugged.port);
    instancePart = part;
  }
  plugged.instance_id = UsbInstanceId(identity.vid, identity.pid, instancePart);
  plugged.interfacePath = BridgeInterfacePath(identity.vid, identity.pid, instancePart);

  posix::DeviceNodeInfo info;
  info.instanceId = plugged.instance_id;
  info.parentId = std::string(RootHubInstanceId(TREE_BENCH_HUB));
  info.setupClass = USB_SETUP_CLASS_NAME;
  info.setupClassGuid = USB_SETUP_CLASS_GUID;
  info.description = identity.description;
  info.hardwareIds = UsbHardwareIds(identity.vid, identity.pid, identity.rev);
  info.compatibleIds = TREE_BRIDGE_COMPATIBLE_IDS;
  info.interfaces.push_back({BRIDGE_INTERFACE_GUID, plugged.interfacePath});
  info.driver = driver;
  info.present = identity.present;
  plugged.node = posix::AddDeviceNode(std::move(info));

  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->children[static_cast<size_t>(TREE_BENCH_HUB)].push_back(driver);
  }
  devices_.push_back(plugged);
  return plugged;
}

DEVINST UsbTree::HubNode(RootHub hub) const {
  return hubNodes_[static_cast<size_t>(hub)];
}

size_t UsbTree::DeviceCount() const {
  return devices_.size();
}

const PluggedDevice& UsbTree::Device(size_t index) const {
  return devices_.at(index);
}

uint32_t UsbTree::ReenumerationCount(RootHub hub) const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->reenumerations[static_cast<size_t>(hub)];
}

std::vector<std::string> UsbTree::ReenumerationLog() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->log;
}

void UsbTree::ClearReenumerationLog() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->log.clear();
}

}  // namespace ralvex::sim
