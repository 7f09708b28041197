// Bench files: the TOML description of a bench (devices in enumeration order, their faults and
// peers, the testers' state file). Reading is strict: a file that cannot be used is refused with
// one line naming the file, the line and what is wrong, so nothing half-described gets attached.
// docs/bench.md documents every key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

#include "sim/device_config.h"

namespace ralvex::sim {

enum BenchPeerKind : uint8_t { PEER_NONE, PEER_LOOPBACK, PEER_SILENT, PEER_TESTER };

// One [[device]] table, checked: the device config as the file gives it (unset optionals take the
// chip family's or the bus position's default when the device is built) and what sits on its line.
struct BenchDeviceLayout {
  uint32_t line = 0;  // where the [[device]] table begins, for later error lines
  BridgeDeviceConfig config;
  BenchPeerKind peer = PEER_NONE;
  std::optional<toml::table> tester;  // [device.tester], handed to the tester as is
  uint32_t testerLine = 0;
};

struct BenchLayout {
  std::string source;     // the file name error lines carry
  std::string statePath;  // resolved against the file's folder; empty: nothing persists
  bool serverEdition = false;
  std::vector<BenchDeviceLayout> devices;
};

// Most devices one bench may hold (the addresses one USB bus has).
inline constexpr size_t BENCH_MAX_DEVICES = 127;
// Largest bench file read.
inline constexpr size_t BENCH_MAX_FILE_BYTES = 1024 * 1024;

// Reads bench text. `source` names it in error lines; a relative `state` is taken relative to
// `baseDir` (empty: the current folder). Returns false with one line in *error when the text
// cannot be used.
bool ParseBenchText(std::string_view text, const std::string& source, const std::string& baseDir,
                    BenchLayout* layout, std::string* error);

// Reads a bench file (relative `state` relative to the file's folder).
bool LoadBenchFile(const std::string& path, BenchLayout* layout, std::string* error);

}  // namespace ralvex::sim
