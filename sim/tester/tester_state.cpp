#include "sim/tester/tester_state.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include <toml++/toml.h>

namespace ralvex::sim {

namespace {

// Testers of one bench share the file and save from their devices' writer threads: one
// read-modify-write at a time, or one tester's save would drop another's.
std::mutex& StateFileMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<toml::table> ReadStateFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  try {
    return toml::parse_file(path);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A stored value: absent is fine (nullopt in *out), anything but an integer 0..max is corruption.
bool ReadField(const toml::table& entry, const char* key, int64_t max,
               std::optional<uint16_t>* out) {
  const toml::node* node = entry.get(key);
  if (node == nullptr) {
    out->reset();
    return true;
  }
  const auto value = node->value_exact<int64_t>();
  if (!value || *value < 0 || *value > max) return false;
  *out = static_cast<uint16_t>(*value);
  return true;
}

std::string TempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << path << ".tmp-" << std::hex << tick << '-' << counter.fetch_add(1);
  return name.str();
}

}  // namespace

bool LoadTesterState(const std::string& path, const std::string& serial, TesterState* state,
                     bool* live) {
  if (path.empty() || state == nullptr || live == nullptr) return false;
  std::optional<toml::table> file;
  {
    std::lock_guard lock(StateFileMutex());
    file = ReadStateFile(path);
  }
  if (!file) return false;
  const toml::table* entry = file->get_as<toml::table>(serial);
  if (entry == nullptr) return false;
  TesterState loaded;
  std::optional<uint16_t> profile, voltage, load;
  if (!ReadField(*entry, "default_voltage", 0xFFFF, &loaded.defaultVoltage) ||
      !ReadField(*entry, "default_load", 0xFFFF, &loaded.defaultLoad) ||
      !ReadField(*entry, "max_load", 0xFFFF, &loaded.maxLoad) ||
      !ReadField(*entry, "profile", 7, &profile) ||
      !ReadField(*entry, "voltage", 0xFFFF, &voltage) ||
      !ReadField(*entry, "load", 0xFFFF, &load)) {
    return false;
  }
  // Live state comes whole or not at all; settings alone are a tester that was switched off.
  *live = profile && voltage && load;
  if (*live) {
    loaded.profile = static_cast<uint8_t>(*profile);
    loaded.voltage = *voltage;
    loaded.load = *load;
  }
  *state = loaded;
  return true;
}

bool SaveTesterState(const std::string& path, const std::string& serial, const TesterState& state) {
  if (path.empty()) return false;
  std::lock_guard lock(StateFileMutex());
  // An unreadable file holds nothing worth keeping: it is replaced.
  toml::table file = ReadStateFile(path).value_or(toml::table{});
  toml::table entry;
  if (state.defaultVoltage) entry.insert("default_voltage", int64_t{*state.defaultVoltage});
  if (state.defaultLoad) entry.insert("default_load", int64_t{*state.defaultLoad});
  if (state.maxLoad) entry.insert("max_load", int64_t{*state.maxLoad});
  entry.insert("profile", int64_t{state.profile});
  entry.insert("voltage", int64_t{state.voltage});
  entry.insert("load", int64_t{state.load});
  file.insert_or_assign(serial, std::move(entry));

  const std::string temp = TempName(path);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << "# Emulated testers' settings and live state, one table per serial number.\n"
        << file << '\n';
    out.flush();
    if (!out) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace ralvex::sim
