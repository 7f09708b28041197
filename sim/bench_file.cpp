#include "sim/bench_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>

#include "sim/chip_family.h"
#include "sim/toml_reader.h"

namespace ralvex::sim {
namespace {

using DeviceKeyReader = bool (*)(TomlReader& read, std::string_view key, const toml::node& node,
                                 BenchDeviceLayout* device);

// One row per [[device]] key: what it takes and where it goes. Limits that concern the device
// rather than the file's types and ranges are checked once, by ValidateBridgeDeviceConfig.
struct DeviceKey {
  std::string_view name;
  DeviceKeyReader read;
};

bool ReadChip(TomlReader& read, std::string_view key, const toml::node& node,
              BenchDeviceLayout* device) {
  std::string name;
  if (!read.String(key, node, &name)) return false;
  if (const auto chip = ParseChipFamily(name)) {
    device->config.chip = *chip;
    return true;
  }
  std::string names;
  for (size_t i = 0; i < CHIP_FAMILY_COUNT; ++i) {
    names += names.empty() ? "" : " ";
    names += ChipFamilyName(static_cast<ChipFamily>(i));
  }
  return read.Fail(TomlReader::LineOf(node), "unknown chip '" + name + "' (one of " + names + ")");
}

bool ReadSlots(TomlReader& read, std::string_view key, const toml::node& node,
               BenchDeviceLayout* device) {
  const auto* slots = node.as_array();
  if (slots == nullptr) return read.WrongType(key, node, "an array of request slots");
  for (const auto& slot : *slots) {
    uint32_t number = 0;
    if (!read.Integer(key, slot, 0, 125, &number)) return false;
    device->config.refuse.push_back(number);
  }
  return true;
}

bool ReadEepromImage(TomlReader& read, std::string_view key, const toml::node& node,
                     BenchDeviceLayout* device) {
  const auto* words = node.as_array();
  if (words == nullptr) return read.WrongType(key, node, "an array of 16-bit words");
  if (words->size() > 1024) {
    return read.Fail(TomlReader::LineOf(node), "'eeprom' holds more than 1024 words");
  }
  for (const auto& word : *words) {
    uint16_t number = 0;
    if (!read.Integer(key, word, 0, 0xFFFF, &number, true)) return false;
    device->config.eeprom.push_back(number);
  }
  return true;
}

bool ReadFailures(TomlReader& read, std::string_view key, const toml::node& node,
                  BenchDeviceLayout* device) {
  // true: every read fails; a number: that many reads fail, then they work again.
  if (const auto* all = node.as_boolean()) {
    device->config.readFailures = all->get() ? EVERY_READ : 0;
    return true;
  }
  if (node.as_integer() == nullptr) return read.WrongType(key, node, "true, false or a count");
  return read.Integer(key, node, 0, EVERY_READ - 1, &device->config.readFailures);
}

bool ReadPeer(TomlReader& read, std::string_view key, const toml::node& node,
              BenchDeviceLayout* device) {
  static const std::map<std::string, BenchPeerKind, std::less<>> PEER_NAMES = {
      {"none", PEER_NONE},
      {"loopback", PEER_LOOPBACK},
      {"silent", PEER_SILENT},
      {"tester", PEER_TESTER}};
  std::string name;
  if (!read.String(key, node, &name)) return false;
  const auto found = PEER_NAMES.find(name);
  if (found == PEER_NAMES.end()) {
    return read.Fail(TomlReader::LineOf(node),
                     "unknown peer '" + name + "' (one of none, loopback, silent, tester)");
  }
  device->peer = found->second;
  return true;
}

bool ReadOptionalBool(TomlReader& read, std::string_view key, const toml::node& node,
                      std::optional<bool>* out) {
  bool value = false;
  if (!read.Bool(key, node, &value)) return false;
  *out = value;
  return true;
}

template <typename T>
bool ReadOptionalInteger(TomlReader& read, std::string_view key, const toml::node& node,
                         int64_t high, bool hex, std::optional<T>* out) {
  T value{};
  if (!read.Integer(key, node, 0, high, &value, hex)) return false;
  *out = value;
  return true;
}

// Rows' readers take (reader, key, node, device); a generic lambda keeps each row to its point.
constexpr DeviceKey DEVICE_KEYS[] = {
    {"serial", [](auto& r, auto k, auto& n, auto* d) { return r.String(k, n, &d->config.serial); }},
    {"description",
     [](auto& r, auto k, auto& n, auto* d) {
       std::string text;
       if (!r.String(k, n, &text)) return false;
       d->config.description = std::move(text);
       return true;
     }},
    {"chip", ReadChip},
    {"vid", [](auto& r, auto k, auto& n,
               auto* d) { return r.Integer(k, n, 0, 0xFFFF, &d->config.vid, true); }},
    {"pid", [](auto& r, auto k, auto& n,
               auto* d) { return ReadOptionalInteger(r, k, n, 0xFFFF, true, &d->config.pid); }},
    {"location",
     [](auto& r, auto k, auto& n, auto* d) {
       return ReadOptionalInteger(r, k, n, 0xFFFFFFFF, true, &d->config.location);
     }},
    {"high_speed", [](auto& r, auto k, auto& n,
                      auto* d) { return ReadOptionalBool(r, k, n, &d->config.highSpeed); }},
    {"held_open",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.heldOpen); }},
    {"alternate_requests",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.alternateRequests); }},
    {"refuse", ReadSlots},
    {"eeprom_words",
     [](auto& r, auto k, auto& n, auto* d) {
       return ReadOptionalInteger(r, k, n, 1024, false, &d->config.eepromWords);
     }},
    {"eeprom", ReadEepromImage},
    {"factory_word",
     [](auto& r, auto k, auto& n, auto* d) {
       return r.Integer(k, n, 0, 0xFFFF, &d->config.factoryWord, true);
     }},
    {"com_port",
     [](auto& r, auto k, auto& n, auto* d) { return r.Integer(k, n, 0, 255, &d->config.comPort); }},
    {"driver_version",
     [](auto& r, auto k, auto& n, auto* d) {
       return r.Integer(k, n, 0, 0xFFFFFFFF, &d->config.driverVersion, true);
     }},
    {"extra", [](auto& r, auto k, auto& n,
                 auto* d) { return r.Integer(k, n, 0, 0xFFFFFFFF, &d->config.extra, true); }},
    {"wire_model",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.wireModel); }},
    {"read_failures", ReadFailures},
    {"unplugged",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.unplugged); }},
    {"unplug_after_bytes",
     [](auto& r, auto k, auto& n, auto* d) {
       return ReadOptionalInteger(r, k, n, INT64_MAX, false, &d->config.unplugAfterBytes);
     }},
    {"eeprom_writes_stick",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.eepromWritesStick); }},
    {"restart_needs_reboot",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.restartNeedsReboot); }},
    {"restart_fails",
     [](auto& r, auto k, auto& n, auto* d) { return r.Bool(k, n, &d->config.restartFails); }},
    {"peer", ReadPeer},
    {"tester",
     [](auto& r, auto k, auto& n, auto* d) {
       const auto* tester = n.as_table();
       if (tester == nullptr) return r.WrongType(k, n, "a table ([device.tester])");
       d->tester = *tester;
       d->testerLine = TomlReader::LineOf(n);
       return true;
     }},
};

