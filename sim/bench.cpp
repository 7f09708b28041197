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
#include "sim/tester/state_file.h"
#include "sim/tester/tester_peer.h"
#include "sim/usb_tree.h"

namespace ralvex::sim {
namespace {

std::mutex attachedMutex;
std::unique_ptr<Bench> attachedBench;

std::string Where(const BenchLayout& layout, uint32_t line) {
  return layout.source + ":" + std::to_string(line) + ": ";
}

std::shared_ptr<SerialPeer> MakePeer(const BenchLayout& layout, const BenchDeviceLayout& device,
                                     std::string* error) {
  switch (device.peer) {
    case PEER_NONE:
      return nullptr;
    case PEER_LOOPBACK:
      return std::make_shared<LoopbackPeer>();
    case PEER_SILENT:
      return std::make_shared<SilentPeer>();
    case PEER_TESTER: {
      std::string problem;
      uint32_t line = 0;
      std::unique_ptr<SerialPeer> tester =
          MakeTesterPeer(device.tester ? &*device.tester : nullptr, device.config.serial,
                         layout.statePath, &problem, &line);
      if (!tester) {
        if (line == 0) line = device.tester ? device.testerLine : device.line;
        *error = Where(layout, line) + "tester '" + device.config.serial +
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
  std::vector<std::shared_ptr<SerialPeer>> peers(layout.devices.size());
  for (size_t i = 0; i < layout.devices.size() && problem.empty(); ++i) {
    peers[i] = MakePeer(layout, layout.devices[i], &problem);
  }
  if (!problem.empty()) {
    if (error != nullptr) *error = problem;
    return nullptr;
  }

  auto bench = std::make_unique<Bench>();
  bench->SetServerEdition(layout.serverEdition);
  bench->SetStatePath(layout.statePath);
  for (size_t i = 0; i < peers.size(); ++i) {
    BridgeDevice& device = bench->AddDevice(layout.devices[i].config, std::move(peers[i]));
    // With a state file the bench is one for every process: a device open in one is held open
    // for the others.
    if (!layout.statePath.empty()) {
      device.SetOpenGuard(MakeDeviceHold(layout.statePath, device.Config().serial));
    }
  }
  return bench;
}

bool AttachBench(const std::string& pathOrBuiltin, std::string* error) {
  std::string problem;
  BenchLayout layout;
  const bool loaded = pathOrBuiltin == "builtin" ? LoadBuiltinBench(&layout, &problem)
                                                 : LoadBenchFile(pathOrBuiltin, &layout, &problem);
  std::unique_ptr<Bench> bench = loaded ? BuildBench(layout, &problem) : nullptr;
  if (!bench) {
    if (error != nullptr) *error = problem;
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(attachedMutex);
    attachedBench = std::move(bench);
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
    std::lock_guard<std::mutex> lock(attachedMutex);
    detached = std::move(attachedBench);
  }
  // Destroyed outside the lock: its destructor empties the device tree.
}

Bench* AttachedBench() {
  std::lock_guard<std::mutex> lock(attachedMutex);
  return attachedBench.get();
}

}  // namespace ralvex::sim
