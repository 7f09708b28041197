#include "sim/tester/tester_state.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <sstream>

#include <toml++/toml.h>

#include "sim/tester/state_file.h"

namespace ralvex::sim {

namespace {

std::optional<toml::table> ParseState(const std::string& text) {
  try {
    return toml::parse(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A stored value: absent is fine (nullopt in *out), anything but an integer low..high is
// corruption.
template <typename T>
bool ReadField(const toml::table& entry, const char* key, int64_t low, int64_t high,
               std::optional<T>* out) {
  const toml::node* node = entry.get(key);
  if (node == nullptr) {
    out->reset();
    return true;
  }
  const auto value = node->value_exact<int64_t>();
  if (!value || *value < low || *value > high) return false;
  *out = static_cast<T>(*value);
  return true;
}

template <typename T>
bool ReadField(const toml::table& entry, const char* key, int64_t high, std::optional<T>* out) {
  return ReadField(entry, key, 0, high, out);
}

// The source's own state; every field is optional and defaults as a fresh source's.
bool ReadSource(const toml::table& entry, SourceState* source) {
  std::optional<uint16_t> moveFrom, moveMs, movedMs, recoverLeft;
  std::optional<uint64_t> draws;
  if (!ReadField(entry, "move_from", 0xFFFF, &moveFrom) ||
      !ReadField(entry, "move_ms", 0xFFFF, &moveMs) ||
      !ReadField(entry, "moved_ms", 0xFFFF, &movedMs) ||
      !ReadField(entry, "recover_left_ms", 0xFFFF, &recoverLeft) ||
      !ReadField(entry, "battery_uj", INT64_MAX, &source->batteryUj) ||
      !ReadField(entry, "heat_mc", INT32_MIN, INT32_MAX, &source->heatMc) ||
      !ReadField(entry, "noise_draws", INT64_MAX, &draws)) {
    return false;
  }
  source->moveFrom = moveFrom.value_or(0);
  source->moveMs = moveMs.value_or(0);
  source->movedMs = std::min(movedMs.value_or(0), source->moveMs);
  if (source->movedMs == source->moveMs) source->moveMs = source->movedMs = 0;
  source->recoverLeftMs = recoverLeft.value_or(0);
  source->noiseDraws = draws.value_or(0);
  return true;
}

void WriteSource(const SourceState& source, toml::table* entry) {
  if (source.moveMs > 0) {
    entry->insert("move_from", int64_t{source.moveFrom});
    entry->insert("move_ms", int64_t{source.moveMs});
    entry->insert("moved_ms", int64_t{source.movedMs});
  }
  if (source.recoverLeftMs > 0) entry->insert("recover_left_ms", int64_t{source.recoverLeftMs});
  if (source.batteryUj) entry->insert("battery_uj", static_cast<int64_t>(*source.batteryUj));
  if (source.heatMc) entry->insert("heat_mc", int64_t{*source.heatMc});
  if (source.noiseDraws > 0) entry->insert("noise_draws", static_cast<int64_t>(source.noiseDraws));
}

}  // namespace

bool LoadTesterState(const std::string& path, const std::string& serial, TesterState* state,
                     bool* live, std::optional<int64_t>* writtenMs) {
  if (path.empty() || state == nullptr || live == nullptr) return false;
  std::string text;
  if (!ReadStateText(path, &text)) return false;
  const std::optional<toml::table> file = ParseState(text);
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
      !ReadField(*entry, "load", 0xFFFF, &load) || !ReadSource(*entry, &loaded.source)) {
    return false;
  }
  std::optional<int64_t> written;
  if (!ReadField(*entry, "written_ms", INT64_MIN, INT64_MAX, &written)) return false;
  if (writtenMs != nullptr) *writtenMs = written;
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

bool SaveTesterState(const std::string& path, const std::string& serial, const TesterState& state,
                     std::optional<int64_t> writtenMs) {
  if (path.empty()) return false;
  toml::table entry;
  if (state.defaultVoltage) entry.insert("default_voltage", int64_t{*state.defaultVoltage});
  if (state.defaultLoad) entry.insert("default_load", int64_t{*state.defaultLoad});
  if (state.maxLoad) entry.insert("max_load", int64_t{*state.maxLoad});
  entry.insert("profile", int64_t{state.profile});
  entry.insert("voltage", int64_t{state.voltage});
  entry.insert("load", int64_t{state.load});
  WriteSource(state.source, &entry);
  if (writtenMs) entry.insert("written_ms", *writtenMs);
  // Only this tester's entry changes; an unreadable file holds nothing worth keeping.
  return ChangeStateText(path, [&](const std::string& text) {
    toml::table file = ParseState(text).value_or(toml::table{});
    file.insert_or_assign(serial, entry);
    std::ostringstream out;
    out << "# Emulated testers' settings and live state, one table per serial number.\n"
        << file << '\n';
    return out.str();
  });
}

}  // namespace ralvex::sim