bool ParseDevice(const toml::table& table, TomlReader& read, BenchDeviceLayout* device) {
  device->line = TomlReader::LineOf(table);
  std::map<std::string, uint32_t, std::less<>> keyLines;
  for (const auto& [keyObject, node] : table) {
    const std::string_view key = keyObject.str();
    const uint32_t line =
        TomlReader::LineOf(node) != 0 ? TomlReader::LineOf(node) : keyObject.source().begin.line;
    const auto row = std::find_if(std::begin(DEVICE_KEYS), std::end(DEVICE_KEYS),
                                  [&](const DeviceKey& k) { return k.name == key; });
    if (row == std::end(DEVICE_KEYS)) {
      return read.Fail(line, "unknown key '" + std::string(key) + "' in a [[device]] table");
    }
    if (!row->read(read, key, node, device)) return false;
    keyLines[std::string(key)] = line;
  }
  const BridgeDeviceConfig& config = device->config;
  const auto lineOf = [&](std::string_view key) {
    const auto found = keyLines.find(key);
    return found != keyLines.end() ? found->second : device->line;
  };
  if (keyLines.count("serial") == 0) {
    return read.Fail(device->line, "a [[device]] table without 'serial'");
  }
  if (config.serial.empty()) return read.Fail(lineOf("serial"), "'serial' of a device is empty");
  std::string problem;
  std::string_view problemKey;
  if (!ValidateBridgeDeviceConfig(config, &problem, &problemKey)) {
    return read.Fail(lineOf(problemKey), problem);
  }
  if (device->tester) {
    // A tester table says what sits on the line; an explicit other peer contradicts it.
    if (keyLines.count("peer") == 0) {
      device->peer = PEER_TESTER;
    } else if (device->peer != PEER_TESTER) {
      return read.Fail(lineOf("peer"), "device '" + config.serial +
                                           "' has a [device.tester] table but a peer other "
                                           "than \"tester\"");
    }
  }
  return true;
}

