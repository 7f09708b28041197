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

namespace ralvex::sim {

inline constexpr uint32_t BENCH_EVERY_READ = 0xFFFFFFFF;

enum class BenchPeerKind { kNone, kLoopback, kSilent, kTester };

// One [[device]] table, checked and with nothing filled in yet: unset optionals take the chip
// family's (or the bus position's) default when the device is built.
struct BenchDeviceLayout {
  uint32_t line = 0;  // where the [[device]] table begins, for later error lines
  std::string serial;
  std::optional<std::string> description;
  std::string chip = "232R";
  uint16_t vid = 0x0403;
  std::optional<uint16_t> pid;
  std::optional<uint32_t> location;
  std::optional<bool> high_speed;
  bool held_open = false;
  bool alternate_requests = false;
  std::vector<uint32_t> refuse;  // request slots, 0..125
  std::optional<uint32_t> eeprom_words;
  uint32_t com_port = 0;
  std::optional<uint32_t> driver_version;
  std::optional<uint32_t> extra;  // the device-information reply's extra word
  std::vector<uint16_t> eeprom;   // initial EEPROM words from word 0
  bool wire_model = false;
  // Faults.
  uint32_t read_failures = 0;  // reads that fail; BENCH_EVERY_READ: all of them
  bool unplugged = false;
  std::optional<uint64_t> unplug_after_bytes;
  bool eeprom_writes_stick = true;
  bool restart_needs_reboot = false;
  bool restart_fails = false;
  BenchPeerKind peer = BenchPeerKind::kNone;
  std::optional<toml::table> tester;  // [device.tester], handed to the tester as is
  uint32_t tester_line = 0;
};

struct BenchLayout {
  std::string source;      // the file name error lines carry
  std::string state_path;  // resolved against the file's folder; empty: nothing persists
  bool server_edition = false;
  std::vector<BenchDeviceLayout> devices;
};

// Most devices one bench may hold (the addresses one USB bus has).
inline constexpr size_t BENCH_MAX_DEVICES = 127;
// Longest serial number and description a bench device may carry: the device-information reply's
// 16- and 64-byte fields, terminator included.
inline constexpr size_t BENCH_MAX_SERIAL = 15;
inline constexpr size_t BENCH_MAX_DESCRIPTION = 63;

// Largest bench file read.
inline constexpr size_t BENCH_MAX_FILE_BYTES = 1024 * 1024;

// The chip family names the `chip` key accepts, in ChipFamily order.
const std::vector<std::string_view>& BenchChipNames();

// Reads bench text. `source` names it in error lines; a relative `state` is taken relative to
// `base_dir` (empty: the current folder). Returns false with one line in *error when the text
// cannot be used.
bool ParseBenchText(std::string_view text, const std::string& source, const std::string& base_dir,
                    BenchLayout* layout, std::string* error);

// Reads a bench file (relative `state` relative to the file's folder).
bool LoadBenchFile(const std::string& path, BenchLayout* layout, std::string* error);

}  // namespace ralvex::sim
