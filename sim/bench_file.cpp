#include "sim/bench_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "sim/chip_family.h"

namespace ralvex::sim {
namespace {

// The first problem found, as "<source>:<line>: <what>". Parsing stops there.
class Problems {
 public:
  explicit Problems(const std::string& source) : source_(source) {}

  bool Fail(uint32_t line, const std::string& what) {
    if (message_.empty()) {
      std::ostringstream out;
      out << source_;
      if (line != 0) out << ':' << line;
      out << ": " << what;
      message_ = out.str();
      // One line, whatever the parser's own text holds.
      for (char& c : message_) {
        if (c == '\n' || c == '\r') c = ' ';
      }
    }
    return false;
  }
  const std::string& Message() const { return message_; }

 private:
  const std::string& source_;
  std::string message_;
};

uint32_t LineOf(const toml::node& node) {
  return node.source().begin.line;
}

const char* TypeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a number with a fraction";
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date-time";
    default:
      return "nothing";
  }
}

std::string Hex(uint64_t value) {
  std::ostringstream out;
  out << "0x" << std::uppercase << std::hex << value;
  return out.str();
}

// Reads the value of one key; each returns false after recording the problem.
class Reader {
 public:
  Reader(Problems& problems, const char* where) : problems_(problems), where_(where) {}

  bool String(const std::string& key, const toml::node& node, std::string* out) {
    const auto* value = node.as_string();
    if (value == nullptr) return WrongType(key, node, "a string");
    *out = value->get();
    return true;
  }

  bool Bool(const std::string& key, const toml::node& node, bool* out) {
    const auto* value = node.as_boolean();
    if (value == nullptr) return WrongType(key, node, "true or false");
    *out = value->get();
    return true;
  }

  bool Integer(const std::string& key, const toml::node& node, int64_t min, int64_t max, bool hex,
               int64_t* out) {
    const auto* value = node.as_integer();
    if (value == nullptr) return WrongType(key, node, "an integer");
    if (value->get() < min || value->get() > max) {
      std::ostringstream what;
      what << "'" << key << "' " << where_ << " must be from " << Show(min, hex) << " to "
           << Show(max, hex) << ", not " << value->get();
      return problems_.Fail(LineOf(node), what.str());
    }
    *out = value->get();
    return true;
  }

  bool WrongType(const std::string& key, const toml::node& node, const char* wanted) {
    return problems_.Fail(
        LineOf(node), "'" + key + "' " + where_ + " must be " + wanted + ", not " + TypeName(node));
  }

 private:
  static std::string Show(int64_t value, bool hex) {
    return hex ? Hex(static_cast<uint64_t>(value)) : std::to_string(value);
  }

  Problems& problems_;
  const char* where_;
};

// Printable ASCII other than the characters an instance ID or interface path cannot carry.
bool SerialCharactersUsable(std::string_view serial) {
  for (char c : serial) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '\\' || c == '/' || c == '#' || c == ',') {
      return false;
    }
  }
  return true;
}