std::string ResolveState(const std::string& state, const std::string& baseDir) {
  if (state.empty()) return state;
  const std::filesystem::path path(state);
  if (path.is_absolute() || baseDir.empty()) return path.lexically_normal().string();
  return (std::filesystem::path(baseDir) / path).lexically_normal().string();
}

// "<source>:<line>: <what>", the one line a refused bench file gets.
std::string Refusal(const std::string& source, const TomlReader& read) {
  // Appended piece by piece: GCC's -O3 restrict analysis misreads ":" + std::to_string(...).
  std::string message = source;
  if (read.Line() != 0) {
    message += ':';
    message += std::to_string(read.Line());
  }
  message += ": ";
  message += read.What();
  return message;
}

bool ParseDevices(const toml::node& node, TomlReader& read, BenchLayout* layout) {
  const auto* devices = node.as_array();
  if (devices == nullptr || !devices->is_array_of_tables()) {
    return read.Fail(TomlReader::LineOf(node), "'device' must be [[device]] tables, not " +
                                                   std::string(TomlReader::TypeName(node)));
  }
  std::map<std::string, uint32_t> serialLines;
  for (const auto& element : *devices) {
    if (layout->devices.size() == BENCH_MAX_DEVICES) {
      return read.Fail(TomlReader::LineOf(element),
                       "more than " + std::to_string(BENCH_MAX_DEVICES) + " devices");
    }
    BenchDeviceLayout device;
    TomlReader deviceRead("of a device");
    if (!ParseDevice(*element.as_table(), deviceRead, &device)) {
      return read.Fail(deviceRead.Line(), deviceRead.What());
    }
    const auto [first, inserted] = serialLines.emplace(device.config.serial, device.line);
    if (!inserted) {
      return read.Fail(device.line, "duplicate serial '" + device.config.serial +
                                        "' (first at line " + std::to_string(first->second) + ")");
    }
    layout->devices.push_back(std::move(device));
  }
  return true;
}

}  // namespace

bool ParseBenchText(std::string_view text, const std::string& source, const std::string& baseDir,
                    BenchLayout* layout, std::string* error) {
  TomlReader read("of the bench");
  BenchLayout result;
  result.source = source;

  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& failure) {
    read.Fail(failure.source().begin.line, std::string(failure.description()));
    if (error != nullptr) *error = Refusal(source, read);
    return false;
  }

  for (const auto& [keyObject, node] : root) {
    const std::string key(keyObject.str());
    if (key == "state") {
      std::string state;
      if (read.String(key, node, &state)) result.statePath = ResolveState(state, baseDir);
    } else if (key == "server_edition") {
      read.Bool(key, node, &result.serverEdition);
    } else if (key == "device") {
      ParseDevices(node, read, &result);
    } else {
      const uint32_t line = TomlReader::LineOf(node);
      read.Fail(line != 0 ? line : keyObject.source().begin.line,
                "unknown key '" + key + "' at the top level");
    }
    if (read.Failed()) break;
  }
  if (read.Failed()) {
    if (error != nullptr) *error = Refusal(source, read);
    return false;
  }
  *layout = std::move(result);
  return true;
}

bool LoadBenchFile(const std::string& path, BenchLayout* layout, std::string* error) {
  const auto refuse = [&](const std::string& why) {
    if (error != nullptr) *error = path + ": " + why;
    return false;
  };
  // Only a regular file of bench size is read: a device or a pipe named by mistake would block
  // or never end.
  std::error_code failure;
  const std::filesystem::file_status status = std::filesystem::status(path, failure);
  if (std::filesystem::is_directory(status)) return refuse("is a folder, not a bench file");
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return refuse("is not a regular file");
  }
  if (std::filesystem::is_regular_file(status)) {
    const uintmax_t size = std::filesystem::file_size(path, failure);
    if (!failure && size > BENCH_MAX_FILE_BYTES) {
      return refuse("is larger than " + std::to_string(BENCH_MAX_FILE_BYTES) +
                    " bytes; not a bench file");
    }
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const int reason = errno;
    return refuse("cannot read the bench file" +
                  (reason != 0 ? std::string(" (") + std::strerror(reason) + ")" : std::string()));
  }
  std::string text;
  char chunk[4096];
  while (file.read(chunk, sizeof(chunk)) || file.gcount() > 0) {
    text.append(chunk, static_cast<size_t>(file.gcount()));
    if (text.size() > BENCH_MAX_FILE_BYTES) {
      return refuse("is larger than " + std::to_string(BENCH_MAX_FILE_BYTES) +
                    " bytes; not a bench file");
    }
  }
  if (file.bad()) return refuse("cannot read the bench file");
  const std::string baseDir = std::filesystem::path(path).parent_path().string();
  return ParseBenchText(text, path, baseDir, layout, error);
}

}  // namespace ralvex::sim
