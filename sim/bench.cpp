#include "sim/bench.h"

#include <cstdlib>
#include <mutex>

#include "platform/posix/devices.h"
#include "sim/bench_file.h"
#include "sim/bridge_device.h"
#include "sim/builtin_bench.h"
#include "sim/chip_family.h"
#include "sim/loopback_peer.h"
#include "sim/silent_peer.h"
#include "sim/tester/tester_peer.h"
#include "sim/usb_tree.h"

namespace ralvex::sim {
namespace {

std::mutex g_attached_mutex;
std::unique_ptr<Bench> g_attached;

std::string Where(const BenchLayout& layout, uint32_t line) {
  return layout.source + ":" + std::to_string(line) + ": ";
}

bool MakeConfig(const BenchLayout& layout, const BenchDeviceLayout& device,
                BridgeDeviceConfig* config, std::string* error) {
  const std::optional<ChipFamily> chip = ParseChipFamily(device.chip);
  if (!chip) {
    *error = Where(layout, device.line) + "unknown chip '" + device.chip + "'";
    return false;
  }
  config->serial = device.serial;
  config->description = device.description;
  config->chip = *chip;
  config->vid = device.vid;
  config->pid = device.pid;
  config->location = device.location;
  config->high_speed = device.high_speed;
  config->held_open = device.held_open;
  config->alternate_requests = device.alternate_requests;
  config->refuse = device.refuse;
  config->eeprom_words = device.eeprom_words;
  config->eeprom = device.eeprom;
  config->com_port = device.com_port;
  if (device.driver_version) config->driver_version = *device.driver_version;
  if (device.extra) config->extra = *device.extra;
  config->wire_model = device.wire_model;
  config->read_failures =
      device.read_failures == BENCH_EVERY_READ ? EVERY_READ : device.read_failures;
  config->unplugged = device.unplugged;
  config->unplug_after_bytes = device.unplug_after_bytes;
  config->eeprom_writes_stick = device.eeprom_writes_stick;
  config->restart_needs_reboot = device.restart_needs_reboot;
  config->restart_fails = device.restart_fails;

  std::string problem;
  if (!ValidateBridgeDeviceConfig(*config, &problem)) {
    *error = Where(layout, device.line) + "device '" + device.serial + "': " + problem;
    return false;
  }
  return true;
}

std::shared_ptr<SerialPeer> MakePeer(const BenchLayout& layout, const BenchDeviceLayout& device,
                                     std::string* error) {
  switch (device.peer) {
    case BenchPeerKind::kNone:
      return nullptr;
    case BenchPeerKind::kLoopback:
      return std::make_shared<LoopbackPeer>();
    case BenchPeerKind::kSilent:
      return std::make_shared<SilentPeer>();
    case BenchPeerKind::kTester: {
      std::string problem;
      std::unique_ptr<SerialPeer> tester = MakeTesterPeer(
          device.tester ? &*device.tester : nullptr, device.serial, layout.state_path, &problem);
      if (!tester) {
        const uint32_t line = device.tester ? device.tester_line : device.line;
        *error = Where(layout, line) + "tester '" + device.serial +
                 "': " + (problem.empty() ? "cannot be built" : problem);
      }
      return tester;
    }
  }
  return nullptr;
}

}  // namespace

Bench::Bench() {
  // One device tree per process: whatever was attached or plugged before goes first.
  DetachBench();
  posix::ClearDeviceTree();
  posix::SetServerEdition(false);
  tree_ = std::make_unique<UsbTree>();
}

Bench::~Bench() {
  tree_.reset();
  posix::ClearDeviceTree();
  // Peers go with their devices; a device still referenced by an open file outlives the bench.
  devices_.clear();
  posix::SetServerEdition(false);
}

BridgeDevice& Bench::AddDevice(const BridgeDeviceConfig& config, std::shared_ptr<SerialPeer> peer) {
  BridgeDeviceConfig placed = config;
  if (!placed.location) placed.location = UsbTree::LocationOfPort(tree_->NextPort());
  auto device = std::make_shared<BridgeDevice>(std::move(placed));
  if (peer) device->SetPeer(std::move(peer));

  UsbDeviceIdentity identity;
  identity.vid = device->Config().vid;
  identity.pid = device->ProductId();
  identity.rev = DeviceRelease(device->Config().chip);
  identity.serial = device->Config().serial;
  identity.description = device->Description();
  identity.present = !device->Config().unplugged;
  const PluggedDevice plugged = tree_->Plug(identity, device);
  device->SetDevInst(plugged.node);

  devices_.push_back(device);
  return *device;
}

BridgeDevice& Bench::Device(size_t index) {
  return *devices_.at(index);
}

BridgeDevice* Bench::FindDevice(std::string_view serial) {
  for (const auto& device : devices_) {
    if (device->Config().serial == serial) return device.get();
  }
  return nullptr;
}

void Bench::SetServerEdition(bool server) {
  posix::SetServerEdition(server);
}

std::unique_ptr<Bench> BuildBench(const BenchLayout& layout, std::string* error) {
  std::string problem;
  // Everything that can fail happens before the bench replaces the one that is up.
  std::vector<BridgeDeviceConfig> configs(layout.devices.size());
  std::vector<std::shared_ptr<SerialPeer>> peers(layout.devices.size());
  for (size_t i = 0; i < layout.devices.size(); ++i) {
    const BenchDeviceLayout& device = layout.devices[i];
    if (!MakeConfig(layout, device, &configs[i], &problem)) break;
    peers[i] = MakePeer(layout, device, &problem);
    if (!problem.empty()) break;
  }
  if (!problem.empty()) {
    if (error != nullptr) *error = problem;
    return nullptr;
  }

  auto bench = std::make_unique<Bench>();
  bench->SetServerEdition(layout.server_edition);
  bench->SetStatePath(layout.state_path);
  for (size_t i = 0; i < configs.size(); ++i) bench->AddDevice(configs[i], std::move(peers[i]));
  return bench;
}

bool AttachBench(const std::string& path_or_builtin, std::string* error) {
  std::string problem;
  BenchLayout layout;
  const bool loaded = path_or_builtin == "builtin"
                          ? LoadBuiltinBench(&layout, &problem)
                          : LoadBenchFile(path_or_builtin, &layout, &problem);
  std::unique_ptr<Bench> bench = loaded ? BuildBench(layout, &problem) : nullptr;
  if (!bench) {
    if (error != nullptr) *error = problem;
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(g_attached_mutex);
    g_attached = std::move(bench);
  }
  // Take the bench down before the platform's own state is destroyed at exit: registered after
  // the tree was first used, the handler runs before the tree goes.
  static const bool registered = std::atexit(DetachBench) == 0;
  (void)registered;
  return true;
}

bool AttachBenchFromEnvironment(std::string* error) {
  const char* name = std::getenv("RALVEX_BENCH");
  if (name == nullptr || *name == '\0') return true;
  return AttachBench(name, error);
}

void DetachBench() {
  std::unique_ptr<Bench> detached;
  {
    std::lock_guard<std::mutex> lock(g_attached_mutex);
    detached = std::move(g_attached);
  }
  // Destroyed outside the lock: its destructor empties the device tree.
}

Bench* AttachedBench() {
  std::lock_guard<std::mutex> lock(g_attached_mutex);
  return g_attached.get();
}

}  // namespace ralvex::sim