bool PrintableText(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool ParsePeer(std::string_view name, BenchPeerKind* kind) {
  static const std::map<std::string_view, BenchPeerKind> kPeers = {
      {"none", BenchPeerKind::kNone},
      {"loopback", BenchPeerKind::kLoopback},
      {"silent", BenchPeerKind::kSilent},
      {"tester", BenchPeerKind::kTester}};
  const auto found = kPeers.find(name);
  if (found == kPeers.end()) return false;
  *kind = found->second;
  return true;
}

bool ParseDevice(const toml::table& table, Problems& problems, BenchDeviceLayout* device) {
  Reader read(problems, "of a device");
  device->line = LineOf(table);
  bool peer_given = false;
  uint32_t peer_line = device->line;
  int64_t number = 0;

  for (const auto& [key_object, node] : table) {
    const std::string key(key_object.str());
    const uint32_t line = LineOf(node);
    if (key == "serial") {
      if (!read.String(key, node, &device->serial)) return false;
      if (device->serial.empty()) return problems.Fail(line, "'serial' of a device is empty");
      if (device->serial.size() > BENCH_MAX_SERIAL) {
        return problems.Fail(line, "serial '" + device->serial + "' is longer than " +
                                       std::to_string(BENCH_MAX_SERIAL) + " characters");
      }
      if (!SerialCharactersUsable(device->serial)) {
        return problems.Fail(line, "serial '" + device->serial +
                                       "' may hold only printable characters other than space, "
                                       "'\\', '/', '#' and ','");
      }
    } else if (key == "description") {
      std::string text;
      if (!read.String(key, node, &text)) return false;
      if (text.size() > BENCH_MAX_DESCRIPTION) {
        return problems.Fail(line, "'description' is longer than " +
                                       std::to_string(BENCH_MAX_DESCRIPTION) + " characters");
      }
      if (!PrintableText(text)) {
        return problems.Fail(line, "'description' holds a control character");
      }
      device->description = std::move(text);
    } else if (key == "chip") {
      std::string chip;
      if (!read.String(key, node, &chip)) return false;
      bool known = false;
      std::string names;
      for (std::string_view name : BenchChipNames()) {
        known = known || name == chip;
        names += names.empty() ? "" : " ";
        names += name;
      }
      if (!known) return problems.Fail(line, "unknown chip '" + chip + "' (one of " + names + ")");
      device->chip = chip;
    } else if (key == "vid" || key == "pid") {
      if (!read.Integer(key, node, 0, 0xFFFF, true, &number)) return false;
      if (key == "vid") {
        device->vid = static_cast<uint16_t>(number);
      } else {
        device->pid = static_cast<uint16_t>(number);
      }
    } else if (key == "location") {
      if (!read.Integer(key, node, 0, 0xFFFFFFFF, true, &number)) return false;
      device->location = static_cast<uint32_t>(number);
    } else if (key == "high_speed") {
      bool flag = false;
      if (!read.Bool(key, node, &flag)) return false;
      device->high_speed = flag;
    } else if (key == "held_open") {
      if (!read.Bool(key, node, &device->held_open)) return false;
    } else if (key == "alternate_requests") {
      if (!read.Bool(key, node, &device->alternate_requests)) return false;
    } else if (key == "refuse") {
      const auto* slots = node.as_array();
      if (slots == nullptr) return read.WrongType(key, node, "an array of request slots");
      for (const auto& slot : *slots) {
        if (!read.Integer("refuse", slot, 0, 125, false, &number)) return false;
        device->refuse.push_back(static_cast<uint32_t>(number));
      }
    } else if (key == "eeprom_words") {
      if (!read.Integer(key, node, 0, 1024, false, &number)) return false;
      if (number != 0 && number != 64 && number != 128 && number != 256 && number != 1024) {
        return problems.Fail(
            line, "'eeprom_words' must be 0, 64, 128, 256 or 1024, not " + std::to_string(number));
      }
      device->eeprom_words = static_cast<uint32_t>(number);
    } else if (key == "com_port") {
      if (!read.Integer(key, node, 0, 255, false, &number)) return false;
      device->com_port = static_cast<uint32_t>(number);
    } else if (key == "driver_version") {
      if (!read.Integer(key, node, 0, 0xFFFFFFFF, true, &number)) return false;
      device->driver_version = static_cast<uint32_t>(number);
    } else if (key == "extra") {
      if (!read.Integer(key, node, 0, 0xFFFFFFFF, true, &number)) return false;
      device->extra = static_cast<uint32_t>(number);
    } else if (key == "eeprom") {
      const auto* words = node.as_array();
      if (words == nullptr) return read.WrongType(key, node, "an array of 16-bit words");
      if (words->size() > 1024) {
        return problems.Fail(line, "'eeprom' holds more than 1024 words");
      }
      for (const auto& word : *words) {
        if (!read.Integer("eeprom", word, 0, 0xFFFF, true, &number)) return false;
        device->eeprom.push_back(static_cast<uint16_t>(number));
      }
    } else if (key == "read_failures") {
      // true: every read fails; a number: that many reads fail, then they work again.
      if (const auto* all = node.as_boolean()) {
        device->read_failures = all->get() ? BENCH_EVERY_READ : 0;
      } else {
        if (node.as_integer() == nullptr)
          return read.WrongType(key, node, "true, false or a count");
        if (!read.Integer(key, node, 0, BENCH_EVERY_READ - 1, false, &number)) return false;
        device->read_failures = static_cast<uint32_t>(number);
      }
    } else if (key == "unplugged") {
      if (!read.Bool(key, node, &device->unplugged)) return false;
    } else if (key == "unplug_after_bytes") {
      if (!read.Integer(key, node, 0, INT64_MAX, false, &number)) return false;
      device->unplug_after_bytes = static_cast<uint64_t>(number);
    } else if (key == "eeprom_writes_stick") {
      if (!read.Bool(key, node, &device->eeprom_writes_stick)) return false;
    } else if (key == "restart_needs_reboot") {
      if (!read.Bool(key, node, &device->restart_needs_reboot)) return false;
    } else if (key == "restart_fails") {
      if (!read.Bool(key, node, &device->restart_fails)) return false;
    } else if (key == "wire_model") {
      if (!read.Bool(key, node, &device->wire_model)) return false;
    } else if (key == "peer") {
      std::string name;
      if (!read.String(key, node, &name)) return false;
      if (!ParsePeer(name, &device->peer)) {
        return problems.Fail(line,
                             "unknown peer '" + name + "' (one of none, loopback, silent, tester)");
      }
      peer_given = true;
      peer_line = line;
    } else if (key == "tester") {
      const auto* tester = node.as_table();
      if (tester == nullptr) return read.WrongType(key, node, "a table ([device.tester])");
      device->tester = *tester;
      device->tester_line = LineOf(node);
    } else {
      return problems.Fail(LineOf(node) != 0 ? LineOf(node) : key_object.source().begin.line,
                           "unknown key '" + key + "' in a [[device]] table");
    }
  }

  if (device->serial.empty()) {
    return problems.Fail(device->line, "a [[device]] table without 'serial'");
  }
  if (device->tester) {
    // A tester table says what sits on the line; an explicit other peer contradicts it.
    if (!peer_given) {
      device->peer = BenchPeerKind::kTester;
    } else if (device->peer != BenchPeerKind::kTester) {
      return problems.Fail(peer_line, "device '" + device->serial +
                                          "' has a [device.tester] table but a peer other "
                                          "than \"tester\"");
    }
  }
  return true;
}

std::string ResolveState(const std::string& state, const std::string& base_dir) {
  if (state.empty()) return state;
  const std::filesystem::path path(state);
  if (path.is_absolute() || base_dir.empty()) return path.lexically_normal().string();
  return (std::filesystem::path(base_dir) / path).lexically_normal().string();
}

}  // namespace

