// A bench: simulated bridge devices plugged into the process's USB tree, each optionally wired to a
// serial peer. Tests build benches in code through `Bench`; the program's entry point and the
// shared library's load-time glue attach one from `RALVEX_BENCH` through
// `AttachBenchFromEnvironment`.
//
// The device tree is one per process, so there is at most one bench at a time: constructing a
// `Bench` first detaches whatever bench was attached before, and destroying it empties the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/peer.h"

namespace ralvex::sim {

struct BridgeDeviceConfig;
class BridgeDevice;
class UsbTree;
struct BenchLayout;

class Bench {
 public:
  // An empty bench: the root hubs are plugged, no bridge device yet.
  Bench();
  // Detaches every device and hub (posix::ClearDeviceTree) and resets the server-edition flag.
  // Handles still open keep their files; their I/O fails from then on.
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // Plugs a bridge device into the next free port, after the devices already plugged: devices
  // enumerate in the order they were added. A device whose config has no location gets the one
  // its port gives. `peer` (may be null) is wired to the device's serial side.
  BridgeDevice& AddDevice(const BridgeDeviceConfig& config,
                          std::shared_ptr<SerialPeer> peer = nullptr);

  size_t DeviceCount() const { return devices_.size(); }
  // The index-th device added (request log, faults, peer); index must be below DeviceCount().
  BridgeDevice& Device(size_t index);
  // The device with this serial number, or null.
  BridgeDevice* FindDevice(std::string_view serial);

  // What GetVersionExA reports while the bench is up (a workstation by default).
  void SetServerEdition(bool server);

  // Where the bench's emulated testers keep their state (empty: nothing persists). Informational:
  // the testers receive it when they are built.
  const std::string& StatePath() const { return statePath_; }
  void SetStatePath(std::string path) { statePath_ = std::move(path); }

  // The USB tree: root hubs, their re-enumeration counters, the devices' nodes.
  UsbTree& Tree() { return *tree_; }
  const UsbTree& Tree() const { return *tree_; }

 private:
  std::unique_ptr<UsbTree> tree_;
  std::vector<std::shared_ptr<BridgeDevice>> devices_;
  std::string statePath_;
};

// Builds a bench from a checked description (sim/bench_file.h): devices in order, their peers
// (testers get the layout's state path), the server-edition flag. Returns null with one line in
// *error when a device or a tester table cannot be built; nothing is plugged then and a bench
// that was up stays up.
std::unique_ptr<Bench> BuildBench(const BenchLayout& layout, std::string* error);

// Attaches a bench for the rest of the process (or until DetachBench): `pathOrBuiltin` is
// "builtin" for the built-in bench or the path of a bench file. A bench that cannot be built is
// refused with one line in *error naming the file, the line and what is wrong, and nothing is
// attached (a bench attached earlier stays). Replaces an attached bench on success.
bool AttachBench(const std::string& pathOrBuiltin, std::string* error);

// Reads RALVEX_BENCH: unset or empty attaches nothing and succeeds; otherwise AttachBench(value).
bool AttachBenchFromEnvironment(std::string* error);

// Detaches the attached bench, if any.
void DetachBench();

// The attached bench, or null.
Bench* AttachedBench();

}  // namespace ralvex::sim