const std::vector<std::string_view>& BenchChipNames() {
  static const std::vector<std::string_view> kNames = [] {
    std::vector<std::string_view> names;
    for (size_t i = 0; i < CHIP_FAMILY_COUNT; ++i) {
      names.push_back(ChipFamilyName(static_cast<ChipFamily>(i)));
    }
    return names;
  }();
  return kNames;
}

bool ParseBenchText(std::string_view text, const std::string& source, const std::string& base_dir,
                    BenchLayout* layout, std::string* error) {
  Problems problems(source);
  BenchLayout result;
  result.source = source;

  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& failure) {
    problems.Fail(failure.source().begin.line, std::string(failure.description()));
    if (error != nullptr) *error = problems.Message();
    return false;
  }

  Reader read(problems, "of the bench");
  bool ok = true;
  for (const auto& [key_object, node] : root) {
    if (!ok) break;
    const std::string key(key_object.str());
    if (key == "state") {
      std::string state;
      ok = read.String(key, node, &state);
      result.state_path = ResolveState(state, base_dir);
    } else if (key == "server_edition") {
      ok = read.Bool(key, node, &result.server_edition);
    } else if (key == "device") {
      const auto* devices = node.as_array();
      if (devices == nullptr || !devices->is_array_of_tables()) {
        ok = problems.Fail(
            LineOf(node), "'device' must be [[device]] tables, not " + std::string(TypeName(node)));
        break;
      }
      std::map<std::string, uint32_t> serial_lines;
      for (const auto& element : *devices) {
        if (result.devices.size() == BENCH_MAX_DEVICES) {
          ok = problems.Fail(LineOf(element),
                             "more than " + std::to_string(BENCH_MAX_DEVICES) + " devices");
          break;
        }
        BenchDeviceLayout device;
        ok = ParseDevice(*element.as_table(), problems, &device);
        if (!ok) break;
        const auto [first, inserted] = serial_lines.emplace(device.serial, device.line);
        if (!inserted) {
          ok = problems.Fail(device.line, "duplicate serial '" + device.serial +
                                              "' (first at line " + std::to_string(first->second) +
                                              ")");
          break;
        }
        result.devices.push_back(std::move(device));
      }
    } else {
      ok = problems.Fail(LineOf(node) != 0 ? LineOf(node) : key_object.source().begin.line,
                         "unknown key '" + key + "' at the top level");
    }
  }
  if (!ok) {
    if (error != nullptr) *error = problems.Message();
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
  const std::string base_dir = std::filesystem::path(path).parent_path().string();
  return ParseBenchText(text, path, base_dir, layout, error);
}

}  // namespace ralvex::sim
